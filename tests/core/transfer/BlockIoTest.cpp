#include "core/transfer/BlockIo.h"

#include <QByteArray>
#include <gtest/gtest.h>
#include <vector>

namespace {

// A channel whose every call reports the next scripted count; it moves real bytes, so the tests
// also see where each call starts in the block.
class ScriptedChannel : public Channel {
public:
    explicit ScriptedChannel(std::vector<qint64> results) : m_results(std::move(results)) {}

    qint64 send(const char *data, qint64 length) override {
        const qint64 n = next(length);
        if (n > 0) {
            m_sent.append(data, qMin(n, length));
        }
        return n;
    }

    qint64 receive(char *data, qint64 length) override {
        const qint64 n = next(length);
        for (qint64 i = 0; i < qMin(n, length); ++i) {
            data[i] = char(m_fill++);
        }
        return n;
    }

    int calls() const { return m_calls; }
    const QByteArray &sent() const { return m_sent; }
    const std::vector<qint64> &asked() const { return m_asked; }

private:
    qint64 next(qint64 length) {
        m_asked.push_back(length);
        return m_results.at(size_t(m_calls++));
    }

    std::vector<qint64> m_results;
    std::vector<qint64> m_asked;
    QByteArray m_sent;
    unsigned char m_fill = 0;
    int m_calls = 0;
};

QByteArray pattern() {
    QByteArray block(kBlockSize, '\0');
    for (int i = 0; i < block.size(); ++i) {
        block[i] = char(i * 7 + i / 256);
    }
    return block;
}

TEST(BlockIo, PartialCallsAreSummedAndContinueWhereTheyStopped) {
    const QByteArray block = pattern();
    ScriptedChannel channel({1000, 96, 3000});
    EXPECT_EQ(sendBlock(block.constData(), channel), BlockResult::kComplete);
    EXPECT_EQ(channel.asked(), (std::vector<qint64>{4096, 3096, 3000}));
    EXPECT_EQ(channel.sent(), block);

    QByteArray received(kBlockSize, 'x');
    ScriptedChannel reader({4095, 1});
    EXPECT_EQ(receiveBlock(received.data(), reader), BlockResult::kComplete);
    EXPECT_EQ(received.at(4094), char(4094 % 256));
    EXPECT_EQ(received.at(4095), char(4095 % 256));
}

TEST(BlockIo, ZeroByteCallsCountTowardsTheTenCallLimit) {
    char block[kBlockSize] = {};
    // Nine empty calls then the whole block: the tenth call still completes it.
    ScriptedChannel ninthEmpty({0, 0, 0, 0, 0, 0, 0, 0, 0, 4096});
    EXPECT_EQ(receiveBlock(block, ninthEmpty), BlockResult::kComplete);

    // A closed peer: ten empty receives give up instead of spinning.
    ScriptedChannel closed(std::vector<qint64>(10, 0));
    EXPECT_EQ(receiveBlock(block, closed), BlockResult::kIncomplete);
    EXPECT_EQ(closed.calls(), 10);
}

TEST(BlockIo, TenPartialCallsWithoutTheWholeBlockAreIncomplete) {
    char block[kBlockSize] = {};
    ScriptedChannel trickle(std::vector<qint64>(11, 400)); // 10 × 400 < 4096
    EXPECT_EQ(sendBlock(block, trickle), BlockResult::kIncomplete);
    EXPECT_EQ(trickle.calls(), 10);

    ScriptedChannel justInTime({400, 400, 400, 400, 400, 400, 400, 400, 400, 496});
    EXPECT_EQ(sendBlock(block, justInTime), BlockResult::kComplete);
}

TEST(BlockIo, AFailedCallEndsTheBlockAtOnce) {
    char block[kBlockSize] = {};
    ScriptedChannel failsFirst({-1, 4096});
    EXPECT_EQ(receiveBlock(block, failsFirst), BlockResult::kCallFailed);
    EXPECT_EQ(failsFirst.calls(), 1);

    ScriptedChannel failsLater({2048, 0, -1});
    EXPECT_EQ(sendBlock(block, failsLater), BlockResult::kCallFailed);
    EXPECT_EQ(failsLater.calls(), 3);
}

TEST(BlockIo, ACallReportingMoreThanAskedIsRefused) {
    char block[kBlockSize] = {};
    ScriptedChannel overWhole({4097});
    EXPECT_EQ(sendBlock(block, overWhole), BlockResult::kOverReported);

    // Over the remainder, though under the block size.
    ScriptedChannel overRest({4000, 97});
    EXPECT_EQ(receiveBlock(block, overRest), BlockResult::kOverReported);
    EXPECT_EQ(overRest.calls(), 2);
}

} // namespace
