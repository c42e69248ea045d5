#include "core/inspection/ClamdClient.h"

#include "core/common/FileProbe.h"
#include "core/common/SystemErrors.h"
#include "core/inspection/ClamdSocket.h"

#include <QFile>
#include <QtEndian>
#include <cerrno>
#include <memory>
#include <openssl/evp.h>

namespace {

using Clock = std::chrono::steady_clock;
using Status = ClamdSocket::Status;

constexpr qint64 kLongestReply = 4096;
const QString kPrefix = QStringLiteral("病毒扫描服务不可用：");

// A reply as it may be quoted: printable, and short.
QString quoted(const QByteArray &reply) {
    QString text = QString::fromUtf8(reply.left(200));
    for (QChar &c : text) {
        if (!c.isPrint()) {
            c = u'?';
        }
    }
    return text;
}

// Why a connection could not be made, in the operator's words.
QString connectErrorText(int code) {
    switch (code) {
    case ECONNREFUSED:
        return QStringLiteral("连接被拒绝");
    case ENETUNREACH:
    case EHOSTUNREACH:
        return QStringLiteral("网络不可达");
    default:
        return systemErrorText(code);
    }
}

class Session {
public:
    Session(const ClamdEndpoint &endpoint, const ClamdTiming &timing)
        : m_endpoint(endpoint), m_timing(timing) {}

    // Connects and sends command; false with why().
    bool start(const char *command, qsizetype length) {
        if (!m_endpoint.valid()) {
            m_why = m_endpoint.problem;
            return false;
        }
        int error = 0;
        const Status status = m_socket.connect(m_endpoint, Clock::now() + m_timing.connect, &error);
        if (status == Status::TimedOut) {
            m_why = QStringLiteral("连接 %1 超时").arg(m_endpoint.text());
            return false;
        }
        if (status != Status::Done) {
            m_why = QStringLiteral("无法连接 %1：%2").arg(m_endpoint.text(), connectErrorText(error));
            return false;
        }
        return send(command, length) == Status::Done;
    }

    // Sends data; a closed connection is left for the reply to explain (clamd may have said why).
    Status send(const char *data, qint64 length) {
        int error = 0;
        const Status status = m_socket.sendAll(data, length, Clock::now() + m_timing.send, &error);
        if (status == Status::TimedOut) {
            m_why = QStringLiteral("向 %1 发送时超时").arg(m_endpoint.text());
        } else if (status == Status::Failed) {
            m_why = QStringLiteral("向 %1 发送时出错：%2").arg(m_endpoint.text(), systemErrorText(error));
        }
        return status;
    }

    bool answered() const { return m_socket.readable(); }

    // The reply up to its terminating zero byte; false with why().
    bool reply(std::chrono::milliseconds wait, QByteArray *text) {
        const Clock::time_point deadline = Clock::now() + wait;
        text->clear();
        char block[512];
        for (;;) {
            const qsizetype end = text->indexOf('\0');
            if (end >= 0) {
                text->truncate(end);
                return true;
            }
            if (text->size() > kLongestReply) {
                m_why = QStringLiteral("%1 的回答无法识别：%2").arg(m_endpoint.text(), quoted(*text));
                return false;
            }
            qint64 got = 0;
            int error = 0;
            const Status status = m_socket.receive(block, sizeof block, &got, deadline, &error);
            if (status == Status::Done) {
                text->append(block, got);
                continue;
            }
            if (status == Status::TimedOut) {
                m_why = QStringLiteral("%1 在 %2 秒内没有回答")
                            .arg(m_endpoint.text())
                            .arg(std::chrono::ceil<std::chrono::seconds>(wait).count());
            } else if (status == Status::Closed) {
                m_why = text->isEmpty()
                            ? QStringLiteral("%1 在回答前关闭了连接").arg(m_endpoint.text())
                            : QStringLiteral("%1 的回答不完整：%2").arg(m_endpoint.text(), quoted(*text));
            } else {
                m_why =
                    QStringLiteral("读取 %1 的回答时出错：%2").arg(m_endpoint.text(), systemErrorText(error));
            }
            return false;
        }
    }

    const QString &why() const { return m_why; }
    void setWhy(const QString &why) { m_why = why; }

private:
    const ClamdEndpoint &m_endpoint;
    const ClamdTiming &m_timing;
    ClamdSocket m_socket;
    QString m_why;
};

struct DigestDeleter {
    void operator()(EVP_MD_CTX *context) const { EVP_MD_CTX_free(context); }
};

ClamdClient::ScanResult failed(const QString &why) {
    ClamdClient::ScanResult result;
    result.outcome = ClamdClient::ScanResult::Outcome::Failed;
    result.why = why;
    return result;
}

ClamdClient::ScanResult unreadable(const Failure &failure) {
    ClamdClient::ScanResult result;
    result.outcome = ClamdClient::ScanResult::Outcome::Unreadable;
    result.failure = failure;
    return result;
}

} // namespace

QString ClamdClient::Answer::sentence() const {
    return ok ? QString() : kPrefix + why;
}

