// The isolator peer on real loopback connections, driven step by step by a bare client.

#include "IsolatorRawClient.h"
#include "IsolatorTestServer.h"

#include "core/common/Cp936.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <gtest/gtest.h>
#include <thread>

using namespace std::chrono_literals;
using Outcome = ConnectionReport::Outcome;

namespace {

QByteArray randomBytes(qsizetype size, quint32 seed) {
    QByteArray bytes(size, '\0');
    QRandomGenerator generator(seed);
    for (qsizetype i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(generator.generate() & 0xFF);
    }
    return bytes;
}

const QString kAddress = QStringLiteral("192.168.1.1:4321");
const QString kPath = QStringLiteral("d://广告/x");
const QString kFolder = QStringLiteral("192.168.1.1_4321/d/广告/x");

// --- Whole files ----------------------------------------------------------------------------------------

TEST(IsolatorServer, StoresFilesOfEverySizeByteForByte) {
    IsolatorTestServer peer;
    ASSERT_TRUE(peer.started());
    const qsizetype sizes[] = {0, 1, 4095, 4096, 4097, 3 * 1024 * 1024 + 123};
    size_t count = 0;
    for (const qsizetype size : sizes) {
        const QByteArray content = randomBytes(size, quint32(size) + 1);
        const QString name = QStringLiteral("文件-%1.bin").arg(size);
        IsolatorRawClient client;
        ASSERT_TRUE(client.sendFile(peer.port(), content, name, kAddress, kPath)) << size;
        const auto reports = peer.waitForReports(++count);
        ASSERT_EQ(reports.size(), count);
        EXPECT_EQ(reports.back().outcome, Outcome::Stored) << reports.back().logLine().toStdString();
        EXPECT_EQ(reports.back().storedPath, kFolder + u'/' + name);
        EXPECT_EQ(reports.back().bytesReceived, quint64((size + 4095) / 4096 * 4096));
        bool exists = false;
        const QByteArray stored = peer.stored(kFolder + u'/' + name, &exists);
        EXPECT_TRUE(exists) << size;
        EXPECT_TRUE(stored == content) << "size " << size << " came out as " << stored.size() << " bytes";
    }
    // Nothing beside the files: no temporary names left behind.
    EXPECT_EQ(QDir(peer.root() + u'/' + kFolder).entryList(QDir::Files | QDir::Hidden).size(), 6);
}

TEST(IsolatorServer, ANewFileReplacesAnOldOneOfTheSameNameOnlyWhenComplete) {
    IsolatorTestServer peer;
    ASSERT_TRUE(peer.started());
    IsolatorRawClient first;
    ASSERT_TRUE(first.sendFile(peer.port(), "old content", QStringLiteral("same"), kAddress, kPath));
    ASSERT_EQ(peer.waitForReports(1).size(), 1u);

    // A second copy cut half way leaves the first untouched ...
    IsolatorRawClient cut;
    const QByteArray longer = randomBytes(3 * 4096, 7);
    ASSERT_TRUE(cut.connectTo(peer.port()));
    ASSERT_TRUE(
        cut.sendAll(IsolatorRawClient::header(longer.size(), QStringLiteral("same"), kAddress, kPath)));
    ASSERT_EQ(cut.receiveAcknowledgement(5s), 4096);
    ASSERT_TRUE(cut.sendAll(longer.left(4096 + 100)));
    cut.socket().close();
    ASSERT_EQ(peer.waitForReports(2).back().outcome, Outcome::Cut);
    EXPECT_EQ(peer.stored(kFolder + QStringLiteral("/same")), QByteArray("old content"));

    // ... a whole one replaces it.
    IsolatorRawClient whole;
    ASSERT_TRUE(whole.sendFile(peer.port(), longer, QStringLiteral("same"), kAddress, kPath));
    ASSERT_EQ(peer.waitForReports(3).back().outcome, Outcome::Stored);
    EXPECT_TRUE(peer.stored(kFolder + QStringLiteral("/same")) == longer);
}

// --- Several senders --------------------------------------------------------------------------------------

TEST(IsolatorServer, ServesSeveralSendersAtOnce) {
    IsolatorTestServer peer;
    ASSERT_TRUE(peer.started());
    constexpr int kSenders = 8;
    std::vector<QByteArray> contents;
    for (int i = 0; i < kSenders; ++i) {
        contents.push_back(randomBytes(200 * 1024 + i * 977, quint32(100 + i)));
    }
    std::vector<std::thread> senders;
    std::atomic<int> succeeded{0};
    for (int i = 0; i < kSenders; ++i) {
        senders.emplace_back([&, i] {
            IsolatorRawClient client;
            // Half share one folder, half go to folders of their own.
            const QString path = i % 2 ? kPath : QStringLiteral("d:/own/%1").arg(i);
            if (client.sendFile(peer.port(), contents[i], QStringLiteral("f%1").arg(i), kAddress, path)) {
                ++succeeded;
            }
        });
    }
    for (std::thread &sender : senders) {
        sender.join();
    }
    EXPECT_EQ(succeeded.load(), kSenders);
    const auto reports = peer.waitForReports(kSenders);
    ASSERT_EQ(reports.size(), size_t(kSenders));
    for (int i = 0; i < kSenders; ++i) {
        const QString folder = i % 2 ? kFolder : QStringLiteral("192.168.1.1_4321/d/own/%1").arg(i);
        EXPECT_TRUE(peer.stored(folder + QStringLiteral("/f%1").arg(i)) == contents[i]) << i;
    }
}

TEST(IsolatorServer, ACutTransferDoesNotPullASharedFolderFromUnderAnother) {
    IsolatorTestServer peer;
    ASSERT_TRUE(peer.started());
    const QByteArray content = randomBytes(3 * 4096, 11);
    IsolatorRawClient keeps;
    ASSERT_TRUE(keeps.connectTo(peer.port()));
    ASSERT_TRUE(
        keeps.sendAll(IsolatorRawClient::header(content.size(), QStringLiteral("keeps"), kAddress, kPath)));
    ASSERT_EQ(keeps.receiveAcknowledgement(5s), 4096);

    IsolatorRawClient cut;
    ASSERT_TRUE(cut.connectTo(peer.port()));
    ASSERT_TRUE(
        cut.sendAll(IsolatorRawClient::header(content.size(), QStringLiteral("cut"), kAddress, kPath)));
    ASSERT_EQ(cut.receiveAcknowledgement(5s), 4096);
    cut.socket().close();
    ASSERT_EQ(peer.waitForReports(1).back().outcome, Outcome::Cut);

    ASSERT_TRUE(keeps.sendAll(IsolatorRawClient::padded(content)));
    keeps.socket().close();
    ASSERT_EQ(peer.waitForReports(2).back().outcome, Outcome::Stored);
    EXPECT_TRUE(peer.stored(kFolder + QStringLiteral("/keeps")) == content);
}

TEST(IsolatorServer, ConnectionsOverTheCapAreClosedAtOnce) {
    IsolatorOptions options = IsolatorTestServer::testOptions();
    options.maxConnections = 1;
    IsolatorTestServer peer(options);
    ASSERT_TRUE(peer.started());
    IsolatorRawClient holding;
    ASSERT_TRUE(holding.connectTo(peer.port()));
    IsolatorRawClient extra;
    ASSERT_TRUE(extra.connectTo(peer.port()));
    EXPECT_TRUE(extra.peerClosed(3s));
    const auto reports = peer.waitForReports(1);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].outcome, Outcome::Busy);

    // Once the first is done, the slot is free again.
    holding.socket().close();
    peer.waitForReports(2);
    IsolatorRawClient later;
    ASSERT_TRUE(later.sendFile(peer.port(), "x", QStringLiteral("later"), kAddress, kPath));
    EXPECT_EQ(peer.waitForReports(3).back().outcome, Outcome::Stored);
}

