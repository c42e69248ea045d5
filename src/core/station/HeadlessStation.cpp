#include "core/station/HeadlessStation.h"

#include "core/config/SettingsCheck.h"
#include "core/queue/AutomaticSettings.h"
#include "core/station/StationAutomation.h"
#include "core/station/StationLock.h"
#include "core/station/StationParts.h"
#include "core/station/StatusPublisher.h"
#include "core/station/WorkFolder.h"

#include <QDir>
#include <chrono>
#include <cstdio>

namespace {

// How often a stop looks whether the running transfer has ended (the grace itself is the upload's).
constexpr int kStopLookMs = 50;

void toStandardError(const QString &line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace

HeadlessStation::HeadlessStation(Output output, QObject *parent)
    : QObject(parent), m_output(output ? std::move(output) : Output(toStandardError)) {
    m_stopWatch.setInterval(kStopLookMs);
    connect(&m_stopWatch, &QTimer::timeout, this, &HeadlessStation::checkStopped);
}

HeadlessStation::~HeadlessStation() {
    // The checks resume into the queue: they go before the parts.
    delete m_automation;
    m_status.reset();
    if (m_parts && !m_finished) {
        m_parts->upload.shutDown();
        m_parts->completion.shutDown();
    }
}

QString HeadlessStation::oneLine(const QString &text) {
    QString line;
    line.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') {
            continue; // the \n that follows joins the two lines
        }
        if (c == u'\n' || c == u'\r') {
            line.append(QStringLiteral("；"));
        } else if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F)) {
            line.append(QStringLiteral("\\x%1").arg(int(c.unicode()), 2, 16, QLatin1Char('0')));
        } else {
            line.append(c);
        }
    }
    return line;
}

void HeadlessStation::say(const QString &text) const {
    m_output(oneLine(text));
}

QString HeadlessStation::unusableSettings(SettingsRecord *record) const {
    Failure unreadable;
    if (!m_parts->settingsStore.load(*record, &unreadable)) {
        return QStringLiteral("没有软件设置文件 %1：请先在窗口中完成软件设置，或按说明写好该文件。")
            .arg(QDir::toNativeSeparators(QFileInfo(m_parts->settingsStore.filePath()).absoluteFilePath()));
    }
    if (unreadable.failed()) {
        return unreadable.sentence();
    }
    QString problem = SettingsCheck::firstProblem(*record).text;
    const QList<SettingsCheck::Field> missing = SettingsCheck::missingFolders(*record);
    if (problem.isEmpty() && !missing.isEmpty()) {
        problem =
            QStringLiteral("%1“%2”不存在。")
                .arg(SettingsCheck::label(missing.first()), record->*SettingsCheck::member(missing.first()));
    }
    return problem.isEmpty() ? QString() : QStringLiteral("软件设置有误：%1").arg(problem);
}

bool HeadlessStation::start(const QString &workdirOption) {
    const WorkFolder::Choice work =
        WorkFolder::choose(workdirOption, QDir::currentPath(), WorkFolder::dataHome());
    // Relative folders in the settings are taken from the working folder, as the window takes them.
    if ((work.create && !QDir().mkpath(work.folder)) || !QDir::setCurrent(work.folder)) {
        say(QStringLiteral("无法使用工作目录：%1").arg(QDir::toNativeSeparators(work.folder)));
        return false;
    }
    m_lock = std::make_unique<StationLock>(work.folder);
    QString refusal;
    if (!m_lock->acquire(&refusal)) {
        say(refusal);
        m_lock.reset();
        return false;
    }
    m_parts = std::make_unique<StationParts>(work.folder);
    const QString unusable = unusableSettings(&m_parts->settings);
    if (!unusable.isEmpty()) {
        say(unusable);
        m_parts.reset();
        m_lock.reset();
        return false;
    }

    m_automation = new StationAutomation(*m_parts, this);
    connectParts();
    Notice notice;
    if (!m_parts->openDay(&notice)) {
        say(notice.text);
    }
    m_parts->filterWatcher.startWatching();
    m_automation->configure(true);
    m_status = std::make_unique<StatusPublisher>(work.folder, *m_parts->clock, QStringLiteral("headless"));
    publishStationStatus(*m_parts, *m_status);
    connect(m_status.get(), &StatusPublisher::writeFailed, this, [this](const Failure &why) {
        say(QStringLiteral("无法更新状态文件（不影响上传）：%1").arg(why.sentence()));
    });
    m_status->start();

    const SettingsRecord &settings = m_parts->settings;
    say(QStringLiteral("已启动（无界面）：工作目录 %1，隔离器 %2:%3")
            .arg(QDir::toNativeSeparators(work.folder), settings.isolatorAddress, settings.isolatorPort));
    sayAutomaticFolders();
    // Nobody is there to press 开始上传.
    m_parts->upload.startTicking();
    m_parts->upload.start();
    return true;
}

