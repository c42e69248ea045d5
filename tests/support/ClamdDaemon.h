#pragma once

#include "core/upload/SendScan.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// The EICAR test file: every scanner's harmless stand-in for malware.
extern const QByteArray kEicar;

// Debian's clamd, started with a configuration and a signature database of its own in a temporary
// folder: a Unix socket there, no TCP, one signature (the EICAR test file's MD5, found as
// "Brelvantis.Test.EICAR.UNOFFICIAL"). The machine's own clamd and its databases are never touched.
class ClamdDaemon {
public:
    // Empty when the daemon answers; otherwise why it does not. streamLimit: its StreamMaxLength.
    QString start(const QString &streamLimit = QStringLiteral("4M"));
    void stop();
    ~ClamdDaemon() { stop(); }

    QString socket() const { return m_dir.filePath(QStringLiteral("clamd.sock")); }
    QString folder() const { return m_dir.path(); }

    // The station's send scan through this daemon (or through clamd at socket).
    static SendScan::Scanner scanner(const QString &socket);
    SendScan::Scanner scanner() const { return scanner(socket()); }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};
