#include "core/xls/Workbook.h"

#include "core/common/SafeRead.h"
#include "core/common/SystemErrors.h"

#include "core/xls/CompoundFileWriter.h"
#include "core/xls/WorkbookStreamReader.h"
#include "core/xls/WorkbookStreamWriter.h"

#include <QDir>
#include <QSaveFile>
#include <cerrno>

namespace Xls {

namespace {

void setError(QString *error, const QString &text) {
    if (error) {
        *error = text;
    }
}

QString shown(const QString &path) {
    return QDir::toNativeSeparators(path);
}

} // namespace

bool writeWorkbook(const QString &path, const QString &sheetName, const Rows &rows, QString *error,
                   const QList<int> &numberColumns) {
    CompoundFileWriter file;
    {
        QByteArray stream;
        if (!buildWorkbookStream(sheetName, rows, &stream, error, numberColumns) ||
            !file.addStream(QStringLiteral("Workbook"), stream, error) || !file.finish(error)) {
            return false;
        }
    }
    const QByteArrayView bytes = file.bytes();

    // The new file is written beside the old one, flushed to disk and renamed over it, so a failure at
    // any point leaves the old file as it was.
    errno = 0;
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) {
        setError(error, QStringLiteral("Cannot write “%1”: %2").arg(shown(path), fileErrorText(out, errno)));
        return false;
    }
    if (out.write(bytes.data(), bytes.size()) != bytes.size()) {
        const QString reason = fileErrorText(out, errno);
        out.cancelWriting();
        setError(error, QStringLiteral("Cannot write “%1”: %2").arg(shown(path), reason));
        return false;
    }
    // Flushed first: a commit alone may report success for data that never reached the disk (a full
    // disk then left an empty log behind).
    if (!out.flush() || !out.commit()) {
        setError(error, QStringLiteral("Cannot write “%1”: %2").arg(shown(path), fileErrorText(out, errno)));
        return false;
    }
    return true;
}

bool readFile(const QString &path, QByteArray *bytes, Failure *failure) {
    // A day's log may be a link (to a log kept elsewhere); what it leads to must be a regular file.
    return SafeRead::readAll(path, kMaxFileBytes, bytes, failure, SafeRead::Links::FollowToRegular);
}

bool forEachRowInBytes(QByteArray &&file, const QString &sheetName, const RowHandler &onRow, QString *error) {
    QString reason;
    if (!readWorksheetFromFileBytes(std::move(file), sheetName, onRow, &reason)) {
        setError(error, reason);
        return false;
    }
    return true;
}

bool forEachRow(const QString &path, const QString &sheetName, const RowHandler &onRow, QString *error) {
    QByteArray bytes;
    Failure failure;
    if (!readFile(path, &bytes, &failure)) {
        setError(error, failure.sentence());
        return false;
    }
    // A handler's own reason is passed on as it is; the reader's is prefixed with the file's name.
    bool stoppedByHandler = false;
    const RowHandler handOn = [&onRow, &stoppedByHandler](const QStringList &row, QString *reason) {
        stoppedByHandler = !onRow(row, reason);
        return !stoppedByHandler;
    };
    QString reason;
    if (!forEachRowInBytes(std::move(bytes), sheetName, handOn, &reason)) {
        setError(error, stoppedByHandler ? reason : QStringLiteral("“%1”: %2").arg(shown(path), reason));
        return false;
    }
    return true;
}

bool readWorksheet(const QString &path, const QString &sheetName, Rows *rows, QString *error) {
    rows->clear();
    Rows result;
    const bool read = forEachRow(
        path, sheetName,
        [&result](const QStringList &row, QString *) {
            result.append(row);
            return true;
        },
        error);
    if (read) {
        *rows = std::move(result);
    }
    return read;
}

} // namespace Xls
