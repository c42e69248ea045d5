#include "core/upload/SendScan.h"

#include <system_error>

namespace {

// The identity a verdict is kept with; an empty stamp for anything but a regular file.
FileProbe::Stamp identityOf(const QString &path) {
    const FileProbe::Look look = FileProbe::look(path);
    return look.kind == FileProbe::Kind::Regular ? look.stamp : FileProbe::Stamp{};
}

} // namespace

SendScan::~SendScan() {
    {
        const std::lock_guard lock(m_lock);
        m_stopping = true;
        m_wanted.clear();
        m_cancel.store(true);
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void SendScan::setScannedCallback(std::function<void()> callback) {
    const std::lock_guard lock(m_callbackLock);
    m_scanned = std::move(callback);
}

SendScan::Verdict SendScan::take(const QString &path) {
    Scanner scanner = m_source ? m_source() : Scanner();
    if (!scanner) {
        return {};
    }
    const FileProbe::Stamp now = identityOf(path);
    {
        const std::lock_guard lock(m_lock);
        for (qsizetype i = 0; i < m_kept.size(); ++i) {
            if (m_kept.at(i).path != path) {
                continue;
            }
            const Kept kept = m_kept.takeAt(i);
            if (kept.stamp == now) {
                return {Verdict::Kind::Done, kept.result};
            }
            break; // made for the file as it was: scanned again
        }
        request(path, std::move(scanner));
    }
    m_wake.notify_one();
    return {Verdict::Kind::Pending, {}};
}

void SendScan::prepare(const QString &path) {
    Scanner scanner = m_source ? m_source() : Scanner();
    if (!scanner) {
        return;
    }
    const FileProbe::Stamp now = identityOf(path);
    {
        const std::lock_guard lock(m_lock);
        for (const Kept &kept : std::as_const(m_kept)) {
            if (kept.path == path && kept.stamp == now) {
                return;
            }
        }
        request(path, std::move(scanner));
    }
    m_wake.notify_one();
}

void SendScan::request(const QString &path, Scanner scanner) {
    if (m_current == path && !m_cancel.load()) {
        return;
    }
    m_wanted = path;
    m_wantedScanner = std::move(scanner);
    // Only one file is waited for at a time: a scan of another one gives way.
    if (!m_current.isEmpty()) {
        m_cancel.store(true);
    }
    if (!m_thread.joinable() && !m_stopping) {
        try {
            m_thread = std::thread([this] { run(); });
        } catch (const std::system_error &) {
            // No thread, no verdict: the file waits, and the next request tries again.
            m_wanted.clear();
        }
    }
}

void SendScan::cancel() {
    const std::lock_guard lock(m_lock);
    m_wanted.clear();
    m_wantedScanner = {};
    if (!m_current.isEmpty()) {
        m_cancel.store(true);
    }
}

QString SendScan::scanning() const {
    const std::lock_guard lock(m_lock);
    return m_current.isEmpty() || m_cancel.load() ? m_wanted : m_current;
}

void SendScan::run() {
    for (;;) {
        QString path;
        Scanner scanner;
        {
            std::unique_lock lock(m_lock);
            m_wake.wait(lock, [this] { return m_stopping || !m_wanted.isEmpty(); });
            if (m_stopping) {
                return;
            }
            path = std::exchange(m_wanted, QString());
            scanner = std::exchange(m_wantedScanner, Scanner());
            m_current = path;
            m_cancel.store(false);
        }
        // The verdict holds for the file as it was before the scan; one changed meanwhile is scanned again
        // when its verdict is asked for.
        const FileProbe::Stamp before = identityOf(path);
        const Result result = scanner(path, m_cancel);
        {
            const std::lock_guard lock(m_lock);
            m_current.clear();
            if (m_cancel.load()) {
                continue;
            }
            for (qsizetype i = 0; i < m_kept.size(); ++i) {
                if (m_kept.at(i).path == path) {
                    m_kept.removeAt(i);
                    break;
                }
            }
            m_kept.append({path, before, result});
            while (m_kept.size() > kKept) {
                m_kept.removeFirst();
            }
        }
        const std::lock_guard lock(m_callbackLock);
        if (m_scanned) {
            m_scanned();
        }
    }
}