void HeadlessStation::sayAutomaticFolders() {
    const AutomaticSettings automatic = AutomaticSettings::from(m_parts->settings);
    if (!automatic.problem.isEmpty()) {
        say(QStringLiteral("自动上传设置有误：%1").arg(automatic.problem));
    }
    const QStringList &folders = automatic.folders;
    if (folders.isEmpty()) {
        say(QStringLiteral("没有自动上传的子文件夹，不会有文件加入队列：请在 Berlvantis.ini 的 [AutoFolders] "
                           "中设置，然后重新启动或发送 SIGHUP。"));
    } else {
        say(QStringLiteral("自动上传的子文件夹：%1").arg(folders.join(QStringLiteral("、"))));
    }
}

void HeadlessStation::connectParts() {
    StationParts &parts = *m_parts;
    UploadController &upload = parts.upload;
    connect(m_automation, &StationAutomation::refused, this,
            [this](const QString &folder, const QString &fileName, const QString &reason, bool journalled) {
                const QString text =
                    QStringLiteral("“%1”中的“%2”未自动加入队列：%3").arg(folder, fileName, reason);
                say(journalled ? text : text + QStringLiteral("（日志无法写入）"));
            });
    connect(&m_automation->autoQueue(), &AutoQueue::queued, this,
            [this](const QString &folder, const QString &fileName) {
                say(QStringLiteral("已加入队列：%1/%2").arg(folder, fileName));
                // A drained queue stopped the upload; a new file starts it again.
                if (!m_stopping && m_parts->upload.isStopped()) {
                    m_parts->upload.start();
                }
            });
    connect(&m_automation->autoQueue(), &AutoQueue::folderUnavailable, this,
            [this](const QString &folder, const Failure &failure) {
                say(QStringLiteral("自动上传文件夹“%1”无法访问：%2").arg(folder, failure.reason));
            });
    connect(&m_automation->autoQueue(), &AutoQueue::folderBack, this, [this](const QString &folder) {
        say(QStringLiteral("自动上传文件夹“%1”已恢复，继续自动上传。").arg(folder));
    });
    connect(&upload, &UploadController::rowEvent, this,
            [this](TransferScheduler::Event event, int row, const TransferOutcome &outcome) {
                using Event = TransferScheduler::Event;
                const QString fileName = m_parts->table.cell(row, UploadRecord::CellFileName);
                switch (event) {
                case Event::Started:
                    say(QStringLiteral("开始上传：%1").arg(fileName));
                    break;
                case Event::Completed:
                    say(QStringLiteral("上传完成：%1（%2 字节，SHA-256 %3）")
                            .arg(fileName)
                            .arg(outcome.bytes)
                            .arg(outcome.sha256));
                    break;
                case Event::Failed:
                case Event::Refused:
                    say(QStringLiteral("“%1”传输故障：%2").arg(fileName, outcome.reason));
                    break;
                case Event::Deferred:
                    say(QStringLiteral("“%1”暂缓上传：%2").arg(fileName, outcome.reason));
                    break;
                case Event::Stopped:
                    say(QStringLiteral("传输停止：%1").arg(fileName));
                    break;
                }
            });
    connect(&upload, &UploadController::drained, this, [this](int files) {
        if (files > 0) { // an empty queue at the start is no news
            say(QStringLiteral("上传队列已发送完毕，本次共发送 %1 个文件").arg(files));
        }
    });
    connect(&upload, &UploadController::recordingFailed, this, [this](const Failure &why) {
        say(QStringLiteral("无法写入记录：%1，已暂停上传").arg(why.sentence()));
    });
    connect(&upload, &UploadController::recordingResumed, this,
            [this] { say(QStringLiteral("记录恢复写入，继续上传")); });
    connect(&upload, &UploadController::scannerDown, this, [this](const QString &why) { say(why); });
    connect(&upload, &UploadController::scannerBack, this,
            [this] { say(QStringLiteral("病毒扫描服务已恢复")); });
    connect(&parts.completion, &CompletionMover::moveFailed, this,
            [this](const QString &message) { say(message); });
    connect(&parts.filterWatcher, &FilterWatcher::changed, this, [this] {
        QStringList types = m_parts->filter.entries();
        types.removeAll(QString());
        say(types.isEmpty()
                ? QStringLiteral("允许上传的文件类型已清空：现在不能添加任何文件。")
                : QStringLiteral("允许上传的文件类型已更新：%1").arg(types.join(QStringLiteral("、"))));
    });
}

