#include "support/ClamdDaemon.h"

#include "core/inspection/ClamdClient.h"
#include "support/TestFiles.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QStandardPaths>

const QByteArray kEicar =
    QByteArrayLiteral(R"(X5O!P%@AP[4\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*)");

QString ClamdDaemon::start(const QString &streamLimit) {
    const QString clamd = QStandardPaths::findExecutable(
        QStringLiteral("clamd"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")});
    if (clamd.isEmpty() && QStandardPaths::findExecutable(QStringLiteral("clamd")).isEmpty()) {
        return QStringLiteral("clamd is not installed (Debian package clamav-daemon)");
    }
    TestFiles::write(m_dir.filePath(QStringLiteral("db/test.hdb")),
                     QCryptographicHash::hash(kEicar, QCryptographicHash::Md5).toHex() +
                         ":68:Brelvantis.Test.EICAR\n");
    const QString config = m_dir.filePath(QStringLiteral("clamd.conf"));
    TestFiles::write(config, QStringLiteral("LocalSocket %1\nDatabaseDirectory %2\nTemporaryDirectory %3\n"
                                            "LogFile %4\nForeground yes\nStreamMaxLength %5\n")
                                 .arg(socket(), m_dir.filePath(QStringLiteral("db")), m_dir.path(),
                                      m_dir.filePath(QStringLiteral("clamd.log")), streamLimit)
                                 .toUtf8());
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(m_dir.filePath(QStringLiteral("clamd.err")));
    m_process.start(clamd.isEmpty() ? QStringLiteral("clamd") : clamd, {QStringLiteral("-c"), config});
    if (!m_process.waitForStarted(10000)) {
        return QStringLiteral("clamd did not start: %1").arg(m_process.errorString());
    }
    // Loading takes seconds (more under the sanitizers): ask until it answers, it ends, or a minute
    // passes.
    const ClamdClient client(ClamdEndpoint::localSocket(socket()));
    QElapsedTimer waited;
    waited.start();
    while (!client.version().ok) {
        if (m_process.waitForFinished(100)) {
            return QStringLiteral("clamd ended at start: %1")
                .arg(QString::fromUtf8(TestFiles::read(m_dir.filePath(QStringLiteral("clamd.err")))));
        }
        if (waited.hasExpired(60000)) {
            return QStringLiteral("clamd did not answer within 60 s");
        }
    }
    return QString();
}

void ClamdDaemon::stop() {
    if (m_process.state() == QProcess::NotRunning) {
        return;
    }
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
}

SendScan::Scanner ClamdDaemon::scanner(const QString &socket) {
    return [client = ClamdClient(ClamdEndpoint::localSocket(socket))](const QString &path,
                                                                      const std::atomic<bool> &cancel) {
        using Outcome = ClamdClient::ScanResult::Outcome;
        const ClamdClient::ScanResult scanned = client.scan(path, &cancel);
        SendScan::Result result;
        result.outcome = scanned.outcome == Outcome::Clean      ? SendScan::Result::Outcome::Clean
                         : scanned.outcome == Outcome::Infected ? SendScan::Result::Outcome::Infected
                         : scanned.outcome == Outcome::Failed   ? SendScan::Result::Outcome::Failed
                                                                : SendScan::Result::Outcome::Unreadable;
        result.sha256 = QString::fromLatin1(scanned.sha256);
        result.bytes = scanned.bytes;
        result.signature = scanned.signature;
        result.reason = scanned.sentence();
        return result;
    };
}
