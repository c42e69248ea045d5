#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class Clock;
struct SettingsRecord;

// Clears a sent (or refused) file out of the upload folder: once its record is complete it moves to the
// completion folder's folder of the day, "<completion folder>YYYY-MM-DD/". A file already there under the
// same name is never replaced; the newcomer takes the first free name of "name (2).ext", "name (3).ext", ...
// A move that fails leaves the file where it is (its record stays complete) and says why.
//
// A move across file systems copies the whole file, so moves run on a thread of their own, one at a
// time in the order they were asked for; the free name is chosen right before each move. The folders
// and the day are taken when the move is asked for. moved() and moveFailed() are emitted on this
// object's thread (the window's), through its event loop, in the same order: always after whatever
// the completion that asked for the move recorded.
//
// At exit (shutDown(), or the destructor): moves not yet started are dropped, their files stay in the
// upload folder where the operator finds them; the move under way gets up to kShutDownWait to finish,
// then a copy still running is given up between two blocks, which removes its partial copy and leaves
// the source (a rename is never cut short); the thread is joined. Nothing is reported after shutDown().
class CompletionMover : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kShutDownWait{5000};

    // Moves source to target without replacing anything, on the mover's thread, giving up (and
    // leaving the source) once cancelled is set; an empty text on success, else the reason.
    using Mover = std::function<QString(const QString &source, const QString &target,
                                        const std::atomic_bool &cancelled)>;

    CompletionMover(const SettingsRecord &settings, const Clock &clock, QObject *parent = nullptr);
    ~CompletionMover() override;
    CompletionMover(const CompletionMover &) = delete;
    CompletionMover &operator=(const CompletionMover &) = delete;

    // Replaces the file move (tests block it or make it fail).
    void setMover(Mover mover);

    // Asks for fileName to be moved out of the upload folder; returns at once. Ignored after shutDown().
    void moveSentFile(const QString &fileName);
    // The same for a file the malware scanner refused: it goes to "<completion folder>隔离/YYYY-MM-DD/"
    // (kQuarantineFolder), in the same order and under the same rules; a move that fails leaves it in the
    // upload folder, where it is never sent.
    void quarantineFile(const QString &fileName);
    static inline const QString kQuarantineFolder = QStringLiteral("隔离");

    // Drops the moves not yet started, gives the one under way up to limit, then cancels it and joins
    // the thread. Later calls do nothing.
    void shutDown(std::chrono::milliseconds limit = kShutDownWait);

    // The first name of the "name (n).ext" series that is free in folder (fileName itself when free).
    static QString freeName(const QString &folder, const QString &fileName);

signals:
    void moved(const QString &fileName, const QString &target);
    // message: for the operator, with the paths and the reason.
    void moveFailed(const QString &message);

private:
    // One asked-for move, with the settings and the day of the moment it was asked for.
    struct Request {
        QString fileName;
        QString uploadFolder;
        QString completionFolder;
        QString day;
        bool quarantine = false;
    };

    void ask(Request request);
    void run();
    void perform(const Request &request, const Mover &mover);
    void fail(const Request &request, const QString &source, const QString &folder, const QString &reason);
    void post(std::function<void()> emitSignal);

    const SettingsRecord &m_settings;
    const Clock &m_clock;
    std::mutex m_lock; // guards everything below but the thread and the cancel flag
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Request> m_pending;
    Mover m_mover;
    bool m_busy = false;
    bool m_stopping = false;
    std::atomic_bool m_cancelled{false};
    std::thread m_thread; // started by the first move
};
