#include "core/upload/CompletionMover.h"

#include "core/common/Clock.h"
#include "core/common/FileMove.h"
#include "core/common/Paths.h"
#include "core/common/SystemErrors.h"
#include "core/config/SettingsRecord.h"

#include <QFileInfo>
#include <system_error>

CompletionMover::CompletionMover(const SettingsRecord &settings, const Clock &clock, QObject *parent)
    : QObject(parent), m_settings(settings), m_clock(clock),
      m_mover([](const QString &source, const QString &target, const std::atomic_bool &cancelled) {
          return FileMove::move(source, target, false, &cancelled);
      }) {}

CompletionMover::~CompletionMover() {
    shutDown();
}

void CompletionMover::setMover(Mover mover) {
    const std::lock_guard<std::mutex> lock(m_lock);
    m_mover = std::move(mover);
}

QString CompletionMover::freeName(const QString &folder, const QString &fileName) {
    // The number goes before the extension; a name whose only dot leads it has no extension.
    const qsizetype dot = fileName.lastIndexOf(u'.');
    const QString stem = dot > 0 ? fileName.left(dot) : fileName;
    const QString extension = dot > 0 ? fileName.mid(dot) : QString();
    QString name = fileName;
    for (int n = 2;
         QFileInfo::exists(Paths::join(folder, name)) || QFileInfo(Paths::join(folder, name)).isSymLink();
         ++n) {
        name = QStringLiteral("%1 (%2)%3").arg(stem).arg(n).arg(extension);
    }
    return name;
}

void CompletionMover::moveSentFile(const QString &fileName) {
    ask({fileName, m_settings.uploadFolder, m_settings.completionFolder, m_clock.dateText()});
}

void CompletionMover::quarantineFile(const QString &fileName) {
    ask({fileName, m_settings.uploadFolder, m_settings.completionFolder, m_clock.dateText(), true});
}

void CompletionMover::ask(Request request) {
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        if (m_stopping) {
            return;
        }
        if (!m_thread.joinable()) {
            try {
                m_thread = std::thread([this] { run(); });
            } catch (const std::system_error &error) {
                fail(request, Paths::join(request.uploadFolder, request.fileName),
                     Paths::join(request.completionFolder, request.day),
                     systemErrorText(error.code().value()));
                return;
            }
        }
        m_pending.push_back(std::move(request));
    }
    m_wake.notify_one();
}

void CompletionMover::shutDown(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(m_lock);
    m_stopping = true;
    m_pending.clear();
    m_wake.notify_one();
    if (!m_idle.wait_for(lock, limit, [this] { return !m_busy; })) {
        m_cancelled.store(true);
    }
    lock.unlock();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void CompletionMover::run() {
    for (;;) {
        Request request;
        Mover mover;
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_wake.wait(lock, [this] { return m_stopping || !m_pending.empty(); });
            if (m_stopping) {
                return;
            }
            request = std::move(m_pending.front());
            m_pending.pop_front();
            mover = m_mover;
            m_busy = true;
        }
        perform(request, mover);
        {
            const std::lock_guard<std::mutex> lock(m_lock);
            m_busy = false;
        }
        m_idle.notify_all();
    }
}

// On the mover's thread.
void CompletionMover::perform(const Request &request, const Mover &mover) {
    const QString source = Paths::join(request.uploadFolder, request.fileName);
    if (request.completionFolder.isEmpty()) {
        fail(request, source, QString(), QStringLiteral("回收目录未设置"));
        return;
    }
    const QString folder =
        request.quarantine
            ? Paths::join(Paths::join(request.completionFolder, kQuarantineFolder), request.day)
            : Paths::join(request.completionFolder, request.day);
    if (!QFileInfo(source).isFile()) {
        fail(request, source, folder, QStringLiteral("上传目录中已没有该文件"));
        return;
    }
    const QString made = FileMove::makeFolder(folder);
    if (!made.isEmpty()) {
        fail(request, source, folder, made);
        return;
    }
    // Another program may take the free name between the look and the move: then look again.
    QString failure;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const QString target = Paths::join(folder, freeName(folder, request.fileName));
        failure = mover(source, target, m_cancelled);
        if (failure.isEmpty()) {
            post([this, fileName = request.fileName, target] { emit moved(fileName, target); });
            return;
        }
        if (!QFileInfo::exists(target) || m_cancelled.load()) {
            break;
        }
    }
    fail(request, source, folder, failure);
}

void CompletionMover::fail(const Request &request, const QString &source, const QString &folder,
                           const QString &reason) {
    const QString message =
        request.quarantine
            ? QStringLiteral("被拒绝的文件“%1”未能移入隔离目录“%2”：%3。文件仍留在上传目录中，不会被发送。")
                  .arg(source, folder, reason)
            : QStringLiteral("已上传的文件“%1”未能移入回收目录“%2”：%3。文件仍留在上传目录中。")
                  .arg(source, folder, reason);
    post([this, message] { emit moveFailed(message); });
}

// Emits on this object's thread, through its event loop and so after whatever the caller of
// moveSentFile() did next; nothing once shutDown() has begun (the window is going).
void CompletionMover::post(std::function<void()> emitSignal) {
    QMetaObject::invokeMethod(
        this,
        [this, emitSignal = std::move(emitSignal)] {
            bool stopping = false;
            {
                const std::lock_guard<std::mutex> lock(m_lock);
                stopping = m_stopping;
            }
            if (!stopping) {
                emitSignal();
            }
        },
        Qt::QueuedConnection);
}
