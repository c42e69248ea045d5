// brelvantis-isolator as a program: what it prints, how it ends, and a transfer with brelvantis-send.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kBinDir = QStringLiteral(BRELVANTIS_BIN_DIR);

class IsolatorExecutableTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    void TearDown() override {
        if (m_peer.state() != QProcess::NotRunning) {
            m_peer.kill();
            m_peer.waitForFinished(5000);
        }
    }

    // Starts the peer on a free port and returns the port it printed (0 on failure).
    quint16 startPeer(const QStringList &extra = {}) {
        m_peer.start(kBinDir + QStringLiteral("/brelvantis-isolator"),
                     QStringList{QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                                 QStringLiteral("--root"), root()} +
                         extra);
        if (!m_peer.waitForStarted(5000)) {
            return 0;
        }
        const QString first = waitForLine(QStringLiteral("listening on"));
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("^listening on 127\\.0\\.0\\.1:(\\d+)$")).match(first);
        return match.hasMatch() ? match.captured(1).toUShort() : 0;
    }

    // The first line of the peer's output (read so far or arriving within 10 s) that contains text.
    QString waitForLine(const QString &text) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000) {
            while (m_peer.canReadLine()) {
                const QString line = QString::fromUtf8(m_peer.readLine()).trimmed();
                m_lines.append(line);
                if (line.contains(text)) {
                    return line;
                }
            }
            if (!m_peer.waitForReadyRead(200) && m_peer.state() == QProcess::NotRunning) {
                break;
            }
        }
        return QString();
    }

    // Writes a file called name holding bytes and sends it with brelvantis-send; its exit code.
    int runSend(quint16 port, const QString &name, const QByteArray &bytes, const QString &destination) {
        const QString file = m_dir.filePath(name);
        QFile source(file);
        if (!source.open(QIODevice::WriteOnly) || source.write(bytes) != bytes.size()) {
            return -1;
        }
        source.close();
        QProcess send;
        send.start(kBinDir + QStringLiteral("/brelvantis-send"),
                   {QStringLiteral("--isolator"), QStringLiteral("127.0.0.1:%1").arg(port),
                    QStringLiteral("--destination"), destination, file});
        if (!send.waitForFinished(30000)) {
            send.kill();
            return -1;
        }
        return send.exitCode();
    }

    QString root() const { return m_dir.filePath(QStringLiteral("root")); }

    QTemporaryDir m_dir;
    QProcess m_peer;
    QStringList m_lines;
};

TEST_F(IsolatorExecutableTest, PrintsItsPortAndOneLinePerConnectionAndStopsOnSigterm) {
    const quint16 port = startPeer();
    ASSERT_NE(port, 0);
    EXPECT_EQ(runSend(port, QStringLiteral("报告.txt"), "hello isolator\n",
                      QStringLiteral("192.168.1.1:4321||d://广告/x")),
              0);

    const QString line = waitForLine(QStringLiteral("报告.txt"));
    EXPECT_TRUE(line.contains(QStringLiteral(" stored "))) << line.toStdString();
    EXPECT_TRUE(line.contains(QStringLiteral(" 15 "))) << "the size: " << line.toStdString();
    EXPECT_TRUE(line.contains(QStringLiteral("MB/s"))) << line.toStdString();
    QFile stored(root() + QStringLiteral("/192.168.1.1_4321/d/广告/x/报告.txt"));
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), QByteArray("hello isolator\n"));

    m_peer.terminate();
    ASSERT_TRUE(m_peer.waitForFinished(5000));
    EXPECT_EQ(m_peer.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_peer.exitCode(), 0);
    EXPECT_FALSE(waitForLine(QStringLiteral("stopped")).isEmpty());
}

TEST_F(IsolatorExecutableTest, MisbehaviourOptionsReachTheSender) {
    const quint16 port = startPeer({QStringLiteral("--close-before-ack")});
    ASSERT_NE(port, 0);
    EXPECT_EQ(runSend(port, QStringLiteral("a.txt"), "a", QStringLiteral("1.2.3.4:5||d:/x")), 4);
    EXPECT_FALSE(waitForLine(QStringLiteral("closed-before-ack")).isEmpty());
}

TEST_F(IsolatorExecutableTest, BadArgumentsAndAPortInUseAreReported) {
    const quint16 port = startPeer();
    ASSERT_NE(port, 0);
    const QStringList listen{QStringLiteral("--root"), root(), QStringLiteral("--listen")};
    const struct {
        QString where;
        int exitCode;
        const char *says;
    } cases[] = {{QStringLiteral("nowhere"), 2, "--listen"},
                 {QStringLiteral("127.0.0.1:%1").arg(port), 1, "cannot listen"}};
    for (const auto &c : cases) {
        QProcess peer;
        peer.start(kBinDir + QStringLiteral("/brelvantis-isolator"), listen + QStringList{c.where});
        ASSERT_TRUE(peer.waitForFinished(5000));
        EXPECT_EQ(peer.exitCode(), c.exitCode) << c.says;
        EXPECT_TRUE(peer.readAllStandardError().contains(c.says));
    }
}

} // namespace