// --- Cut and stalled connections ---------------------------------------------------------------------------

TEST(IsolatorServer, AConnectionCutMidDataLeavesNothing) {
    IsolatorTestServer peer;
    ASSERT_TRUE(peer.started());
    const QStringList before = peer.tree();
    const QByteArray content = randomBytes(5 * 4096, 3);
    // Cut between blocks, inside a block, and right after the acknowledgement.
    const qsizetype cuts[] = {2 * 4096, 3 * 4096 + 17, 0};
    size_t count = 0;
    for (const qsizetype cut : cuts) {
        IsolatorRawClient client;
        ASSERT_TRUE(client.connectTo(peer.port()));
        ASSERT_TRUE(client.sendAll(
            IsolatorRawClient::header(content.size(), QStringLiteral("partial"), kAddress, kPath)));
        ASSERT_EQ(client.receiveAcknowledgement(5s), 4096);
        ASSERT_TRUE(client.sendAll(content.left(cut)));
        client.socket().close();
        const auto reports = peer.waitForReports(++count);
        ASSERT_EQ(reports.size(), count);
        EXPECT_EQ(reports.back().outcome, Outcome::Cut);
        EXPECT_EQ(reports.back().bytesReceived, quint64(cut));
        EXPECT_EQ(peer.tree(), before) << "after a cut at " << cut;
    }
}

