#pragma once

#include "core/common/FileProbe.h"

#include <QList>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// The malware scan a file passes right before it is sent, on a thread of its own, so the next file is
// scanned while the current one is sent. A verdict is kept with the identity of the file it was made for
// (device, inode, size, time) and handed out once: a file that changed since, or that is sent again,
// is scanned again. Without a scanner in the settings nothing is scanned and every file may go.
class SendScan {
public:
    // What a scanner said of a file.
    struct Result {
        enum class Outcome {
            Clean,      // nothing found in the bytes scanned
            Infected,   // signature names what was found
            Refused,    // the queue's content or archive checks refuse the file as it is now (reason)
            Failed,     // no verdict: the scanner could not be asked or did not answer (reason)
            Unreadable, // the file could not be read, or changed while read (reason)
        };
        Outcome outcome = Outcome::Failed;
        QString sha256; // Clean, Infected: lower-case hex of the bytes scanned
        qint64 bytes = 0;
        QString signature;
        QString reason; // Failed, Unreadable: the operator's sentence
    };
    // Scans path on the scan thread; a raised cancel flag ends it early (its result is dropped).
    using Scanner = std::function<Result(const QString &path, const std::atomic<bool> &cancel)>;
    // The scanner the settings name now, or an empty function when none is set. Asked on the owner's
    // thread at every request, so a change of the settings takes effect with the next file.
    using ScannerSource = std::function<Scanner()>;

    struct Verdict {
        enum class Kind {
            Off,     // no scanner is set: the file may go unscanned
            Pending, // its scan runs, or has just been asked for
            Done,    // result holds the verdict
        };
        Kind kind = Kind::Off;
        Result result;
    };

    SendScan() = default;
    // Cancels the scan under way and joins the thread.
    ~SendScan();
    SendScan(const SendScan &) = delete;
    SendScan &operator=(const SendScan &) = delete;

    void setScannerSource(ScannerSource source) { m_source = std::move(source); }
    // Called on the scan thread after every scan that was not cancelled; it must only post a message.
    void setScannedCallback(std::function<void()> callback);

    // The verdict for the file at path as it is now, handed out once; when none is kept, its scan is
    // asked for (ending a scan of another file under way) and the verdict is Pending.
    Verdict take(const QString &path);
    // Asks for the scan of the file at path ahead of its turn, unless a verdict for it as it is now is
    // kept or its scan runs already.
    void prepare(const QString &path);
    // Ends the scan under way and forgets the one asked for (the stop command); nothing is kept of it.
    void cancel();

    // The file whose scan runs or waits to run; empty when none.
    QString scanning() const;

private:
    struct Kept {
        QString path;
        FileProbe::Stamp stamp;
        Result result;
    };
    static constexpr int kKept = 4;

    // Asks for path's scan unless it runs already; under m_lock.
    void request(const QString &path, Scanner scanner);
    void run();

    ScannerSource m_source;
    mutable std::mutex m_lock; // guards everything below but the thread
    std::condition_variable m_wake;
    std::mutex m_callbackLock; // held while the callback runs, so removing it waits for the call
    std::function<void()> m_scanned;
    QString m_wanted; // asked for, not started yet
    Scanner m_wantedScanner;
    QString m_current; // being scanned
    std::atomic<bool> m_cancel{false};
    QList<Kept> m_kept;
    bool m_stopping = false;
    std::thread m_thread; // started by the first request
};
