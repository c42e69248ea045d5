#pragma once

#include <QString>
#include <QStringList>

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

// Column headers of the upload table, in cell order. The record log names cell 6 differently.
inline const QStringList kColumnHeaders = {
    QStringLiteral("序号"),     QStringLiteral("文件名称"), QStringLiteral("文件大小"),
    QStringLiteral("存放路径"), QStringLiteral("操作状态"), QStringLiteral("开始时间"),
    QStringLiteral("结束时间"),
};

// Status texts, compared exactly.
inline const QString kStatusReady = QStringLiteral("准备上传");
inline const QString kStatusUploading = QStringLiteral("正在上传");
inline const QString kStatusComplete = QStringLiteral("上传完成");
inline const QString kStatusFault = QStringLiteral("传输故障");
inline const QString kStatusStopped = QStringLiteral("传输停止");

} // namespace UploadRecord
