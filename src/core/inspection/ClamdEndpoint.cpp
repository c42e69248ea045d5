#include "core/inspection/ClamdEndpoint.h"

#include "core/config/SettingsCheck.h"

namespace {

ClamdEndpoint invalid(const QString &problem) {
    ClamdEndpoint endpoint;
    endpoint.problem = problem;
    return endpoint;
}

} // namespace

ClamdEndpoint ClamdEndpoint::localSocket(const QString &path) {
    ClamdEndpoint endpoint;
    endpoint.kind = Kind::LocalSocket;
    endpoint.socketPath = path;
    return endpoint;
}

ClamdEndpoint ClamdEndpoint::tcp(const QByteArray &address, quint16 port) {
    ClamdEndpoint endpoint;
    endpoint.kind = Kind::Tcp;
    endpoint.address = address;
    endpoint.port = port;
    return endpoint;
}

ClamdEndpoint ClamdEndpoint::fromSettings(const QString &socket, const QString &address) {
    const QString path = socket.trimmed();
    const QString hostPort = address.trimmed();
    if (!path.isEmpty() && !hostPort.isEmpty()) {
        return invalid(QStringLiteral("ClamdSocket 与 ClamdAddress 只能设置其中一个"));
    }
    if (hostPort.isEmpty()) {
        return localSocket(path.isEmpty() ? kDefaultSocket.toString() : path);
    }
    const qsizetype colon = hostPort.lastIndexOf(u':');
    const QString host = hostPort.left(colon);
    const QString port = hostPort.mid(colon + 1);
    if (colon < 0 || !SettingsCheck::isDottedIpv4(host) || !SettingsCheck::isPort(port)) {
        return invalid(QStringLiteral("ClamdAddress“%1”不是“IPv4地址:端口”的形式").arg(hostPort));
    }
    return tcp(host.toLatin1(), static_cast<quint16>(port.toInt()));
}

QString ClamdEndpoint::text() const {
    switch (kind) {
    case Kind::LocalSocket:
        return socketPath;
    case Kind::Tcp:
        return QStringLiteral("%1:%2").arg(QString::fromLatin1(address)).arg(port);
    case Kind::Invalid:
        break;
    }
    return QString();
}
