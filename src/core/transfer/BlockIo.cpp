#include "core/transfer/BlockIo.h"

namespace {

// call(offset, length) makes one send or receive call for the rest of the block.
template <typename Call> int transferBlock(Call call) {
    qint64 remaining = kBlockSize;
    for (int calls = 1;; ++calls) {
        const qint64 reported = call(kBlockSize - remaining, remaining);
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
        if (calls >= kMaxBlockCalls) {
            return BlockResult::kIncomplete;
        }
    }
}

} // namespace

int sendBlock(const char *buffer, Channel &channel) {
    return transferBlock([&](qint64 offset, qint64 length) { return channel.send(buffer + offset, length); });
}

int receiveBlock(char *buffer, Channel &channel) {
    return transferBlock(
        [&](qint64 offset, qint64 length) { return channel.receive(buffer + offset, length); });
}
