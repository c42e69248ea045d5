#include "core/transfer/HeaderBlock.h"
#include "core/transfer/Socket.h"
#include "support/ScriptedPeer.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct ToolRun {
    int exitCode = -1;
    QString out;
    QString err;
};

ToolRun runSend(const QStringList &arguments) {
    QProcess process;
    process.start(QStringLiteral(BRELVANTIS_BIN_DIR "/brelvantis-send"), arguments);
    ToolRun run;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(5000);
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

class SendToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        QFile file(m_dir.filePath(QStringLiteral("报告.txt")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(5000, 'r'));
        m_file = file.fileName();
    }

    QTemporaryDir m_dir;
    QString m_file;
};

TEST_F(SendToolTest, SendsTheFileWithTheStationsWorker) {
    ScriptedPeer peer;
    const ToolRun run = runSend({"--isolator", QStringLiteral("127.0.0.1:%1").arg(peer.port()),
                                 "--destination", QStringLiteral("10.0.0.9:80||d:/收件"), m_file});
    peer.finish();
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("result 0: success"))) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("MB/s"))) << run.out.toStdString();

    const auto header = HeaderBlock::parse(peer.header().constData());
    ASSERT_TRUE(header);
    EXPECT_EQ(header->fileName(), QStringLiteral("报告.txt"));
    EXPECT_EQ(header->innerPath(), QStringLiteral("d:/收件"));
    EXPECT_EQ(peer.data().left(5000), QByteArray(5000, 'r'));
}

TEST_F(SendToolTest, ExitsWithTheWorkersResultCode) {
    quint16 closedPort = 0;
    {
        TcpListener listener;
        ASSERT_TRUE(listener.listen("127.0.0.1", 0));
        closedPort = listener.port();
    }
    const ToolRun refused = runSend(
        {"--isolator", QStringLiteral("127.0.0.1:%1").arg(closedPort), "--destination", "||d:/in", m_file});
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_TRUE(refused.out.contains(QStringLiteral("result 3: connecting"))) << refused.out.toStdString();

    // A destination that cannot travel is refused before connecting, with the reason.
    const ToolRun unsendable = runSend({"--isolator", QStringLiteral("127.0.0.1:%1").arg(closedPort),
                                        "--destination", "no-separator", m_file});
    EXPECT_EQ(unsendable.exitCode, 4);
    EXPECT_TRUE(unsendable.out.contains(QStringLiteral("refused before connecting")))
        << unsendable.out.toStdString();
}

TEST_F(SendToolTest, BadArgumentsExitWith64AndSayWhy) {
    const QStringList good = {"--isolator", "127.0.0.1:5000", "--destination", "||d:/in"};
    const struct {
        QStringList arguments;
        const char *says;
    } cases[] = {
        {{"--destination", "||d:/in", m_file}, "--isolator"},
        {{"--isolator", "127.0.0.1:5000", m_file}, "--destination"},
        {{"--isolator", "localhost:5000", "--destination", "||d:/in", m_file}, "numeric IPv4"},
        {{"--isolator", "127.0.0.1:70000", "--destination", "||d:/in", m_file}, "1 to 65535"},
        {{"--isolator", "127.0.0.1", "--destination", "||d:/in", m_file}, "numeric IPv4"},
        {good, "exactly one FILE"},
        {good + QStringList{m_dir.filePath("missing.txt")}, "is not a file"},
        {good + QStringList{"--fast", m_file}, "unknown option"},
        {{"--isolator"}, "needs a value"},
    };
    for (const auto &c : cases) {
        const ToolRun run = runSend(c.arguments);
        EXPECT_EQ(run.exitCode, 64) << c.says;
        EXPECT_TRUE(run.err.contains(QLatin1String(c.says))) << run.err.toStdString();
    }

    const ToolRun help = runSend({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("Usage:")));
}

} // namespace
