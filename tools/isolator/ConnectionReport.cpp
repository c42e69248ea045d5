#include "ConnectionReport.h"

namespace {

// Keeps a hostile name from breaking the one-line-per-connection log.
QString quoted(const QString &text) {
    QString result = QStringLiteral("\"");
    for (const QChar ch : text) {
        if (ch == u'"' || ch == u'\\') {
            result += u'\\';
            result += ch;
        } else if (ch.category() == QChar::Other_Control) {
            result += QStringLiteral("\\x%1").arg(ch.unicode(), 2, 16, QLatin1Char('0'));
        } else {
            result += ch;
        }
    }
    return result + u'"';
}

} // namespace

double ConnectionReport::megabytesPerSecond() const {
    if ((outcome != Outcome::Stored && outcome != Outcome::Discarded) || seconds <= 0) {
        return 0;
    }
    return static_cast<double>(size) / seconds / 1e6;
}

QString ConnectionReport::logLine() const {
    QString line = QStringLiteral("%1 %2 %3 %4 %5 %6 MB/s")
                       .arg(time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), peer,
                            headerRead ? quoted(name) : QStringLiteral("-"),
                            headerRead ? QString::number(size) : QStringLiteral("-"), outcomeText(outcome),
                            QString::number(megabytesPerSecond(), 'f', 1));
    if (!storedPath.isEmpty()) {
        line += QStringLiteral(" -> ") + storedPath;
    }
    if (!sha256.isEmpty() && outcome == Outcome::Stored) {
        line += QStringLiteral(" sha256 ") + sha256;
    }
    if (!detail.isEmpty()) {
        line += QStringLiteral(": ") + detail;
    }
    return line;
}

QString ConnectionReport::outcomeText(Outcome outcome) {
    switch (outcome) {
    case Outcome::Stored:
        return QStringLiteral("stored");
    case Outcome::Discarded:
        return QStringLiteral("discarded");
    case Outcome::Refused:
        return QStringLiteral("refused");
    case Outcome::Cut:
        return QStringLiteral("cut");
    case Outcome::TimedOut:
        return QStringLiteral("timed-out");
    case Outcome::Failed:
        return QStringLiteral("failed");
    case Outcome::Busy:
        return QStringLiteral("busy");
    case Outcome::Evicted:
        return QStringLiteral("evicted");
    case Outcome::Stopped:
        return QStringLiteral("stopped");
    case Outcome::ClosedBeforeAck:
        return QStringLiteral("closed-before-ack");
    case Outcome::NeverAnswered:
        return QStringLiteral("never-answered");
    case Outcome::CutOnPurpose:
        return QStringLiteral("cut-on-purpose");
    }
    return QStringLiteral("?");
}
