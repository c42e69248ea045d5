#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <cstdint>

// How a brelvantis-isolator peer listens, stores and (for tests) misbehaves.
struct IsolatorOptions {
    QByteArray listenAddress = "127.0.0.1";
    quint16 listenPort = 9400;
    // Received files land below this folder; it is created when missing.
    QString root;

    // Bounds every wait on a connection: the header, each receive of data, sending the acknowledgement.
    std::chrono::milliseconds timeout{30000};
    // The data must keep pace with minRate (bytes per second) after an allowance: byte k has to arrive
    // within dataAllowance + k / minRate of the acknowledgement, so the whole file within
    // dataAllowance + size / minRate. A sender trickling slower is cut off and its slot freed, however
    // often it sends a byte. A minRate of 0 lifts the rule (the time-out still bounds every wait).
    std::chrono::milliseconds dataAllowance{60000};
    quint64 minRate = 16384;
    // Connections served at once. When every slot is taken, as many more wait in line, first come first
    // served, and for each of them the slowest connection (fewest bytes per second since it was let in)
    // that has been served for at least evictionGrace is closed to make room. A newcomer beyond the line
    // is closed at once ("busy").
    //
    // Why this way: senders that hold slots while sending little (a header a byte at a time, or a huge
    // file just above the minimum rate) and reconnect as soon as they are cut off would otherwise win
    // every freed slot, and a sender arriving at a full peer used to be turned away at once. Deadlines
    // and rates alone cannot tell them apart from an honest slow link (any threshold can be met from just
    // above it), and a share per address does not help when they come from the sender's own address.
    // Letting the newcomer wait and making the slowest give way serves an honest sender within about
    // one grace period however the others behave; an honest transfer is only cut when it is the slowest
    // of a full peer, and its sender tries again.
    int maxConnections = 16;
    std::chrono::milliseconds evictionGrace{2000};
    // Announced sizes above this are refused before the acknowledgement; 0 means no limit of our own
    // (the free space of the root's disk still bounds it).
    quint64 maxSize = 0;
    // Read every byte but store nothing (measures the network side alone).
    bool discard = false;

    // Misbehaviour on purpose, so the station's failure paths can be exercised for real.
    bool closeBeforeAck = false;
    // The acknowledgement goes out in this many pieces, with a pause between them.
    int ackPieces = 1;
    std::chrono::milliseconds ackPiecePause{20};
    // Reads the header, then sends nothing until the sender gives up (or the time-out passes).
    bool neverAnswer = false;
    // Closes the connection after this many data blocks; negative means never.
    qint64 cutAfterBlocks = -1;
};
