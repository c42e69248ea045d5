#include "support/Xlrd.h"

#include <QJsonDocument>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

const char XlrdScript[] = R"(
import json, sys, xlrd
book = xlrd.open_workbook(sys.argv[1], formatting_info=sys.argv[3] == "formats")
sheet = book.sheet_by_name(sys.argv[2])
rows = [[[sheet.cell_type(r, c), sheet.cell_value(r, c)] for c in range(sheet.ncols)] for r in range(sheet.nrows)]
sys.stdout.write(json.dumps({"sheets": book.sheet_names(), "rows": rows}))
)";

} // namespace

QString Xlrd::python() {
    static const QString found = [] {
        for (const QString &candidate : {QStringLiteral("python3"), QStringLiteral("/usr/bin/python3")}) {
            QProcess probe;
            probe.start(candidate, {QStringLiteral("-c"), QStringLiteral("import xlrd")});
            if (probe.waitForFinished(30000) && probe.exitStatus() == QProcess::NormalExit &&
                probe.exitCode() == 0) {
                return candidate;
            }
        }
        return QString();
    }();
    return found;
}

QJsonObject Xlrd::read(const QString &path, const QString &sheet, bool formats) {
    QProcess xlrd;
    xlrd.start(python(), {QStringLiteral("-c"), QString::fromLatin1(XlrdScript), path, sheet,
                          formats ? QStringLiteral("formats") : QStringLiteral("plain")});
    EXPECT_TRUE(xlrd.waitForFinished(120000));
    EXPECT_EQ(xlrd.exitCode(), 0) << xlrd.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(xlrd.readAllStandardOutput()).object();
}
