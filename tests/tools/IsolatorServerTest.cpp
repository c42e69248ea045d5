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

// Files of every size: IsolatorWorkerTest, sent by the station's own worker.

TEST(IsolatorServer, NeverReplacesAStoredFile) {
    IsolatorTestServer peer;
    ASSERT_TRUE(peer.started());
    IsolatorRawClient first;
    ASSERT_TRUE(first.sendFile(peer.port(), "old content", QStringLiteral("same.txt"), kAddress, kPath));
    ASSERT_EQ(peer.waitForReports(1).size(), 1u);

    // A second copy cut half way leaves no trace ...
    IsolatorRawClient cut;
    const QByteArray longer = randomBytes(3 * 4096, 7);
    ASSERT_TRUE(cut.connectTo(peer.port()));
    ASSERT_TRUE(
        cut.sendAll(IsolatorRawClient::header(longer.size(), QStringLiteral("same.txt"), kAddress, kPath)));
    ASSERT_EQ(cut.receiveAcknowledgement(5s), 4096);
    ASSERT_TRUE(cut.sendAll(longer.left(4096 + 100)));
    cut.socket().close();
    ASSERT_EQ(peer.waitForReports(2).back().outcome, Outcome::Cut);

    // ... whole ones are stored beside the first, numbered as the station numbers its copies.
    std::vector<ConnectionReport> reports;
    size_t count = 2;
    for (const char *name : {"same.txt", ".profile", ".profile"}) {
        IsolatorRawClient whole;
        ASSERT_TRUE(whole.sendFile(peer.port(), longer, QString::fromLatin1(name), kAddress, kPath));
        reports = peer.waitForReports(++count);
        ASSERT_EQ(reports.size(), count);
    }
    EXPECT_EQ(reports[2].storedPath, kFolder + QStringLiteral("/same (2).txt"));
    EXPECT_EQ(reports[4].storedPath, kFolder + QStringLiteral("/.profile (2)"));
    EXPECT_EQ(peer.stored(kFolder + QStringLiteral("/same.txt")), QByteArray("old content"));
    EXPECT_TRUE(peer.stored(kFolder + QStringLiteral("/same (2).txt")) == longer);
    EXPECT_EQ(QDir(peer.root() + u'/' + kFolder).entryList(QDir::Files | QDir::Hidden).size(), 4);
}

// --- Several senders --------------------------------------------------------------------------------------

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

TEST(IsolatorServer, ConnectionsOverTheCapWaitInLineAndBeyondItAreClosedAtOnce) {
    IsolatorOptions options = IsolatorTestServer::testOptions();
    options.maxConnections = 1;
    options.evictionGrace = 1h; // nobody is made to give way here
    IsolatorTestServer peer(options);
    ASSERT_TRUE(peer.started());
    IsolatorRawClient holding;
    ASSERT_TRUE(holding.connectTo(peer.port()));
    IsolatorRawClient waiting;
    ASSERT_TRUE(waiting.connectTo(peer.port()));
    ASSERT_TRUE(waiting.sendAll(IsolatorRawClient::header(1, QStringLiteral("later"), kAddress, kPath)));
    IsolatorRawClient extra;
    ASSERT_TRUE(extra.connectTo(peer.port()));
    EXPECT_TRUE(extra.peerClosed(3s));
    auto reports = peer.waitForReports(1);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].outcome, Outcome::Busy);

    // Once the first is done, the one in line is served.
    holding.socket().close();
    ASSERT_EQ(waiting.receiveAcknowledgement(5s), 4096);
    ASSERT_TRUE(waiting.sendAll(IsolatorRawClient::padded("x")));
    EXPECT_TRUE(peer.waitForReport([](const ConnectionReport &r) { return r.outcome == Outcome::Stored; }));
}

// --- Cut and stalled connections ---------------------------------------------------------------------------

