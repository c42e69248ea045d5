// The station's own transfer worker sending to the isolator peer over loopback.

#include "IsolatorTestServer.h"
#include "core/transfer/TransferJob.h"
#include "core/transfer/TransferWorker.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <thread>

using namespace std::chrono_literals;
using Outcome = ConnectionReport::Outcome;

namespace {

const QString kDestination = QStringLiteral("10.1.2.3:4321||d:\\收件\\今天");
const QString kFolder = QStringLiteral("10.1.2.3_4321/d/收件/今天");

class IsolatorWorkerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_upload.isValid()); }

    QByteArray makeFile(const QString &name, qsizetype size) {
        QByteArray bytes(size, '\0');
        QRandomGenerator generator(quint32(size) * 7 + 1);
        for (qsizetype i = 0; i < size; ++i) {
            bytes[i] = static_cast<char>(generator.generate() & 0xFF);
        }
        QFile file(m_upload.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        EXPECT_EQ(file.write(bytes), size);
        return bytes;
    }

    static void shorten(TransferJob &job) {
        job.connectTimeout = 2s;
        job.acknowledgementTimeout = 5s;
        job.blockTimeout = 5s;
    }

    std::optional<TransferResult> send(quint16 port, const QString &name,
                                       const QString &destination = kDestination) {
        TransferJob job;
        job.settleTime = {}; // files written by the test go at once
        shorten(job);
        TransferWorker worker(job);
        if (!worker.start(m_upload.path(), name, destination, QStringLiteral("127.0.0.1"),
                          QString::number(port))) {
            return std::nullopt;
        }
        EXPECT_TRUE(worker.wait(30s));
        return worker.lastResult();
    }

    QTemporaryDir m_upload;
};

TEST_F(IsolatorWorkerTest, FilesOfEverySizeArriveByteForByteSentAtOnce) {
    IsolatorTestServer peer;
    ASSERT_TRUE(peer.started());
    const qsizetype sizes[] = {0, 1, 4095, 4096, 4097, 5 * 1024 * 1024 + 1};
    const size_t count = std::size(sizes);
    std::vector<QByteArray> contents;
    for (const qsizetype size : sizes) {
        contents.push_back(makeFile(QStringLiteral("样本 %1.dat").arg(size), size));
    }
    std::vector<std::thread> threads;
    std::vector<std::optional<TransferResult>> results(count);
    for (size_t i = 0; i < count; ++i) {
        threads.emplace_back(
            [&, i] { results[i] = send(peer.port(), QStringLiteral("样本 %1.dat").arg(sizes[i])); });
    }
    for (std::thread &thread : threads) {
        thread.join();
    }
    const auto reports = peer.waitForReports(count);
    ASSERT_EQ(reports.size(), count);
    for (const ConnectionReport &report : reports) {
        EXPECT_EQ(report.outcome, Outcome::Stored) << report.logLine().toStdString();
        EXPECT_EQ(report.bytesReceived, (report.size + 4095) / 4096 * 4096) << "the padding is read as well";
    }
    for (size_t i = 0; i < count; ++i) {
        EXPECT_EQ(results[i], TransferResult::Success) << sizes[i];
        EXPECT_TRUE(peer.stored(kFolder + QStringLiteral("/样本 %1.dat").arg(sizes[i])) == contents[i])
            << sizes[i];
    }
}

TEST_F(IsolatorWorkerTest, AnAcknowledgementInMorePiecesThanTheWorkerWaitsForFailsTheTransfer) {
    IsolatorOptions options = IsolatorTestServer::testOptions();
    options.ackPieces = 11;
    options.ackPiecePause = 30ms;
    IsolatorTestServer peer(options);
    ASSERT_TRUE(peer.started());
    const QStringList before = peer.tree();
    makeFile(QStringLiteral("a"), 10);
    EXPECT_EQ(send(peer.port(), QStringLiteral("a")), TransferResult::Header);
    EXPECT_NE(peer.waitForReports(1).back().outcome, Outcome::Stored);
    EXPECT_EQ(peer.tree(), before);
}

TEST_F(IsolatorWorkerTest, APeerThatCutsTheDataFailsTheTransferAndKeepsNothing) {
    IsolatorOptions options = IsolatorTestServer::testOptions();
    options.cutAfterBlocks = 1;
    IsolatorTestServer peer(options);
    ASSERT_TRUE(peer.started());
    const QStringList before = peer.tree();
    // Large enough that the worker cannot hand it all to the socket buffers before the cut shows.
    makeFile(QStringLiteral("big"), 32 * 1024 * 1024);
    EXPECT_EQ(send(peer.port(), QStringLiteral("big")), TransferResult::Data);
    EXPECT_EQ(peer.waitForReports(1).back().outcome, Outcome::CutOnPurpose);
    EXPECT_EQ(peer.tree(), before);
}

} // namespace
