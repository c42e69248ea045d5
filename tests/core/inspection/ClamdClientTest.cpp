#include "core/inspection/ClamdClient.h"
#include "core/transfer/Socket.h"
#include "support/ClamdDaemon.h"
#include "support/TestFiles.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

using namespace std::chrono_literals;

namespace {

using Outcome = ClamdClient::ScanResult::Outcome;

QByteArray sha256(const QByteArray &bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

using Daemon = ClamdDaemon;

Daemon *daemon = nullptr;
QString daemonProblem;

class RealClamdTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        daemon = new Daemon;
        daemonProblem = daemon->start();
    }

    static void TearDownTestSuite() {
        daemon->stop();
        delete daemon;
        daemon = nullptr;
    }

    void SetUp() override {
        if (!daemonProblem.isEmpty()) {
            GTEST_SKIP() << qPrintable(daemonProblem);
        }
    }

    QString write(const QString &name, const QByteArray &bytes) {
        const QString path = m_dir.filePath(name);
        TestFiles::write(path, bytes);
        return path;
    }

    QTemporaryDir m_dir;
};

TEST_F(RealClamdTest, FindsTheTestVirusAndPassesACleanFileWithTheHashOfWhatItScanned) {
    const ClamdClient client(ClamdEndpoint::localSocket(daemon->socket()));
    const ClamdClient::Answer version = client.version();
    EXPECT_TRUE(version.ok);
    EXPECT_TRUE(version.text.startsWith(QStringLiteral("ClamAV "))) << qPrintable(version.text);

    ClamdClient::ScanResult result = client.scan(write(QStringLiteral("说明.txt"), kEicar));
    EXPECT_EQ(result.outcome, Outcome::Infected) << qPrintable(result.sentence());
    EXPECT_EQ(result.signature, QStringLiteral("Brelvantis.Test.EICAR.UNOFFICIAL"));
    EXPECT_EQ(result.sha256, sha256(kEicar));

    // Several chunks: the hash covers them all, in order.
    QByteArray clean(3 * ClamdClient::kChunkBytes + 12345, '\0');
    for (qsizetype i = 0; i < clean.size(); ++i) {
        clean[i] = static_cast<char>(i * 7 + i / 4096);
    }
    result = client.scan(write(QStringLiteral("季度报告.pdf"), clean));
    EXPECT_EQ(result.outcome, Outcome::Clean) << qPrintable(result.sentence());
    EXPECT_EQ(result.sha256, sha256(clean));
    EXPECT_EQ(result.bytes, clean.size());
}

TEST_F(RealClamdTest, AFileOverTheDaemonsStreamLimitIsNeverTakenAsClean) {
    const ClamdClient client(ClamdEndpoint::localSocket(daemon->socket()));
    const ClamdClient::ScanResult result =
        client.scan(write(QStringLiteral("big.bin"), QByteArray(6 << 20, 'x')));
    EXPECT_EQ(result.outcome, Outcome::Failed);
    EXPECT_EQ(result.sentence(),
              QStringLiteral("病毒扫描服务不可用：文件超过 %1 允许扫描的大小（StreamMaxLength）")
                  .arg(daemon->socket()));
}

// A stand-in for clamd on loopback: it takes one INSTREAM request and then behaves as told.
class FakeClamd {
public:
    enum class Behaviour {
        Reply,          // reads the whole stream, sends the reply and closes
        Silent,         // reads the whole stream and says nothing until the client goes
        CloseMidStream, // closes after the first bytes of the stream
    };

    FakeClamd(Behaviour behaviour, QByteArray reply = {}) {
        EXPECT_TRUE(m_listener.listen("127.0.0.1", 0));
        m_thread = std::thread([this, behaviour, reply = std::move(reply)] { serve(behaviour, reply); });
    }

    ~FakeClamd() {
        m_listener.close();
        m_thread.join();
    }

    ClamdEndpoint endpoint() const { return ClamdEndpoint::tcp("127.0.0.1", m_listener.port()); }

private:
    static bool readExactly(TcpSocket &socket, char *data, qint64 size) {
        for (qint64 have = 0; have < size;) {
            const qint64 got = socket.receive(data + have, size - have);
            if (got <= 0) {
                return false;
            }
            have += got;
        }
        return true;
    }

