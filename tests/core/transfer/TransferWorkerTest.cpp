#include "core/transfer/TransferWorker.h"
#include "core/transfer/BlockIo.h"

#include "core/transfer/HeaderBlock.h"
#include "core/transfer/Socket.h"
#include "core/transfer/TransferJob.h"
#include "support/ScriptedPeer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <vector>

using namespace std::chrono_literals;

namespace {

const QString kDestination = QStringLiteral("10.0.0.9:4321||d:/收件");

// File content whose every block differs, so leftovers are told apart from fresh data.
QByteArray content(qsizetype size) {
    QByteArray bytes(size, '\0');
    char *data = bytes.data();
    for (qsizetype i = 0; i < size; ++i) {
        data[i] = char((i * 31 + i / 4096 * 7) & 0xFF);
    }
    return bytes;
}

// Makes listener a port whose connection requests go unanswered: it never accepts, and once its
// queue is full further requests are dropped. False when the queue would not fill.
bool fillQueue(TcpListener &listener, std::vector<std::unique_ptr<TcpSocket>> &queued) {
    if (!listener.listen("127.0.0.1", 0)) {
        return false;
    }
    while (queued.size() < 5000) {
        auto socket = std::make_unique<TcpSocket>();
        if (!socket->create()) {
            return false;
        }
        const bool connected = socket->connectTo("127.0.0.1", listener.port(), 100ms);
        queued.push_back(std::move(socket));
        if (!connected) {
            return true;
        }
    }
    return false;
}

class TransferWorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_job.connectTimeout = 2s;
        m_job.acknowledgementTimeout = 5s;
        m_job.settleTime = {}; // the files are written whole before each transfer
        m_job.blockTimeout = 5s;
    }

    QString makeFile(const QString &name, const QByteArray &bytes) {
        QFile file(m_dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        EXPECT_EQ(file.write(bytes), bytes.size());
        return name;
    }

    std::optional<TransferResult> transfer(quint16 port, const QString &name,
                                           const QString &destination = kDestination,
                                           const QString &address = QStringLiteral("127.0.0.1")) {
        return transferWithPortText(QString::number(port), name, destination, address);
    }

    std::optional<TransferResult> transferWithPortText(const QString &portText, const QString &name,
                                                       const QString &destination = kDestination,
                                                       const QString &address = QStringLiteral("127.0.0.1")) {
        TransferWorker worker(m_job);
        if (!worker.start(m_dir.path(), name, destination, address, portText)) {
            return std::nullopt;
        }
        EXPECT_TRUE(worker.wait(20s));
        m_outcome = worker.lastOutcome().value_or(TransferOutcome{});
        return worker.lastResult();
    }

    QTemporaryDir m_dir;
    TransferJob m_job;
    TransferOutcome m_outcome; // of the last transfer()
};

// --- Data blocks --------------------------------------------------------------------------------------

TEST_F(TransferWorkerTest, EmptyFileSendsTheHeaderAndNoBlock) {
    ScriptedPeer peer;
    const QString name = makeFile(QStringLiteral("空文件-甲.txt"), QByteArray());
    EXPECT_EQ(transfer(peer.port(), name), TransferResult::Success);
    peer.finish();

    const auto header = HeaderBlock::parse(peer.header().constData());
    ASSERT_EQ(peer.header().size(), 4096);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->fileSize(), 0u);
    EXPECT_EQ(header->fileName(), name);
    EXPECT_EQ(header->innerAddress(), QStringLiteral("10.0.0.9:4321"));
    EXPECT_EQ(header->innerPath(), QStringLiteral("d:/收件"));
    EXPECT_EQ(peer.data().size(), 0);
    EXPECT_EQ(m_job.bytesSent.load(), 0u);
    EXPECT_TRUE(m_outcome.succeeded());
    EXPECT_FALSE(m_job.running.load());
}

