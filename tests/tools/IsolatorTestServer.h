#pragma once

#include "IsolatorServer.h"

#include <QStringList>
#include <QTemporaryDir>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// An isolator peer running in the test's own process on an ephemeral loopback port, storing into
// <temporary folder>/root, with the reports of its connections at hand.
class IsolatorTestServer {
public:
    // Options for tests: loopback, port 0, root in a fresh temporary folder, a short time-out.
    static IsolatorOptions testOptions();

    explicit IsolatorTestServer(IsolatorOptions options = testOptions());

    bool started() const { return m_started; }
    quint16 port() const { return m_server->port(); }
    QString root() const { return m_dir.filePath(QStringLiteral("root")); }
    IsolatorServer &server() { return *m_server; }

    // Waits until count reports have come in (all so far, in order of arrival) or limit passes.
    std::vector<ConnectionReport> waitForReports(size_t count,
                                                 std::chrono::milliseconds limit = std::chrono::seconds(20));

    // Waits for the first report that matches (null when none came within limit).
    std::optional<ConnectionReport>
    waitForReport(const std::function<bool(const ConnectionReport &)> &matches,
                  std::chrono::milliseconds limit = std::chrono::seconds(20));

    // Every file and folder below the temporary folder (the root and its surroundings), relative and
    // sorted, hidden ones included.
    QStringList tree() const;

    // Content of a file below the root; empty with *exists false when it is not there.
    QByteArray stored(const QString &relative, bool *exists = nullptr) const;

private:
    QTemporaryDir m_dir;
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::vector<ConnectionReport> m_reports;
    std::unique_ptr<IsolatorServer> m_server;
    bool m_started = false;
};
