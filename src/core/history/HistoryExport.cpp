#include "core/history/HistoryExport.h"

#include "core/common/SystemErrors.h"
#include "core/xls/Workbook.h"

#include <QDir>
#include <QSaveFile>
#include <cerrno>

namespace HistoryExport {
namespace {

// A cell a spreadsheet program would take for a formula (a file name from the outer network may
// start with "="), kept as text by a leading apostrophe, as spreadsheet programs do themselves.
QString neutralised(const QString &cell) {
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    if (!cell.isEmpty() && formulaStarts.contains(cell.front())) {
        return QLatin1Char('\'') + cell;
    }
    return cell;
}

QString csvField(const QString &cell) {
    QString text = neutralised(cell);
    if (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) ||
        text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'))) {
        text.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        text = QLatin1Char('"') + text + QLatin1Char('"');
    }
    return text;
}

QString failure(const QString &path, const QString &reason) {
    return QStringLiteral("无法导出到 %1：%2").arg(QDir::toNativeSeparators(path), reason);
}

} // namespace

const QStringList &columnNames() {
    static const QStringList names = {
        QStringLiteral("日期"),     QStringLiteral("时间"),     QStringLiteral("操作状态"),
        QStringLiteral("文件名称"), QStringLiteral("存放路径"), QStringLiteral("文件大小"),
        QStringLiteral("SHA-256"),
    };
    return names;
}

QStringList cells(const History::Entry &entry) {
    return {entry.day,         entry.time,     entry.status, entry.fileName,
            entry.destination, entry.fileSize, entry.sha256};
}

bool writeCsv(const QString &path, const QList<History::Entry> &entries, QString *error) {
    QByteArray bytes("\xEF\xBB\xBF");
    const auto appendLine = [&bytes](const QStringList &cells) {
        QStringList fields;
        for (const QString &cell : cells) {
            fields.append(csvField(cell));
        }
        bytes += fields.join(QLatin1Char(',')).toUtf8() + "\r\n";
    };
    appendLine(columnNames());
    for (const History::Entry &entry : entries) {
        appendLine(cells(entry));
    }
    QSaveFile file(path);
    errno = 0;
    // Flushed before the commit: on a full disk the commit alone may report success.
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() ||
        !file.commit()) {
        *error = failure(path, fileErrorText(file, errno));
        file.cancelWriting();
        return false;
    }
    return true;
}

bool writeXls(const QString &path, const QList<History::Entry> &entries, QString *error) {
    Xls::Rows rows;
    rows.reserve(entries.size() + 1);
    rows.append(columnNames());
    for (const History::Entry &entry : entries) {
        rows.append(cells(entry));
    }
    QString reason;
    if (!Xls::writeWorkbook(path, QStringLiteral("查找结果"), rows, &reason)) {
        *error = failure(path, reason);
        return false;
    }
    return true;
}

} // namespace HistoryExport
