#include "core/transfer/BlockIo.h"

namespace {

// call(offset, length) makes one send or receive call for the rest of the length bytes.
template <typename Call> int transferBytes(qint64 length, int maxCalls, Call call) {
    qint64 remaining = length;
    for (int calls = 1;; ++calls) {
        const qint64 reported = call(length - remaining, remaining);
        if (reported < 0) {
            return BlockResult::kCallFailed;
        }
        if (reported > remaining) {
            return BlockResult::kOverReported;
        }
        if (reported == remaining) {
            return BlockResult::kComplete;
        }
        remaining -= reported;
        if (calls >= maxCalls) {
            return BlockResult::kIncomplete;
        }
    }
}

} // namespace

int sendBlock(const char *buffer, Channel &channel) {
    return sendBlocks(buffer, 1, channel);
}

int sendBlocks(const char *buffer, int count, Channel &channel) {
    return transferBytes(count * kBlockSize, count * kMaxBlockCalls,
                         [&](qint64 offset, qint64 length) { return channel.send(buffer + offset, length); });
}

int receiveBlock(char *buffer, Channel &channel) {
    return transferBytes(kBlockSize, kMaxBlockCalls, [&](qint64 offset, qint64 length) {
        return channel.receive(buffer + offset, length);
    });
}
