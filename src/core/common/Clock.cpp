#include "core/common/Clock.h"

QDateTime Clock::now() const {
    return QDateTime::currentDateTime();
}

QString Clock::timestampText() const {
    return now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString Clock::dateText() const {
    return now().toString(QStringLiteral("yyyy-MM-dd"));
}