void HeadlessStation::reload() {
    if (!m_parts || m_stopping) {
        return;
    }
    SettingsRecord fresh = m_parts->settings;
    const QString unusable = unusableSettings(&fresh);
    if (!unusable.isEmpty()) {
        say(QStringLiteral("未采用修改后的软件设置，继续使用原设置：%1").arg(unusable));
        return;
    }
    // What the settings dialog's OK does, without a window.
    m_parts->settings = fresh;
    m_parts->followRecordFolder();
    m_automation->configure(true);
    m_parts->filterWatcher.reload();
    say(QStringLiteral("已重新读取软件设置：隔离器 %1:%2").arg(fresh.isolatorAddress, fresh.isolatorPort));
    sayAutomaticFolders();
}

void HeadlessStation::stop() {
    if (!m_parts) {
        emit finished(0);
        return;
    }
    if (m_finished) {
        return;
    }
    if (m_stopping) {
        say(QStringLiteral("再次收到停止信号：立即结束"));
        finish();
        return;
    }
    m_stopping = true;
    say(QStringLiteral("正在停止…"));
    // Nothing more is queued or started.
    m_automation->checker().cancelAll();
    m_automation->configure(false);
    if (!m_parts->upload.isStopped()) {
        m_parts->upload.stop();
    }
    m_stopWatch.start();
    checkStopped();
}

void HeadlessStation::checkStopped() {
    // Once the transfer's thread has returned its report is posted already; ending after the events
    // queued now lets the upload take it (a file that arrived whole still counts as sent).
    if (m_parts->upload.isStopped() || m_parts->worker.wait(std::chrono::milliseconds(0))) {
        m_stopWatch.stop();
        QMetaObject::invokeMethod(this, &HeadlessStation::finish, Qt::QueuedConnection);
    }
}

void HeadlessStation::finish() {
    if (m_finished) {
        return;
    }
    m_finished = true;
    m_stopWatch.stop();
    delete m_automation;
    m_automation = nullptr;
    // A transfer still running is cut (its row reads stopped already); a change held back is written.
    m_parts->upload.shutDown();
    m_parts->completion.shutDown();
    if (!m_parts->log.flushRecordLog()) {
        say(QStringLiteral("无法写入记录：%1").arg(m_parts->log.writeFailure().sentence()));
    }
    m_status.reset();
    m_lock.reset();
    say(QStringLiteral("已停止"));
    emit finished(0);
}
