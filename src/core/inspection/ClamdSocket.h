#pragma once

#include "core/inspection/ClamdEndpoint.h"

#include <QtGlobal>
#include <chrono>

// The connection to clamd, over a Unix socket or TCP, whose every wait ends at a deadline. This header
// is all the client knows of sockets; one source file per platform implements it.
class ClamdSocket {
public:
    using Deadline = std::chrono::steady_clock::time_point;

    enum class Status {
        Done,
        TimedOut, // the deadline passed first
        Closed,   // the peer closed (or reset) the connection
        Failed    // *error holds the system's error code
    };

    ClamdSocket() = default;
    ~ClamdSocket();
    ClamdSocket(const ClamdSocket &) = delete;
    ClamdSocket &operator=(const ClamdSocket &) = delete;

    Status connect(const ClamdEndpoint &endpoint, Deadline deadline, int *error);

    // Sends all of data, or fails.
    Status sendAll(const char *data, qint64 size, Deadline deadline, int *error);

    // Waits for at least one byte and returns what has come, up to size, in *got.
    Status receive(char *data, qint64 size, qint64 *got, Deadline deadline, int *error);

    // True when the peer has said something (or closed) that has not been received yet.
    bool readable() const;

    void close();

private:
    int m_handle = -1;
};
