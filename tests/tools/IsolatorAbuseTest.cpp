// The isolator peer against senders that abuse it: holding slots while sending little, trickling
// data, several sending the same name at once, and links planted below its root.

#include "IsolatorRawClient.h"
#include "IsolatorTestServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <gtest/gtest.h>
#include <thread>

using namespace std::chrono_literals;
using Outcome = ConnectionReport::Outcome;

namespace {

const QString kAddress = QStringLiteral("192.168.1.1:4321");
const QString kPath = QStringLiteral("in");
const QString kFolder = QStringLiteral("192.168.1.1_4321/in");

enum class Attack { TrickleHeader, HoldRate };

// One abusive client that connects again as soon as the peer lets go of it, until stop.
void attack(quint16 port, Attack kind, const std::atomic<bool> &stop) {
    while (!stop.load()) {
        IsolatorRawClient client;
        if (!client.connectTo(port)) {
            continue;
        }
        if (kind == Attack::TrickleHeader) {
            // A header byte a second.
            while (!stop.load() && client.sendAll(QByteArray(1, 'n')) && !client.peerClosed(1s)) {
            }
        } else if (client.sendAll(
                       IsolatorRawClient::header(64 << 20, QStringLiteral("hold.bin"), kAddress, kPath)) &&
                   client.receiveAcknowledgement(30s) == 4096) {
            // 2 KB every 100 ms: 20 KB/s, above the minimum rate, for an hour.
            while (!stop.load() && client.sendAll(QByteArray(2048, 'h')) && !client.peerClosed(100ms)) {
            }
        }
    }
}

TEST(IsolatorAbuse, AnHonestSenderGetsThroughSixteenSlotHolders) {
    for (const Attack kind : {Attack::TrickleHeader, Attack::HoldRate}) {
        const char *what = kind == Attack::TrickleHeader ? "trickled headers" : "held rates";
        IsolatorOptions options = IsolatorTestServer::testOptions();
        options.evictionGrace = 500ms;
        IsolatorTestServer peer(options);
        ASSERT_TRUE(peer.started());
        std::atomic<bool> stop{false};
        std::vector<std::thread> attackers;
        for (int i = 0; i < options.maxConnections; ++i) {
            attackers.emplace_back(attack, peer.port(), kind, std::cref(stop));
        }
        QElapsedTimer clock;
        clock.start();
        while (peer.server().activeCount() < options.maxConnections && clock.elapsed() < 20000) {
            std::this_thread::sleep_for(10ms);
        }
        EXPECT_EQ(peer.server().activeCount(), options.maxConnections) << what;

        clock.restart();
        const QString name = QStringLiteral("honest-%1.bin").arg(int(kind));
        IsolatorRawClient honest;
        EXPECT_TRUE(honest.sendFile(peer.port(), QByteArray(20000, 'h'), name, kAddress, kPath)) << what;
        const auto stored = peer.waitForReport([&](const ConnectionReport &r) { return r.name == name; });
        const qint64 took = clock.elapsed();
        ASSERT_TRUE(stored) << what;
        EXPECT_EQ(stored->outcome, Outcome::Stored) << what << ": " << stored->logLine().toStdString();
        EXPECT_LT(took, 10000) << what;
        RecordProperty(kind == Attack::TrickleHeader ? "trickledHeadersMs" : "heldRatesMs", int(took));
        EXPECT_TRUE(peer.waitForReport([](const ConnectionReport &r) {
            return r.outcome == Outcome::Evicted;
        })) << what
            << ": room was made by closing the slowest";

        stop = true;
        peer.server().stop();
        for (std::thread &attacker : attackers) {
            attacker.join();
        }
    }
}

TEST(IsolatorAbuse, ATricklingSenderIsCutOffAndItsSlotFreed) {
    IsolatorOptions options = IsolatorTestServer::testOptions();
    options.maxConnections = 1;
    options.dataAllowance = 200ms;
    options.minRate = 4096;
    IsolatorTestServer peer(options);
    ASSERT_TRUE(peer.started());

    // The only slot taken by a sender that keeps sending, but a byte every 20 ms: it waits far less
    // than the time-out each time, yet falls behind the minimum rate after its allowance.
    IsolatorRawClient slow;
    ASSERT_TRUE(slow.connectTo(peer.port()));
    ASSERT_TRUE(
        slow.sendAll(IsolatorRawClient::header(1 << 20, QStringLiteral("slow.bin"), kAddress, kPath)));
    ASSERT_EQ(slow.receiveAcknowledgement(5s), 4096);
    bool cutOff = false;
    for (int i = 0; i < 500 && !cutOff; ++i) {
        cutOff = !slow.sendAll("x") || slow.peerClosed(20ms);
    }
    EXPECT_TRUE(cutOff);
    const ConnectionReport report = peer.waitForReports(1).back();
    EXPECT_EQ(report.outcome, Outcome::TimedOut);
    EXPECT_TRUE(report.detail.contains(QStringLiteral("slower than 4096 bytes/s")))
        << report.logLine().toStdString();

    // The slot is free again: a sender keeping pace is served and its file stored.
    IsolatorRawClient honest;
    ASSERT_TRUE(
        honest.sendFile(peer.port(), QByteArray(20000, 'h'), QStringLiteral("a.bin"), kAddress, kPath));
    EXPECT_EQ(peer.waitForReports(2).back().outcome, Outcome::Stored);
    EXPECT_FALSE(peer.tree().join(u' ').contains(QStringLiteral("slow.bin")));
}

TEST(IsolatorAbuse, ASameNamedFileArrivingMeanwhileIsStoredUnderANameOfItsOwn) {
    IsolatorTestServer peer;
    ASSERT_TRUE(peer.started());
    const QByteArray firstContent(2 * 4096, 'A');

    // The first sender is acknowledged and stops half way ...
    IsolatorRawClient first;
    ASSERT_TRUE(first.connectTo(peer.port()));
    ASSERT_TRUE(first.sendAll(
        IsolatorRawClient::header(firstContent.size(), QStringLiteral("report.txt"), kAddress, kPath)));
    ASSERT_EQ(first.receiveAcknowledgement(5s), 4096);
    ASSERT_TRUE(first.sendAll(firstContent.left(4096)));

    // ... while another sends the same name in full.
    IsolatorRawClient second;
    ASSERT_TRUE(second.sendFile(peer.port(), "second", QStringLiteral("report.txt"), kAddress, kPath));
    auto reports = peer.waitForReports(1);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].storedPath, kFolder + QStringLiteral("/report (2).txt"));
    EXPECT_EQ(reports[0].detail, QStringLiteral("stored as report (2).txt: the name report.txt was taken"));

    ASSERT_TRUE(first.sendAll(firstContent.mid(4096)));
    reports = peer.waitForReports(2);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1].storedPath, kFolder + QStringLiteral("/report.txt"));
    EXPECT_EQ(peer.stored(kFolder + QStringLiteral("/report.txt")), firstContent);
    EXPECT_EQ(peer.stored(kFolder + QStringLiteral("/report (2).txt")), QByteArray("second"));
}