QString ClamdClient::ScanResult::sentence() const {
    switch (outcome) {
    case Outcome::Failed:
        return kPrefix + why;
    case Outcome::Unreadable:
        return failure.sentence();
    case Outcome::Clean:
    case Outcome::Infected:
        break;
    }
    return QString();
}

ClamdClient::ClamdClient(ClamdEndpoint endpoint, ClamdTiming timing)
    : m_endpoint(std::move(endpoint)), m_timing(timing) {}

ClamdClient::Answer ClamdClient::version() const {
    Answer answer;
    Session session(m_endpoint, m_timing);
    static constexpr char kCommand[] = "zVERSION";
    QByteArray text;
    if (!session.start(kCommand, sizeof kCommand) || !session.reply(m_timing.send, &text)) {
        answer.why = session.why().isEmpty() ? QStringLiteral("%1 在回答前关闭了连接").arg(m_endpoint.text())
                                             : session.why();
        return answer;
    }
    if (!text.startsWith("ClamAV ")) {
        answer.why = QStringLiteral("%1 的回答无法识别：%2").arg(m_endpoint.text(), quoted(text));
        return answer;
    }
    answer.ok = true;
    answer.text = QString::fromUtf8(text);
    return answer;
}

ClamdClient::ScanResult ClamdClient::scan(const QString &path, const std::atomic<bool> *cancel) const {
    if (!m_endpoint.valid()) {
        return failed(m_endpoint.problem);
    }
    QFile file;
    FileProbe::Stamp stamp;
    FileProbe::Look look;
    if (!FileProbe::openRegular(path, file, &stamp, &look)) {
        return unreadable(Failure::of(Failure::Kind::Read, path, FileProbe::kindText(look.kind, look.error)));
    }
    std::unique_ptr<EVP_MD_CTX, DigestDeleter> digest(EVP_MD_CTX_new());
    if (!digest || EVP_DigestInit_ex(digest.get(), EVP_sha256(), nullptr) != 1) {
        return failed(QStringLiteral("无法计算 SHA-256"));
    }

    Session session(m_endpoint, m_timing);
    static constexpr char kCommand[] = "zINSTREAM";
    bool sentAll = false;
    bool closed = false;
    qint64 bytes = 0;
    if (!session.start(kCommand, sizeof kCommand)) {
        if (!session.why().isEmpty()) {
            return failed(session.why());
        }
        closed = true;
    }
    // Each chunk is its length (4 bytes, big-endian) and its bytes; a chunk of length 0 ends the stream.
    QByteArray chunk(4 + kChunkBytes, Qt::Uninitialized);
    while (!closed && !sentAll) {
        if (cancel && cancel->load()) {
            return failed(QStringLiteral("扫描已取消"));
        }
        // clamd answers at once, and closes, when the stream grows past its StreamMaxLength.
        if (session.answered()) {
            break;
        }
        const qint64 got = file.read(chunk.data() + 4, kChunkBytes);
        if (got < 0) {
            return unreadable(Failure::of(Failure::Kind::Read, path, fileErrorText(file, errno)));
        }
        qToBigEndian(static_cast<quint32>(got), chunk.data());
        const Status status = session.send(chunk.constData(), 4 + got);
        if (status == Status::Closed) {
            closed = true;
        } else if (status != Status::Done) {
            return failed(session.why());
        }
        if (got > 0) {
            EVP_DigestUpdate(digest.get(), chunk.constData() + 4, static_cast<size_t>(got));
            bytes += got;
        } else {
            sentAll = !closed;
        }
    }

    const std::chrono::milliseconds wait =
        std::min<std::chrono::milliseconds>(m_timing.reply + m_timing.perMiB * (bytes >> 20), m_timing.cap);
    QByteArray reply;
    if (!session.reply(wait, &reply)) {
        return failed(session.why());
    }
    ScanResult result;
    result.bytes = bytes;
    if (reply == "stream: OK" && sentAll) {
        result.outcome = ScanResult::Outcome::Clean;
    } else if (reply.startsWith("stream: ") && reply.endsWith(" FOUND") && reply.size() > 14) {
        result.outcome = ScanResult::Outcome::Infected;
        result.signature = QString::fromUtf8(reply.mid(8, reply.size() - 14));
    } else if (reply.contains("size limit exceeded")) {
        return failed(QStringLiteral("文件超过 %1 允许扫描的大小（StreamMaxLength）").arg(m_endpoint.text()));
    } else if (reply.endsWith(" ERROR")) {
        return failed(QStringLiteral("%1 回答错误：%2").arg(m_endpoint.text(), quoted(reply)));
    } else {
        return failed(QStringLiteral("%1 的回答无法识别：%2").arg(m_endpoint.text(), quoted(reply)));
    }
    // The verdict is for the bytes streamed: they must be the file as it is now.
    if (FileProbe::stampOf(file) != stamp) {
        return unreadable(Failure::of(Failure::Kind::Read, path, QStringLiteral("文件在扫描时被修改")));
    }
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(digest.get(), value, &length) != 1) {
        return failed(QStringLiteral("无法计算 SHA-256"));
    }
    result.sha256 = QByteArray(reinterpret_cast<const char *>(value), static_cast<qsizetype>(length)).toHex();
    return result;
}
