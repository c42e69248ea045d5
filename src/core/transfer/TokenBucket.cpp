#include "core/transfer/TokenBucket.h"

#include <algorithm>
#include <cmath>

TokenBucket::TokenBucket(quint64 bytesPerSecond, quint64 burstBytes)
    : m_rate(std::max<quint64>(bytesPerSecond, 1)), m_burst(static_cast<double>(burstBytes)), m_tokens(0) {}

qint64 TokenBucket::take(quint64 bytes, qint64 nowNs) {
    if (m_lastNs >= 0 && nowNs > m_lastNs) {
        m_tokens = std::min(m_burst, m_tokens + static_cast<double>(nowNs - m_lastNs) * 1e-9 * m_rate);
    }
    m_lastNs = std::max(m_lastNs, nowNs);
    m_tokens -= static_cast<double>(bytes);
    if (m_tokens >= 0) {
        return 0;
    }
    return static_cast<qint64>(std::ceil(-m_tokens / static_cast<double>(m_rate) * 1e9));
}
