#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Where clamd listens: a Unix socket or a numeric IPv4 address and port (the station never resolves
// names). An endpoint the settings could not make sense of keeps the reason, so every scan through it
// fails with that reason instead of being skipped.
struct ClamdEndpoint {
    enum class Kind { Invalid, LocalSocket, Tcp };

    // Debian's clamd listens here unless told otherwise.
    static constexpr QStringView kDefaultSocket = u"/var/run/clamav/clamd.ctl";

    Kind kind = Kind::Invalid;
    QString socketPath; // LocalSocket
    QByteArray address; // Tcp: dotted IPv4
    quint16 port = 0;   // Tcp
    QString problem;    // Invalid: why, in the operator's words

    static ClamdEndpoint localSocket(const QString &path);
    static ClamdEndpoint tcp(const QByteArray &address, quint16 port);

    // From the two settings, of which at most one may be set; neither means Debian's socket.
    // "IPv4:port" for the address, blanks around either value dropped.
    static ClamdEndpoint fromSettings(const QString &socket, const QString &address);

    bool valid() const { return kind != Kind::Invalid; }

    // The endpoint as the operator reads it in a reason: the socket's path, or "address:port".
    QString text() const;

    bool operator==(const ClamdEndpoint &) const = default;
};