TEST_F(TransferWorkerTest, WholeBlocksOnly) {
    ScriptedPeer peer;
    const QByteArray bytes = content(8192);
    EXPECT_EQ(transfer(peer.port(), makeFile(QStringLiteral("two.bin"), bytes)), TransferResult::Success);
    peer.finish();
    EXPECT_EQ(peer.dataBlocks(), 2);
    EXPECT_EQ(peer.data(), bytes);
    EXPECT_EQ(m_job.bytesSent.load(), 8192u);
    EXPECT_EQ(m_job.fileSize.load(), 8192u);
}

TEST_F(TransferWorkerTest, LastBlockIsSentWholeWithThePreviousBlocksTail) {
    ScriptedPeer peer;
    const QByteArray bytes = content(8193);
    EXPECT_EQ(transfer(peer.port(), makeFile(QStringLiteral("three.bin"), bytes)), TransferResult::Success);
    peer.finish();
    ASSERT_EQ(peer.data().size(), 3 * 4096);
    EXPECT_EQ(peer.data().left(8193), bytes);
    EXPECT_EQ(peer.data().mid(8193), bytes.mid(4096 + 1, 4095));
    EXPECT_EQ(m_job.bytesSent.load(), 12288u);
    EXPECT_EQ(HeaderBlock::parse(peer.header().constData())->fileSize(), 8193u);
}

TEST_F(TransferWorkerTest, ALastBlockThatStartsANewRunOfBlocksCarriesThePreviousRunsTail) {
    ScriptedPeer peer;
    const qsizetype size = kChunkBlocks * 4096 + 5;
    const QByteArray bytes = content(size);
    EXPECT_EQ(transfer(peer.port(), makeFile(QStringLiteral("run.bin"), bytes)), TransferResult::Success);
    peer.finish();
    ASSERT_EQ(peer.data().size(), size - 5 + 4096);
    EXPECT_EQ(peer.data().left(size), bytes);
    EXPECT_EQ(peer.data().mid(size), bytes.mid(size - 5 - 4096 + 5, 4091));
    // The SHA-256 of what was sent, from the same reads; none when hashing is off.
    EXPECT_EQ(m_outcome.sha256,
              QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));
    m_job.hashing = false;
    ScriptedPeer again;
    EXPECT_EQ(transfer(again.port(), QStringLiteral("run.bin")), TransferResult::Success);
    again.finish();
    EXPECT_EQ(m_outcome.sha256, QString());
}

TEST_F(TransferWorkerTest, ASingleShortBlockIsPaddedWithZeros) {
    ScriptedPeer peer;
    EXPECT_EQ(transfer(peer.port(), makeFile(QStringLiteral("five.txt"), "hello")), TransferResult::Success);
    peer.finish();
    EXPECT_EQ(peer.data(), QByteArray("hello") + QByteArray(4091, '\0'));
}

