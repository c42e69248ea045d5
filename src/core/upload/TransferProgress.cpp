#include "core/upload/TransferProgress.h"

#include "core/common/ByteUnits.h"

#include <cmath>

namespace {

qint64 secondsFor(quint64 bytes, double bytesPerSecond) {
    if (bytesPerSecond <= 0) {
        return -1;
    }
    return static_cast<qint64>(std::ceil(static_cast<double>(bytes) / bytesPerSecond));
}

} // namespace

int TransferProgress::Snapshot::percent() const {
    if (fileSize == 0) {
        return fileName.isEmpty() ? 0 : 100;
    }
    return static_cast<int>(static_cast<double>(qMin(fileSent, fileSize)) * 100.0 /
                            static_cast<double>(fileSize));
}

qint64 TransferProgress::Snapshot::fileSecondsLeft() const {
    return secondsFor(fileSize - qMin(fileSent, fileSize), bytesPerSecond);
}

qint64 TransferProgress::Snapshot::queueSecondsLeft() const {
    return secondsFor(bytesLeft, bytesPerSecond);
}

void TransferProgress::reset() {
    m_samples.clear();
}

void TransferProgress::sample(qint64 nowMs, quint64 totalBytesSent) {
    m_samples.push_back({nowMs, totalBytesSent});
    // Keep one sample at or before the window's start, so the window is always fully covered.
    while (m_samples.size() > 2 && m_samples[1].ms <= nowMs - kSpeedWindowMs) {
        m_samples.pop_front();
    }
}

double TransferProgress::bytesPerSecond() const {
    if (m_samples.size() < 2) {
        return 0;
    }
    const Sample &first = m_samples.front();
    const Sample &last = m_samples.back();
    const qint64 span = last.ms - first.ms;
    if (span < 250 || last.bytes < first.bytes) {
        return 0;
    }
    return static_cast<double>(last.bytes - first.bytes) * 1000.0 / static_cast<double>(span);
}

QString TransferProgress::durationText(qint64 seconds) {
    if (seconds < 0) {
        return QStringLiteral("--:--");
    }
    const qint64 hours = seconds / 3600;
    const QString minutesAndSeconds =
        QStringLiteral("%1:%2")
            .arg(hours > 0 ? (seconds / 60) % 60 : seconds / 60, hours > 0 ? 2 : 1, 10, QLatin1Char('0'))
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return hours > 0 ? QStringLiteral("%1:%2").arg(hours).arg(minutesAndSeconds) : minutesAndSeconds;
}

QString TransferProgress::describe(const Snapshot &snapshot) {
    const QString speed = ByteUnits::formatRate(snapshot.bytesPerSecond);
    return QStringLiteral("正在上传 %1  %2%  %3  本文件剩余 %4  队列剩余 %5  还剩 %6 个文件 %7")
        .arg(snapshot.fileName)
        .arg(snapshot.percent())
        .arg(speed, durationText(snapshot.fileSecondsLeft()), durationText(snapshot.queueSecondsLeft()))
        .arg(snapshot.filesLeft)
        .arg(ByteUnits::formatBytes(snapshot.bytesLeft));
}