TEST(IsolatorServer, ALastBlockSentShortIsNotTakenForTheWholeFile) {
    IsolatorTestServer peer;
    ASSERT_TRUE(peer.started());
    const QByteArray content = randomBytes(4096 + 10, 5);
    IsolatorRawClient client;
    ASSERT_TRUE(client.connectTo(peer.port()));
    ASSERT_TRUE(
        client.sendAll(IsolatorRawClient::header(content.size(), QStringLiteral("short"), kAddress, kPath)));
    ASSERT_EQ(client.receiveAcknowledgement(5s), 4096);
    ASSERT_TRUE(client.sendAll(content)); // every file byte, but the last block not padded
    client.socket().close();
    EXPECT_EQ(peer.waitForReports(1).back().outcome, Outcome::Cut);
    bool exists = true;
    peer.stored(kFolder + QStringLiteral("/short"), &exists);
    EXPECT_FALSE(exists);
}

TEST(IsolatorServer, EveryWaitIsBounded) {
    IsolatorOptions options = IsolatorTestServer::testOptions();
    options.timeout = 300ms;
    IsolatorTestServer peer(options);
    ASSERT_TRUE(peer.started());
    const QStringList before = peer.tree();

    IsolatorRawClient silent;
    ASSERT_TRUE(silent.connectTo(peer.port()));
    EXPECT_TRUE(silent.peerClosed(5s));
    EXPECT_EQ(peer.waitForReports(1).back().outcome, Outcome::TimedOut);

    IsolatorRawClient halfHeader;
    ASSERT_TRUE(halfHeader.connectTo(peer.port()));
    ASSERT_TRUE(halfHeader.sendAll(QByteArray(1000, '\0')));
    EXPECT_TRUE(halfHeader.peerClosed(5s));
    EXPECT_EQ(peer.waitForReports(2).back().outcome, Outcome::TimedOut);

    IsolatorRawClient stalled;
    ASSERT_TRUE(stalled.connectTo(peer.port()));
    ASSERT_TRUE(
        stalled.sendAll(IsolatorRawClient::header(3 * 4096, QStringLiteral("stalled"), kAddress, kPath)));
    ASSERT_EQ(stalled.receiveAcknowledgement(5s), 4096);
    ASSERT_TRUE(stalled.sendAll(QByteArray(4096, 'x')));
    EXPECT_TRUE(stalled.peerClosed(5s));
    EXPECT_EQ(peer.waitForReports(3).back().outcome, Outcome::TimedOut);
    EXPECT_EQ(peer.tree(), before);
}

TEST(IsolatorServer, StoppingDropsTransfersInProgress) {
    auto peer = std::make_unique<IsolatorTestServer>();
    ASSERT_TRUE(peer->started());
    const QStringList before = peer->tree();
    IsolatorRawClient client;
    ASSERT_TRUE(client.connectTo(peer->port()));
    ASSERT_TRUE(
        client.sendAll(IsolatorRawClient::header(3 * 4096, QStringLiteral("dropped"), kAddress, kPath)));
    ASSERT_EQ(client.receiveAcknowledgement(5s), 4096);
    ASSERT_TRUE(client.sendAll(QByteArray(4096, 'x')));
    std::this_thread::sleep_for(100ms);

    peer->server().stop();
    const auto reports = peer->waitForReports(1);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].outcome, Outcome::Stopped);
    EXPECT_EQ(peer->tree(), before);
    EXPECT_TRUE(client.peerClosed(2s));

    // Nobody is left waiting in the backlog of a stopped peer.
    IsolatorRawClient late;
    EXPECT_FALSE(late.connectTo(peer->port()));
}

// --- Refusals -------------------------------------------------------------------------------------------

struct UnsafeHeader {
    const char *what;
    QByteArray name;
    QByteArray address;
    QByteArray path;
};