TEST_F(TransferWorkerTest, FileGrowingDuringTheTransferSendsOnlyTheAnnouncedBlocksAndIsNoSuccess) {
    const QByteArray bytes = content(8192);
    const QString name = makeFile(QStringLiteral("log.txt"), bytes);
    ScriptedPeer peer({.onHeader = [this, name] {
        QFile file(m_dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write(content(5000));
    }});
    EXPECT_EQ(transfer(peer.port(), name), TransferResult::Changed);
    EXPECT_EQ(m_outcome.reason, QStringLiteral("文件在发送时被修改"));
    EXPECT_TRUE(m_outcome.sha256.isEmpty()) << "no proof of a file that was not sent as it is";
    peer.finish();
    EXPECT_EQ(peer.data(), bytes);
}

TEST_F(TransferWorkerTest, FileShrinkingDuringTheTransferFailsInsteadOfReportingSuccess) {
    const QString name = makeFile(QStringLiteral("log.txt"), content(3 * 4096));
    ScriptedPeer peer({.onHeader = [this, name] { QFile(m_dir.filePath(name)).resize(4096 + 100); }});
    EXPECT_EQ(transfer(peer.port(), name), TransferResult::Changed);
    peer.finish();
    EXPECT_EQ(peer.dataBlocks(), 0) << "the short read is found before anything is sent";
    EXPECT_EQ(m_job.bytesSent.load(), 0u);
}

// --- Acknowledgement ----------------------------------------------------------------------------------

TEST_F(TransferWorkerTest, AcknowledgementInThreePiecesIsAccepted) {
    ScriptedPeer peer({.ackPieces = 3});
    EXPECT_EQ(transfer(peer.port(), makeFile(QStringLiteral("a.bin"), content(5000))),
              TransferResult::Success);
    peer.finish();
    EXPECT_EQ(peer.dataBlocks(), 2);
}

TEST_F(TransferWorkerTest, AcknowledgementNeedingElevenCallsFailsWithoutData) {
    ScriptedPeer peer({.ackPieces = 11});
    EXPECT_EQ(transfer(peer.port(), makeFile(QStringLiteral("a.bin"), content(5000))),
              TransferResult::Header);
    peer.finish();
    EXPECT_EQ(peer.data().size(), 0);
    EXPECT_FALSE(m_outcome.succeeded());
}

TEST_F(TransferWorkerTest, PeerClosingBeforeTheAcknowledgementFails) {
    ScriptedPeer peer({.closeBeforeAck = true});
    EXPECT_EQ(transfer(peer.port(), makeFile(QStringLiteral("a.bin"), content(5000))),
              TransferResult::Refused);
    peer.finish();
    EXPECT_EQ(peer.header().size(), 4096);
    EXPECT_EQ(peer.data().size(), 0);
    EXPECT_EQ(m_job.bytesSent.load(), 0u);
}

// --- Bounded waits ------------------------------------------------------------------------------------

TEST_F(TransferWorkerTest, SilentPeerEndsWithinTheAcknowledgementLimit) {
    ScriptedPeer peer({.neverAnswer = true});
    m_job.acknowledgementTimeout = 300ms;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(transfer(peer.port(), makeFile(QStringLiteral("a.bin"), content(10))), TransferResult::Header);
    EXPECT_GE(clock.elapsed(), 250);
    EXPECT_LT(clock.elapsed(), 3000);
}

TEST_F(TransferWorkerTest, PeerThatStopsReadingEndsWithinTheBlockLimit) {
    const QString name = makeFile(QStringLiteral("big.bin"), content(32 << 20));
    ScriptedPeer peer({.stopReading = true});
    m_job.blockTimeout = 300ms;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(transfer(peer.port(), name), TransferResult::Data);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_LT(m_job.bytesSent.load(), quint64(32 << 20));
}

// Progress counts what left the socket: data a slow reader has not taken is still the station's.
TEST_F(TransferWorkerTest, WhatWaitsInTheSocketIsNotCountedAsGone) {
    const QString name = makeFile(QStringLiteral("big.bin"), content(32 << 20));
    ScriptedPeer peer({.stopReading = true});
    TransferWorker worker(m_job);
    ASSERT_TRUE(worker.start(m_dir.path(), name, kDestination, QStringLiteral("127.0.0.1"),
                             QString::number(peer.port())));
    QElapsedTimer clock;
    clock.start();
    while (m_job.unsentBytes() == 0 && clock.elapsed() < 5000) {
        QThread::msleep(5);
    }
    EXPECT_GT(m_job.unsentBytes(), 0U) << "the reader stopped, so the send queue must hold data";
    m_job.abandonConnection();
    EXPECT_TRUE(worker.wait(5s));
    EXPECT_EQ(m_job.unsentBytes(), 0U) << "no connection, nothing waiting";
}

TEST_F(TransferWorkerTest, ConnectionAttemptIsBounded) {
    TcpListener listener;
    std::vector<std::unique_ptr<TcpSocket>> queued;
    if (!fillQueue(listener, queued)) {
        GTEST_SKIP() << "the listener's queue did not fill up";
    }
    m_job.connectTimeout = 300ms;
    const QString name = makeFile(QStringLiteral("a.bin"), content(10));
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(transfer(listener.port(), name), TransferResult::Connect);
    EXPECT_GE(clock.elapsed(), 250);
    EXPECT_LT(clock.elapsed(), 3000);
}

TEST_F(TransferWorkerTest, AbandonEndsAPendingConnectionAttempt) {
    TcpListener listener;
    std::vector<std::unique_ptr<TcpSocket>> queued;
    if (!fillQueue(listener, queued)) {
        GTEST_SKIP() << "the listener's queue did not fill up";
    }
    m_job.connectTimeout = 30s;
    TransferWorker worker(m_job);
    ASSERT_TRUE(worker.start(m_dir.path(), makeFile(QStringLiteral("a.bin"), content(10)), kDestination,
                             QStringLiteral("127.0.0.1"), QString::number(listener.port())));
    EXPECT_FALSE(worker.wait(200ms));
    worker.abandon();
    EXPECT_TRUE(worker.wait(2s));
    EXPECT_EQ(worker.lastResult(), TransferResult::Connect);
}

// --- Failures before and around the connection ----------------------------------------------------

TEST_F(TransferWorkerTest, UnsendableTextsAreRefusedBeforeConnecting) {
    ScriptedPeer peer;
    const QString longName = QString(256, QChar(0x62A5)); // 512 CP936 bytes
    EXPECT_EQ(transfer(peer.port(), longName), TransferResult::Unsendable);
    EXPECT_EQ(transfer(peer.port(), makeFile(QStringLiteral("ok.txt"), "x"), QStringLiteral("😀||d:/in")),
              TransferResult::Unsendable);
    EXPECT_EQ(transfer(peer.port(), QStringLiteral("ok.txt"), QString(48, QLatin1Char('1')) + "||d:/in"),
              TransferResult::Unsendable);
    EXPECT_EQ(transfer(peer.port(), QStringLiteral("ok.txt"), QStringLiteral("no-separator")),
              TransferResult::Unsendable);
    peer.finish();
    EXPECT_EQ(peer.connections(), 0);
    EXPECT_FALSE(m_outcome.succeeded());
}

TEST_F(TransferWorkerTest, RefusedConnectionAndHostNamesFailToConnect) {
    quint16 closedPort = 0;
    {
        TcpListener listener;
        ASSERT_TRUE(listener.listen("127.0.0.1", 0));
        closedPort = listener.port();
    }
    const QString name = makeFile(QStringLiteral("a.bin"), content(10));
    EXPECT_EQ(transfer(closedPort, name), TransferResult::Connect);

    ScriptedPeer peer;
    EXPECT_EQ(transfer(peer.port(), name, kDestination, QStringLiteral("localhost")),
              TransferResult::Connect);
    EXPECT_EQ(transfer(peer.port(), name, kDestination, QString()), TransferResult::Connect);
    peer.finish();
    EXPECT_EQ(peer.connections(), 0);
}

TEST_F(TransferWorkerTest, NoRegularFileNeverCostsAConnectionNorBlocks) {
    ScriptedPeer peer;
    EXPECT_EQ(transfer(peer.port(), QStringLiteral("gone.txt")), TransferResult::FileMissing);
    EXPECT_EQ(m_outcome.reason, QStringLiteral("文件不在上传目录中"));
    // A pipe would block an ordinary open until a writer comes; a link could lead out of the folder.
    ASSERT_EQ(::mkfifo(QFile::encodeName(m_dir.filePath(QStringLiteral("pipe.txt"))).constData(), 0600), 0);
    EXPECT_EQ(transfer(peer.port(), QStringLiteral("pipe.txt")), TransferResult::FileMissing);
    EXPECT_EQ(m_outcome.reason,
              QStringLiteral("上传目录中的“pipe.txt”不是普通文件（文件夹、管道、套接字或设备）"));
    ASSERT_TRUE(QFile::link(m_dir.filePath(makeFile(QStringLiteral("real.txt"), "x")),
                            m_dir.filePath(QStringLiteral("link.txt"))));
    EXPECT_EQ(transfer(peer.port(), QStringLiteral("link.txt")), TransferResult::FileMissing);
    EXPECT_EQ(m_outcome.reason, QStringLiteral("上传目录中的“link.txt”是符号链接，不会被跟随"));
    peer.finish();
    EXPECT_EQ(peer.connections(), 0);
}

TEST_F(TransferWorkerTest, AFileAnotherProgramWritesWaits) {
    ScriptedPeer peer;
    const QString name = makeFile(QStringLiteral("growing.log"), "first lines");
    QFile writer(m_dir.filePath(name));
    ASSERT_TRUE(writer.open(QIODevice::Append));
    EXPECT_EQ(transfer(peer.port(), name), TransferResult::NotSettled);
    EXPECT_EQ(m_outcome.reason, QStringLiteral("等待文件写完：另一个程序正在写入此文件"));
    writer.close();
    m_job.settleTime = std::chrono::hours(1);
    EXPECT_EQ(transfer(peer.port(), name), TransferResult::NotSettled) << "changed a moment ago";
    m_job.settleTime = {};
    EXPECT_EQ(transfer(peer.port(), name), TransferResult::Success);
    peer.finish();
    EXPECT_EQ(peer.connections(), 1);
}

TEST_F(TransferWorkerTest, PeerClosingDuringTheDataFails) {
    const qsizetype size = 32 << 20;
    const QString name = makeFile(QStringLiteral("big.bin"), content(size));
    ScriptedPeer peer({.closeAfterBlocks = 2});
    EXPECT_EQ(transfer(peer.port(), name), TransferResult::Data);
    EXPECT_LT(m_job.bytesSent.load(), quint64(size));
    EXPECT_FALSE(m_outcome.succeeded());
}

// --- Stop and hand-over ---------------------------------------------------------------------------

TEST_F(TransferWorkerTest, StopDuringTheDataEndsAfterTheBlocksInFlightWithoutCountingThem) {
    const qsizetype size = 32 << 20;
    const QString name = makeFile(QStringLiteral("big.bin"), content(size));
    ScriptedPeer peer({.onBlock = [this](int block) {
        if (block == 1) {
            m_job.stopRequested = true;
        }
    }});
    EXPECT_EQ(transfer(peer.port(), name), TransferResult::Stopped);
    peer.finish();
    ASSERT_GE(peer.dataBlocks(), 1);
    EXPECT_LT(peer.dataBlocks(), size / 4096);
    EXPECT_EQ(m_job.bytesSent.load() + kChunkBlocks * 4096, quint64(peer.dataBlocks()) * 4096);
    EXPECT_FALSE(m_outcome.succeeded());
}

TEST_F(TransferWorkerTest, HandOverFillsTheJobAndMarksItRunningBeforeTheWorkerRuns) {
    ScriptedPeer peer({.neverAnswer = true});
    const QString name = makeFile(QStringLiteral("a.bin"), content(10));
    m_job.stopRequested = true; // a stop left over from an idle moment
    m_job.bytesSent = 999;
    TransferWorker worker(m_job);
    ASSERT_TRUE(worker.start(m_dir.path(), name, kDestination, QStringLiteral("127.0.0.1"),
                             QString::number(peer.port())));
    EXPECT_TRUE(m_job.running.load());
    EXPECT_FALSE(m_job.stopRequested.load());
    EXPECT_EQ(m_job.bytesSent.load(), 0u);
    EXPECT_EQ(m_job.folder, m_dir.path() + QDir::separator());
    EXPECT_STREQ(m_job.isolatorAddress, "127.0.0.1");
    EXPECT_EQ(m_job.isolatorPort, peer.port());

    // A second start while one runs changes nothing.
    EXPECT_FALSE(worker.start(QStringLiteral("/elsewhere"), QStringLiteral("b"), kDestination,
                              QStringLiteral("10.0.0.1"), QStringLiteral("1")));
    EXPECT_EQ(m_job.fileName, name);
    EXPECT_FALSE(worker.wait(100ms));
    EXPECT_TRUE(m_job.running.load());
}

TEST_F(TransferWorkerTest, OutcomeFollowsTheLastTransfer) {
    ScriptedPeer good;
    const QString name = makeFile(QStringLiteral("a.bin"), content(10));
    EXPECT_EQ(transfer(good.port(), name), TransferResult::Success);
    EXPECT_TRUE(m_outcome.succeeded());
    EXPECT_EQ(transfer(good.port(), QStringLiteral("missing.bin")), TransferResult::FileMissing);
    EXPECT_FALSE(m_outcome.succeeded());
    EXPECT_FALSE(m_job.running.load(std::memory_order_acquire));
}

TEST_F(TransferWorkerTest, AbandonEndsABlockedWorkerAtOnce) {
    ScriptedPeer peer({.neverAnswer = true});
    m_job.acknowledgementTimeout = 30s;
    TransferWorker worker(m_job);
    ASSERT_TRUE(worker.start(m_dir.path(), makeFile(QStringLiteral("a.bin"), content(10)), kDestination,
                             QStringLiteral("127.0.0.1"), QString::number(peer.port())));
    EXPECT_FALSE(worker.wait(200ms)); // waiting for the acknowledgement
    QElapsedTimer clock;
    clock.start();
    worker.abandon();
    EXPECT_TRUE(worker.wait(2s));
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(worker.lastResult(), TransferResult::Stopped);
    EXPECT_FALSE(m_job.running.load());

    // The next start clears the abandonment.
    ScriptedPeer next;
    ASSERT_TRUE(worker.start(m_dir.path(), QStringLiteral("a.bin"), kDestination, QStringLiteral("127.0.0.1"),
                             QString::number(next.port())));
    EXPECT_TRUE(worker.wait(10s));
    EXPECT_EQ(worker.lastResult(), TransferResult::Success);
}

TEST_F(TransferWorkerTest, DestroyingTheOwnerEndsARunningWorker) {
    ScriptedPeer peer({.neverAnswer = true});
    m_job.acknowledgementTimeout = 30s;
    QElapsedTimer clock;
    {
        TransferWorker worker(m_job);
        ASSERT_TRUE(worker.start(m_dir.path(), makeFile(QStringLiteral("a.bin"), content(10)), kDestination,
                                 QStringLiteral("127.0.0.1"), QString::number(peer.port())));
        std::this_thread::sleep_for(200ms);
        clock.start();
    }
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_FALSE(m_job.running.load());
}

// --- Port text ----------------------------------------------------------------------------------------

TEST(TransferPortText, ReadLikeAtoiAndCutTo16Bits) {
    EXPECT_EQ(portFromText(QStringLiteral("5000")), 5000);
    EXPECT_EQ(portFromText(QStringLiteral("70000")), 4464);
    EXPECT_EQ(portFromText(QStringLiteral("65536")), 0);
    EXPECT_EQ(portFromText(QStringLiteral("abc")), 0);
    EXPECT_EQ(portFromText(QString()), 0);
    EXPECT_EQ(portFromText(QStringLiteral(" 12x")), 12);
    EXPECT_EQ(portFromText(QStringLiteral("\t\n +80")), 80);
    EXPECT_EQ(portFromText(QStringLiteral("- 5")), 0);
    EXPECT_EQ(portFromText(QStringLiteral("-1")), 65535);
    // Beyond int, atoi saturates: INT_MAX and INT_MIN cut to 16 bits.
    EXPECT_EQ(portFromText(QStringLiteral("99999999999999999999")), 65535);
    EXPECT_EQ(portFromText(QStringLiteral("-99999999999999999999")), 0);
}

TEST_F(TransferWorkerTest, PortTextReachesTheConnection) {
    ScriptedPeer peer;
    const QString name = makeFile(QStringLiteral("a.bin"), content(10));
    EXPECT_EQ(transferWithPortText(QStringLiteral("abc"), name), TransferResult::Connect);
    EXPECT_EQ(m_job.isolatorPort, 0);
    EXPECT_EQ(transferWithPortText(QStringLiteral(" %1x").arg(peer.port() + 65536), name),
              TransferResult::Success);
    EXPECT_EQ(m_job.isolatorPort, peer.port());
}

} // namespace
