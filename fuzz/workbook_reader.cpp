// The workbook reader on whole files (inputs that start like an OLE2 compound file) and on bare
// workbook streams (everything else, which reaches the record reader without the container).
#include "FuzzSupport.h"
#include "core/xls/WorkbookStreamReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    QByteArray bytes = fuzzBytes(data, size);
    qsizetype width = -1;
    qsizetype rows = 0;
    const Xls::RowHandler onRow = [&width, &rows](const QStringList &row, QString *) {
        // Every row is as wide as the first, within the format's 256 columns and 65536 rows.
        if (width < 0) {
            width = row.size();
        }
        FUZZ_CHECK(row.size() == width && width <= 256);
        FUZZ_CHECK(++rows <= 65536);
        return true;
    };
    QString error;
    const bool isFile = bytes.startsWith(QByteArray::fromHex("D0CF11E0"));
    const bool read =
        isFile ? Xls::readWorksheetFromFileBytes(std::move(bytes), QStringLiteral("Sheet1"), onRow, &error)
               : Xls::readWorksheetFromStream(bytes, QStringLiteral("Sheet1"), onRow, &error);
    FUZZ_CHECK(read || !error.isEmpty());
    return 0;
}