TEST(IsolatorAbuse, NothingIsWrittenThroughALinkPlantedBelowTheRoot) {
    IsolatorTestServer peer;
    ASSERT_TRUE(peer.started());
    QTemporaryDir outside;
    const QString victim = outside.filePath(QStringLiteral("victim.txt"));
    QFile file(victim);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("precious") == 8);
    file.close();
    ASSERT_TRUE(QDir().mkpath(peer.root() + u'/' + kFolder));
    ASSERT_TRUE(QFile::link(victim, peer.root() + u'/' + kFolder + QStringLiteral("/planted.txt")));
    ASSERT_TRUE(QFile::link(outside.path(), peer.root() + QStringLiteral("/192.168.1.1_4321/linked")));

    // A file sent under the link's name gets a name of its own; what the link points at stays.
    IsolatorRawClient client;
    ASSERT_TRUE(client.sendFile(peer.port(), "new", QStringLiteral("planted.txt"), kAddress, kPath));
    EXPECT_EQ(peer.waitForReports(1).back().storedPath, kFolder + QStringLiteral("/planted (2).txt"));
    EXPECT_EQ(peer.stored(kFolder + QStringLiteral("/planted (2).txt")), QByteArray("new"));

    // A folder on the way that is a link refuses the file before the acknowledgement.
    IsolatorRawClient through;
    ASSERT_TRUE(through.connectTo(peer.port()));
    ASSERT_TRUE(through.sendAll(
        IsolatorRawClient::header(3, QStringLiteral("x"), kAddress, QStringLiteral("linked"))));
    EXPECT_EQ(through.receiveAcknowledgement(5s), 0);
    const ConnectionReport refused = peer.waitForReports(2).back();
    EXPECT_EQ(refused.outcome, Outcome::Failed);
    EXPECT_EQ(refused.detail,
              QStringLiteral("the folder %1/192.168.1.1_4321/linked is a link; nothing is stored "
                             "through one")
                  .arg(peer.root()));

    QFile check(victim);
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_EQ(check.readAll(), QByteArray("precious"));
    EXPECT_EQ(QDir(outside.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
              QStringList{QStringLiteral("victim.txt")});
}

} // namespace
