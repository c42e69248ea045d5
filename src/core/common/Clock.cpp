#include "core/common/Clock.h"

#include <chrono>

QDateTime Clock::now() const {
    return QDateTime::currentDateTime();
}

qint64 Clock::monotonicMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

QString Clock::timestampText() const {
    return now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString Clock::dateText() const {
    return now().toString(QStringLiteral("yyyy-MM-dd"));
}