TEST(IsolatorServer, AConnectionCutMidDataLeavesNothing) {
    IsolatorTestServer peer;
    ASSERT_TRUE(peer.started());
    const QStringList before = peer.tree();
    const QByteArray content = randomBytes(4 * 4096 + 10, 3);
    // Cut between blocks, inside a block, right after the acknowledgement, and after every byte of the
    // file but with the last block not padded (which is not the whole of it either).
    const qsizetype cuts[] = {2 * 4096, 3 * 4096 + 17, 0, content.size()};
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

TEST(IsolatorServer, EveryWaitIsBounded) {
    IsolatorOptions options = IsolatorTestServer::testOptions();
    options.timeout = 300ms;
    IsolatorTestServer peer(options);
    ASSERT_TRUE(peer.started());
    const QStringList before = peer.tree();

    IsolatorRawClient halfHeader;
    ASSERT_TRUE(halfHeader.connectTo(peer.port()));
    ASSERT_TRUE(halfHeader.sendAll(QByteArray(1000, '\0')));
    EXPECT_TRUE(halfHeader.peerClosed(5s));
    EXPECT_EQ(peer.waitForReports(1).back().outcome, Outcome::TimedOut);

    IsolatorRawClient stalled;
    ASSERT_TRUE(stalled.connectTo(peer.port()));
    ASSERT_TRUE(
        stalled.sendAll(IsolatorRawClient::header(3 * 4096, QStringLiteral("stalled"), kAddress, kPath)));
    ASSERT_EQ(stalled.receiveAcknowledgement(5s), 4096);
    ASSERT_TRUE(stalled.sendAll(QByteArray(4096, 'x')));
    EXPECT_TRUE(stalled.peerClosed(5s));
    EXPECT_EQ(peer.waitForReports(2).back().outcome, Outcome::TimedOut);
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
    QByteArray block;
};

TEST(IsolatorServer, RefusesUnsoundHeadersWithoutAcknowledgingOrWritingAnything) {
    IsolatorOptions options = IsolatorTestServer::testOptions();
    const quint64 limit = quint64(1) << 61; // above any free space
    options.maxSize = limit;
    IsolatorTestServer peer(options);
    ASSERT_TRUE(peer.started());
    const QStringList before = peer.tree();
    const QByteArray gbkPath = *Cp936::encode(kPath);
    auto raw = [&](const QByteArray &name, const QByteArray &address, const QByteArray &path) {
        return IsolatorRawClient::rawHeader(3, name, address, path);
    };
    // The name and path rules in all their variety are StoragePath's and IsolatorHeader's own tests;
    // here one of each kind travels the whole way.
    const UnsafeHeader cases[] = {
        {"name with a slash", raw("a/b", "1.2.3.4:5", gbkPath)},
        {"absolute name", raw("/tmp/escaped", "1.2.3.4:5", gbkPath)},
        {"name with a line break", raw("a\nz", "1.2.3.4:5", gbkPath)},
        {"path climbing out after a drive", raw("n", "1.2.3.4:5", "d:\\a\\..\\..\\..\\escaped")},
        {"dot-dot address", raw("n", "..", gbkPath)},
        {"name not CP936", raw("\x81\x20.txt", "1.2.3.4:5", gbkPath)},
        {"impossible size", IsolatorRawClient::header(~quint64(0), QStringLiteral("n"), kAddress, kPath)},
        {"over the size limit", IsolatorRawClient::header(limit + 1, QStringLiteral("n"), kAddress, kPath)},
        {"more than the free space",
         IsolatorRawClient::header(limit / 2, QStringLiteral("n"), kAddress, kPath)},
    };
    size_t count = 0;
    for (const UnsafeHeader &unsafe : cases) {
        IsolatorRawClient client;
        ASSERT_TRUE(client.connectTo(peer.port()));
        ASSERT_TRUE(client.sendAll(unsafe.block));
        EXPECT_EQ(client.receiveAcknowledgement(5s), 0) << unsafe.what << ": no acknowledgement";
        const auto reports = peer.waitForReports(++count);
        ASSERT_EQ(reports.size(), count);
        EXPECT_EQ(reports.back().outcome, Outcome::Refused) << unsafe.what;
        EXPECT_FALSE(reports.back().logLine().contains(u'\n')) << unsafe.what << ": one line per connection";
        EXPECT_EQ(peer.tree(), before) << unsafe.what;
    }
    EXPECT_TRUE(peer.waitForReports(count).back().detail.contains(QStringLiteral("free")));
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/tmp/escaped")));
}

// --- Misbehaviour on purpose ------------------------------------------------------------------------------

// Closing before the acknowledgement, an acknowledgement in pieces and a cut after some blocks are
// exercised against the station's own sender (IsolatorWorkerTest, IsolatorExecutableTest).
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

} // namespace