TEST(IsolatorServer, RefusesUnsafeNamesAndPathsWithoutWritingAnything) {
    IsolatorTestServer peer;
    ASSERT_TRUE(peer.started());
    const QStringList before = peer.tree();
    const QByteArray gbkPath = *Cp936::encode(kPath);
    const UnsafeHeader cases[] = {
        {"empty name", "", "1.2.3.4:5", gbkPath},
        {"dot name", ".", "1.2.3.4:5", gbkPath},
        {"dot-dot name", "..", "1.2.3.4:5", gbkPath},
        {"name with a slash", "a/b", "1.2.3.4:5", gbkPath},
        {"name with a backslash", "a\\b", "1.2.3.4:5", gbkPath},
        {"absolute name", "/tmp/escaped", "1.2.3.4:5", gbkPath},
        {"name with a control character", "a\x01z", "1.2.3.4:5", gbkPath},
        {"name with a line break", "a\nz", "1.2.3.4:5", gbkPath},
        {"path climbing out", "n", "1.2.3.4:5", "../../escaped"},
        {"path climbing out after a drive", "n", "1.2.3.4:5", "d:\\a\\..\\..\\..\\escaped"},
        {"path with a stray colon", "n", "1.2.3.4:5", "d:/a/c:/b"},
        {"path with a control character", "n", "1.2.3.4:5", "d:/a\x7f"},
        {"dot-dot address", "n", "..", gbkPath},
        {"address with a separator", "n", "../1.2.3.4:5", gbkPath},
        {"name not CP936", "\x81\x20.txt", "1.2.3.4:5", gbkPath},
        {"path not CP936", "n", "1.2.3.4:5", "d:/\x81\x7f"},
        {"path ending in half a character", "n", "1.2.3.4:5", "d:/a\x81"},
    };
    size_t count = 0;
    for (const UnsafeHeader &unsafe : cases) {
        IsolatorRawClient client;
        ASSERT_TRUE(client.connectTo(peer.port()));
        ASSERT_TRUE(
            client.sendAll(IsolatorRawClient::rawHeader(3, unsafe.name, unsafe.address, unsafe.path)));
        EXPECT_EQ(client.receiveAcknowledgement(5s), 0) << unsafe.what << ": no acknowledgement";
        const auto reports = peer.waitForReports(++count);
        ASSERT_EQ(reports.size(), count);
        EXPECT_EQ(reports.back().outcome, Outcome::Refused) << unsafe.what;
        EXPECT_FALSE(reports.back().logLine().contains(u'\n')) << unsafe.what << ": one line per connection";
        EXPECT_EQ(peer.tree(), before) << unsafe.what;
    }
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/tmp/escaped")));
}

TEST(IsolatorServer, RefusesMalformedHeaderFields) {
    IsolatorTestServer peer;
    ASSERT_TRUE(peer.started());
    const QStringList before = peer.tree();
    QByteArray notTerminated = IsolatorRawClient::rawHeader(3, "n", "a", "p");
    notTerminated.replace(2000, 48, QByteArray(48, '1'));
    QByteArray nameNotTerminated = IsolatorRawClient::rawHeader(3, QByteArray(1992, 'n'), "a", "p");
    QByteArray strayBytes = IsolatorRawClient::rawHeader(3, "n", "a", "p");
    strayBytes[2048 + 100] = 'x'; // after the path's terminator
    const QByteArray blocks[] = {notTerminated, nameNotTerminated, strayBytes};
    size_t count = 0;
    for (const QByteArray &block : blocks) {
        IsolatorRawClient client;
        ASSERT_TRUE(client.connectTo(peer.port()));
        ASSERT_TRUE(client.sendAll(block));
        EXPECT_EQ(client.receiveAcknowledgement(5s), 0);
        EXPECT_EQ(peer.waitForReports(++count).back().outcome, Outcome::Refused) << count;
    }
    EXPECT_EQ(peer.tree(), before);
}

TEST(IsolatorServer, RefusesFilesOverTheSizeLimitBeforeTheAcknowledgement) {
    IsolatorOptions options = IsolatorTestServer::testOptions();
    options.maxSize = 10000;
    IsolatorTestServer peer(options);
    ASSERT_TRUE(peer.started());
    IsolatorRawClient tooBig;
    ASSERT_TRUE(tooBig.connectTo(peer.port()));
    ASSERT_TRUE(tooBig.sendAll(IsolatorRawClient::header(10001, QStringLiteral("big"), kAddress, kPath)));
    EXPECT_EQ(tooBig.receiveAcknowledgement(5s), 0);
    EXPECT_EQ(peer.waitForReports(1).back().outcome, Outcome::Refused);

    // A size no disk can hold (and whose block count would overflow) is refused too.
    IsolatorRawClient absurd;
    ASSERT_TRUE(absurd.connectTo(peer.port()));
    ASSERT_TRUE(
        absurd.sendAll(IsolatorRawClient::header(~quint64(0), QStringLiteral("absurd"), kAddress, kPath)));
    EXPECT_EQ(absurd.receiveAcknowledgement(5s), 0);
    EXPECT_EQ(peer.waitForReports(2).back().outcome, Outcome::Refused);
}

