#pragma once

#include <QString>
#include <QStringList>
#include <array>

// One upload record is a row of seven text cells; the cell index is the column index of the table.
namespace UploadRecord {

enum Cell : int {
    CellSequence = 0,
    CellFileName = 1,
    CellFileSize = 2,
    CellDestination = 3,
    CellStatus = 4,
    CellStartTime = 5,
    CellFinishTime = 6,
};

inline constexpr int kCellCount = 7;

// The cells of one record, indexed by Cell.
using Cells = std::array<QString, kCellCount>;

// What the station says about each cell. The queue view, the record log, the history index, its
// exports and the history window all take their columns from here, so a new cell is a line of this
// table (and, when the history keeps it, a new version of the history index's schema).
struct Column {
    Cell cell;
    const char *id;          // the cell's name in the history index: ASCII, never changed once released
    const char16_t *header;  // the upload table's header; the history window's too
    const char16_t *logName; // the record log's column name: stored in files other installations read
    int width;               // the queue view's default width, in pixels
    bool required;           // a log without this column cannot be read back; a missing other reads empty
    bool kept;               // the history keeps the cell
    int historyPlace;        // its place among the history's columns after day and time; -1: not shown
    const char16_t *sample;  // a long cell of the kind: the history window's column is made to fit it
};

// clang-format off
inline constexpr Column kColumns[kCellCount] = {
    {CellSequence,    "sequence",    u"序号",     u"序号",     40,  false, false, -1, u""},
    {CellFileName,    "name",        u"文件名称", u"文件名称", 150, true,  true,  1,  u"一个较长的文件名称示例.docx"},
    {CellFileSize,    "size",        u"文件大小", u"文件大小", 100, false, true,  3,  u"1234567 KB"},
    {CellDestination, "destination", u"存放路径", u"存放路径", 300, true,  true,  2,  u"192.168.100.100:4321||d://资料"},
    {CellStatus,      "status",      u"操作状态", u"操作状态", 100, true,  true,  0,  u"传输故障"},
    {CellStartTime,   "start",       u"开始时间", u"开始时间", 120, false, true,  -1, u"2026-12-07 00:00:00"},
    {CellFinishTime,  "finish",      u"结束时间", u"完成时间", 120, false, true,  -1, u"2026-12-07 00:00:00"},
};
// clang-format on

constexpr bool cellsInOrder() {
    for (int i = 0; i < kCellCount; ++i) {
        if (kColumns[i].cell != i) {
            return false;
        }
    }
    return true;
}
static_assert(cellsInOrder(), "kColumns lists the cells in cell order");

// Column headers of the upload table, in cell order. The record log names cell 6 differently.
inline const QStringList kColumnHeaders = [] {
    QStringList headers;
    for (const Column &column : kColumns) {
        headers.append(QString::fromUtf16(column.header));
    }
    return headers;
}();

// Status texts, compared exactly.
inline const QString kStatusReady = QStringLiteral("准备上传");
inline const QString kStatusUploading = QStringLiteral("正在上传");
inline const QString kStatusComplete = QStringLiteral("上传完成");
inline const QString kStatusFault = QStringLiteral("传输故障");
inline const QString kStatusStopped = QStringLiteral("传输停止");

} // namespace UploadRecord
