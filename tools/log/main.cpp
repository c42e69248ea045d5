// brelvantis-log: shows a day's record log (the sheet "Sheet1" of an Excel 97-2003 workbook) as
// tab-separated UTF-8 text, one line per row, so a log can be read or compared without a spreadsheet.
#include "core/common/CommandLine.h"
#include "core/xls/Workbook.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

namespace {

const char Usage[] = "Usage: brelvantis-log show FILE\n"
                     "       brelvantis-log --help | --version\n"
                     "\n"
                     "Prints the sheet \"Sheet1\" of the Excel 97-2003 workbook FILE as tab-separated UTF-8\n"
                     "lines, the first row first. Inside a cell a tab, carriage return and line break are\n"
                     "written as \\t, \\r and \\n, and a backslash as \\\\.\n"
                     "Exits with 1 and the reason on standard error if FILE cannot be read, and with 2\n"
                     "on a wrong command line.\n";

// Keeps one cell on its line and in its column, and reversible.
void appendEscaped(QString *line, const QString &cell) {
    for (QChar c : cell) {
        switch (c.unicode()) {
        case '\\':
            line->append(QLatin1String("\\\\"));
            break;
        case '\t':
            line->append(QLatin1String("\\t"));
            break;
        case '\r':
            line->append(QLatin1String("\\r"));
            break;
        case '\n':
            line->append(QLatin1String("\\n"));
            break;
        default:
            line->append(c);
        }
    }
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const bool parsed = parser.parse(app.arguments());
    if (parser.isSet(help)) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (parsed && parser.isSet(version)) {
        std::printf("%s\n", CommandLine::versionLine(QStringLiteral("brelvantis-log")).toUtf8().constData());
        return 0;
    }
    const QStringList args = parser.positionalArguments();
    if (!parsed || args.size() != 2 || args.at(0) != QLatin1String("show")) {
        std::fputs(Usage, stderr);
        if (!parsed) {
            std::fprintf(stderr, "\nbrelvantis-log: %s\n",
                         CommandLine::problem(parser, app.arguments()).toUtf8().constData());
        }
        return 2;
    }

    // Each row goes out as soon as it has been read: the sheet is never held as a whole.
    QString line;
    QByteArray out;
    const auto writeRow = [&line, &out](const QStringList &row, QString *error) {
        line.clear();
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (i > 0)
                line.append(u'\t');
            appendEscaped(&line, row.at(i));
        }
        line.append(u'\n');
        out = line.toUtf8();
        if (std::fwrite(out.constData(), 1, size_t(out.size()), stdout) != size_t(out.size())) {
            *error = QStringLiteral("cannot write to standard output");
            return false;
        }
        return true;
    };
    QString error;
    if (!Xls::forEachRow(args.at(1), QStringLiteral("Sheet1"), writeRow, &error)) {
        std::fprintf(stderr, "brelvantis-log: %s\n", error.toUtf8().constData());
        return 1;
    }
    if (std::fflush(stdout) != 0) {
        std::fputs("brelvantis-log: cannot write to standard output\n", stderr);
        return 1;
    }
    return 0;
}
