#pragma once

#include "core/transfer/Channel.h"

// The station and the isolator exchange nothing but blocks of this size, in both directions.
inline constexpr qint64 kBlockSize = 4096;

// The sender hands the kernel up to this many data blocks (256 KiB) per call.
inline constexpr int kChunkBlocks = 64;

// A block still incomplete after this many calls is given up: a peer that trickles bytes (or has
// closed, which reads as 0-byte calls) must not hold the transfer.
inline constexpr int kMaxBlockCalls = 10;

// Outcome of one block operation.
namespace BlockResult {
inline constexpr int kComplete = 0;
inline constexpr int kCallFailed = 1;
inline constexpr int kIncomplete = 2;
inline constexpr int kOverReported = 3;
} // namespace BlockResult

// Sends the kBlockSize bytes of buffer in at most kMaxBlockCalls send calls.
int sendBlock(const char *buffer, Channel &channel);

// Sends count consecutive blocks of buffer, in at most count * kMaxBlockCalls send calls: the bytes on
// the wire are those of count sendBlock calls, handed to the kernel at once.
int sendBlocks(const char *buffer, int count, Channel &channel);

// Receives exactly kBlockSize bytes into buffer in at most kMaxBlockCalls receive calls.
int receiveBlock(char *buffer, Channel &channel);
