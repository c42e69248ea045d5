#pragma once

#include <QtGlobal>

// The two calls a block transfer makes on a connection. The station's blocks go over a TCP socket;
// tests put scripted channels in its place to check how partial and failing calls are counted.
class Channel {
public:
    virtual ~Channel() = default;

    // One send call: the number of bytes taken (0 to length), or -1 on a socket error or time-out.
    virtual qint64 send(const char *data, qint64 length) = 0;

    // One receive call: the number of bytes received (0 when the peer has closed the connection),
    // or -1 on a socket error or time-out.
    virtual qint64 receive(char *data, qint64 length) = 0;
};