TEST(IsolatorServer, RefusesAFileLargerThanTheFreeSpace) {
    IsolatorTestServer peer;
    ASSERT_TRUE(peer.started());
    IsolatorRawClient client;
    ASSERT_TRUE(client.connectTo(peer.port()));
    ASSERT_TRUE(
        client.sendAll(IsolatorRawClient::header(quint64(1) << 60, QStringLiteral("huge"), kAddress, kPath)));
    EXPECT_EQ(client.receiveAcknowledgement(5s), 0);
    const auto report = peer.waitForReports(1).back();
    EXPECT_EQ(report.outcome, Outcome::Refused);
    EXPECT_TRUE(report.detail.contains(QStringLiteral("free"))) << report.detail.toStdString();
}

// --- Misbehaviour on purpose ------------------------------------------------------------------------------

TEST(IsolatorServerMisbehaviour, ClosesBeforeTheAcknowledgement) {
    IsolatorOptions options = IsolatorTestServer::testOptions();
    options.closeBeforeAck = true;
    IsolatorTestServer peer(options);
    ASSERT_TRUE(peer.started());
    IsolatorRawClient client;
    ASSERT_TRUE(client.connectTo(peer.port()));
    ASSERT_TRUE(client.sendAll(IsolatorRawClient::header(3, QStringLiteral("n"), kAddress, kPath)));
    EXPECT_EQ(client.receiveAcknowledgement(5s), 0);
    EXPECT_TRUE(client.peerClosed(1s));
    EXPECT_EQ(peer.waitForReports(1).back().outcome, Outcome::ClosedBeforeAck);
}

TEST(IsolatorServerMisbehaviour, SendsTheAcknowledgementInPieces) {
    IsolatorOptions options = IsolatorTestServer::testOptions();
    options.ackPieces = 3;
    options.ackPiecePause = 150ms;
    IsolatorTestServer peer(options);
    ASSERT_TRUE(peer.started());
    IsolatorRawClient client;
    ASSERT_TRUE(client.connectTo(peer.port()));
    ASSERT_TRUE(client.sendAll(IsolatorRawClient::header(3, QStringLiteral("n"), kAddress, kPath)));
    int calls = 0;
    EXPECT_EQ(client.receiveAcknowledgement(5s, &calls), 4096);
    EXPECT_EQ(calls, 3);
    // The file still arrives.
    ASSERT_TRUE(client.sendAll(IsolatorRawClient::padded("abc")));
    client.socket().close();
    EXPECT_EQ(peer.waitForReports(1).back().outcome, Outcome::Stored);
    EXPECT_EQ(peer.stored(kFolder + QStringLiteral("/n")), QByteArray("abc"));
}

TEST(IsolatorServerMisbehaviour, NeverAnswers) {
    IsolatorOptions options = IsolatorTestServer::testOptions();
    options.neverAnswer = true;
    IsolatorTestServer peer(options);
    ASSERT_TRUE(peer.started());
    IsolatorRawClient client;
    ASSERT_TRUE(client.connectTo(peer.port()));
    ASSERT_TRUE(client.sendAll(IsolatorRawClient::header(3, QStringLiteral("n"), kAddress, kPath)));
    EXPECT_EQ(client.receiveAcknowledgement(600ms), 0);
    EXPECT_TRUE(client.socket().timedOut()) << "the connection stays open, silent";
    client.socket().close();
    const auto reports = peer.waitForReports(1);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].outcome, Outcome::NeverAnswered);
}

TEST(IsolatorServerMisbehaviour, CutsAfterTheGivenNumberOfBlocks) {
    IsolatorOptions options = IsolatorTestServer::testOptions();
    options.cutAfterBlocks = 2;
    IsolatorTestServer peer(options);
    ASSERT_TRUE(peer.started());
    const QStringList before = peer.tree();
    IsolatorRawClient client;
    ASSERT_TRUE(client.connectTo(peer.port()));
    ASSERT_TRUE(client.sendAll(IsolatorRawClient::header(5 * 4096, QStringLiteral("n"), kAddress, kPath)));
    ASSERT_EQ(client.receiveAcknowledgement(5s), 4096);
    ASSERT_TRUE(client.sendAll(QByteArray(2 * 4096, 'x')));
    EXPECT_TRUE(client.peerClosed(5s));
    const auto report = peer.waitForReports(1).back();
    EXPECT_EQ(report.outcome, Outcome::CutOnPurpose);
    EXPECT_EQ(report.bytesReceived, quint64(2 * 4096));
    EXPECT_EQ(peer.tree(), before);
}

} // namespace