    void serve(Behaviour behaviour, const QByteArray &reply) {
        std::unique_ptr<TcpSocket> socket = m_listener.accept(10s);
        if (!socket) {
            return;
        }
        socket->setDeadline(10s);
        QByteArray command(10, '\0');
        if (!readExactly(*socket, command.data(), command.size()) || command != QByteArray("zINSTREAM", 10)) {
            return;
        }
        QByteArray data(1 << 20, '\0');
        for (;;) {
            char length[4];
            if (!readExactly(*socket, length, 4)) {
                return;
            }
            const quint32 size = qFromBigEndian<quint32>(length);
            if (behaviour == Behaviour::CloseMidStream) {
                readExactly(*socket, data.data(), 100);
                return; // closed with the rest unread
            }
            if (size == 0) {
                break;
            }
            if (size > data.size() || !readExactly(*socket, data.data(), size)) {
                return;
            }
        }
        if (behaviour == Behaviour::Reply) {
            socket->send(reply.constData(), reply.size());
            return;
        }
        char byte = 0;
        while (socket->receive(&byte, 1) > 0) {
        }
    }

    TcpListener m_listener;
    std::thread m_thread;
};

TEST(ClamdClient, FailsClosedWhenTheDaemonIsAbsentSilentGarbledOrGone) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("说明.txt"));
    TestFiles::write(path, QByteArray(2 * ClamdClient::kChunkBytes, 'a'));
    ClamdTiming quick;
    quick.reply = 300ms;
    quick.perMiB = 0ms;

    struct Case {
        FakeClamd::Behaviour behaviour;
        QByteArray reply;
        QString why; // %1: the fake's address
    } cases[] = {
        {FakeClamd::Behaviour::Reply, QByteArray("hello, world", 13),
         QStringLiteral("%1 的回答无法识别：hello, world")},
        {FakeClamd::Behaviour::Reply, QByteArray("stream: OK"),
         QStringLiteral("%1 的回答不完整：stream: OK")},
        {FakeClamd::Behaviour::Reply, QByteArray("stream: OKAY", 13),
         QStringLiteral("%1 的回答无法识别：stream: OKAY")},
        {FakeClamd::Behaviour::Reply, QByteArray("stream: lstat() failed. ERROR", 30),
         QStringLiteral("%1 回答错误：stream: lstat() failed. ERROR")},
        {FakeClamd::Behaviour::Silent, {}, QStringLiteral("%1 在 1 秒内没有回答")},
        {FakeClamd::Behaviour::CloseMidStream, {}, QStringLiteral("%1 在回答前关闭了连接")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(qPrintable(c.why));
        const FakeClamd fake(c.behaviour, c.reply);
        const ClamdClient::ScanResult result = ClamdClient(fake.endpoint(), quick).scan(path);
        EXPECT_EQ(result.outcome, Outcome::Failed);
        EXPECT_EQ(result.sentence(),
                  QStringLiteral("病毒扫描服务不可用：") + c.why.arg(fake.endpoint().text()));
    }
    // The fake itself, as clamd would answer: only then is a file clean.
    {
        const FakeClamd fake(FakeClamd::Behaviour::Reply, QByteArray("stream: OK", 11));
        EXPECT_EQ(ClamdClient(fake.endpoint(), quick).scan(path).outcome, Outcome::Clean);
    }

    // Nobody there: a socket file that does not exist, a port nobody listens on, settings that make no sense.
    quint16 closedPort = 0;
    {
        TcpListener listener;
        ASSERT_TRUE(listener.listen("127.0.0.1", 0));
        closedPort = listener.port();
    }
    const QString missing = dir.filePath(QStringLiteral("clamd.sock"));
    const ClamdEndpoint tcp = ClamdEndpoint::tcp("127.0.0.1", closedPort);
    EXPECT_EQ(ClamdClient(ClamdEndpoint::localSocket(missing), quick).scan(path).sentence(),
              QStringLiteral("病毒扫描服务不可用：无法连接 %1：文件或文件夹不存在").arg(missing));
    EXPECT_EQ(ClamdClient(tcp, quick).version().sentence(),
              QStringLiteral("病毒扫描服务不可用：无法连接 127.0.0.1:%1：连接被拒绝").arg(closedPort));
    EXPECT_EQ(ClamdClient(ClamdEndpoint::fromSettings(QString(), QStringLiteral("localhost:3310")), quick)
                  .scan(path)
                  .sentence(),
              QStringLiteral("病毒扫描服务不可用：ClamdAddress“localhost:3310”不是“IPv4地址:端口”的形式"));
}

} // namespace
