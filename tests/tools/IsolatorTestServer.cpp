#include "IsolatorTestServer.h"

#include <QDirIterator>
#include <QFile>

IsolatorOptions IsolatorTestServer::testOptions() {
    IsolatorOptions options;
    options.listenAddress = "127.0.0.1";
    options.listenPort = 0;
    options.timeout = std::chrono::seconds(5);
    return options;
}

IsolatorTestServer::IsolatorTestServer(IsolatorOptions options) {
    options.root = root();
    m_server = std::make_unique<IsolatorServer>(options, [this](const ConnectionReport &report) {
        std::lock_guard lock(m_mutex);
        m_reports.push_back(report);
        m_arrived.notify_all();
    });
    QString error;
    m_started = m_dir.isValid() && m_server->start(&error);
}

std::vector<ConnectionReport> IsolatorTestServer::waitForReports(size_t count,
                                                                 std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    m_arrived.wait_for(lock, limit, [&] { return m_reports.size() >= count; });
    return m_reports;
}

std::optional<ConnectionReport>
IsolatorTestServer::waitForReport(const std::function<bool(const ConnectionReport &)> &matches,
                                  std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    std::optional<ConnectionReport> found;
    m_arrived.wait_for(lock, limit, [&] {
        for (const ConnectionReport &report : m_reports) {
            if (matches(report)) {
                found = report;
                return true;
            }
        }
        return false;
    });
    return found;
}

QStringList IsolatorTestServer::tree() const {
    QStringList entries;
    QDirIterator it(m_dir.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        entries.append(QDir(m_dir.path()).relativeFilePath(it.next()));
    }
    entries.sort();
    return entries;
}

QByteArray IsolatorTestServer::stored(const QString &relative, bool *exists) const {
    QFile file(root() + u'/' + relative);
    const bool there = file.open(QIODevice::ReadOnly);
    if (exists) {
        *exists = there;
    }
    return there ? file.readAll() : QByteArray();
}
