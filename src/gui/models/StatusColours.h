#pragma once

#include "core/records/UploadRecord.h"

#include <QColor>
#include <QString>
#include <QVariant>

// The colours the history's lists give outcomes: a record's status, or the event of a journal line.
namespace StatusColours {

// Whatever went wrong: a failed transfer, a file that cannot be read.
inline const QColor kProblem(190, 20, 20);

// The text colour of a status or journal event; an invalid variant (the view's own) for the others.
inline QVariant of(const QString &status) {
    if (status == UploadRecord::kStatusComplete || status == QStringLiteral("完成")) {
        return QColor(20, 120, 40);
    }
    if (status == UploadRecord::kStatusFault || status == QStringLiteral("故障")) {
        return kProblem;
    }
    if (status == UploadRecord::kStatusStopped || status == QStringLiteral("停止")) {
        return QColor(170, 100, 0);
    }
    return QVariant();
}

} // namespace StatusColours
