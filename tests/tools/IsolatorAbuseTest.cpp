// The isolator peer against senders that abuse it: trickling data to hold a slot, and several
// sending the same name at once.

#include "IsolatorRawClient.h"
#include "IsolatorTestServer.h"

#include <gtest/gtest.h>
#include <thread>

using namespace std::chrono_literals;
using Outcome = ConnectionReport::Outcome;

namespace {

const QString kAddress = QStringLiteral("192.168.1.1:4321");
const QString kPath = QStringLiteral("in");
const QString kFolder = QStringLiteral("192.168.1.1_4321/in");

// Sends a header announcing a large file, then one byte at a time with a pause between them (far
// slower than the peer's minimum rate, however the machine schedules it) until the peer hangs up.
void trickle(quint16 port, bool *cutOff) {
    IsolatorRawClient client;
    *cutOff = false;
    if (!client.connectTo(port) ||
        !client.sendAll(IsolatorRawClient::header(1 << 20, QStringLiteral("slow.bin"), kAddress, kPath)) ||
        client.receiveAcknowledgement(5s) != 4096) {
        return;
    }
    for (int i = 0; i < 500 && !*cutOff; ++i) {
        *cutOff = !client.sendAll("x") || client.peerClosed(20ms);
    }
}

TEST(IsolatorAbuse, TricklingSendersAreCutOffAndTheirSlotsFreed) {
    IsolatorOptions options = IsolatorTestServer::testOptions();
    options.maxConnections = 2;
    options.dataAllowance = 200ms;
    options.minRate = 4096;
    IsolatorTestServer peer(options);
    ASSERT_TRUE(peer.started());

    // Both slots taken by senders that keep sending, but only a byte every 20 ms: each waits far
    // less than the time-out, yet falls behind the minimum rate after its allowance.
    bool cutOff[2] = {false, false};
    std::thread first(trickle, peer.port(), &cutOff[0]);
    std::thread second(trickle, peer.port(), &cutOff[1]);
    first.join();
    second.join();
    EXPECT_TRUE(cutOff[0]);
    EXPECT_TRUE(cutOff[1]);
    const auto reports = peer.waitForReports(2);
    ASSERT_EQ(reports.size(), 2u);
    for (const ConnectionReport &report : reports) {
        EXPECT_EQ(report.outcome, Outcome::TimedOut) << report.logLine().toStdString();
        EXPECT_TRUE(report.detail.contains(QStringLiteral("slower than 4096 bytes/s")))
            << report.logLine().toStdString();
    }

    // The slots are free again: a sender keeping pace is served and its file stored.
    IsolatorRawClient honest;
    ASSERT_TRUE(
        honest.sendFile(peer.port(), QByteArray(20000, 'h'), QStringLiteral("a.bin"), kAddress, kPath));
    const auto all = peer.waitForReports(3);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all.back().outcome, Outcome::Stored) << all.back().logLine().toStdString();
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

    // ... while two more send the same name in full, one after the other.
    std::vector<ConnectionReport> reports;
    for (const char *content : {"second", "third"}) {
        IsolatorRawClient other;
        ASSERT_TRUE(other.sendFile(peer.port(), content, QStringLiteral("report.txt"), kAddress, kPath));
        reports = peer.waitForReports(reports.size() + 1);
    }
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].storedPath, kFolder + QStringLiteral("/report (2).txt"));
    EXPECT_EQ(reports[1].storedPath, kFolder + QStringLiteral("/report (3).txt"));
    EXPECT_TRUE(reports[0].detail.contains(QStringLiteral("report.txt was being received")))
        << reports[0].logLine().toStdString();

    ASSERT_TRUE(first.sendAll(firstContent.mid(4096)));
    reports = peer.waitForReports(3);
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[2].outcome, Outcome::Stored);
    EXPECT_EQ(reports[2].storedPath, kFolder + QStringLiteral("/report.txt"));
    EXPECT_EQ(peer.stored(kFolder + QStringLiteral("/report.txt")), firstContent);
    EXPECT_EQ(peer.stored(kFolder + QStringLiteral("/report (2).txt")), QByteArray("second"));
    EXPECT_EQ(peer.stored(kFolder + QStringLiteral("/report (3).txt")), QByteArray("third"));
}

} // namespace
