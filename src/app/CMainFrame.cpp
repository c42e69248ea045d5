#include "app/CMainFrame.h"

#include "core/common/CommandIds.h"
#include "core/config/SettingsCheck.h"
#include "core/history/HistoryService.h"
#include "core/records/UploadRecord.h"
#include "core/station/StationParts.h"
#include "gui/dialogs/CAboutDlg.h"
#include "gui/dialogs/CCfgDlg.h"
#include "gui/dialogs/CHelpDlg.h"
#include "gui/dialogs/CHistoryDlg.h"
#include "gui/views/CContentView.h"
#include "gui/views/CDriveExplorerView.h"
#include "gui/views/CTableView.h"
#include "gui/widgets/ArtWork.h"
#include "gui/widgets/OperatorMessages.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QToolBar>

namespace {

// The commands whose menu item and toolbar button are available only while uploading is stopped.
const int kQueueCommands[] = {ID_MOVE_UP, ID_MOVE_DOWN, ID_ADD_RECORD, ID_DELETE_RECORD};

const QString kTitle = QStringLiteral("Vellorix900 外网上传软件");
const QString kTrayTip = QStringLiteral("Vellorix900外网上传");
const QString kNotConfigured =
    QStringLiteral("尚未完成软件设置：请点击菜单“操作 → 软件设置”或工具栏上的“配置”按钮，"
                   "填写各目录、隔离器地址和端口以及允许上传的文件类型。");

} // namespace

CMainFrame::CMainFrame(StationParts &parts, QWidget *parent)
    : QMainWindow(parent), m_parts(parts),
      m_settingsDialog(new CCfgDlg(parts.settings, parts.settingsStore, parts.mapping, parts.filter, this)) {
    setObjectName(QStringLiteral("mainFrame"));
    setWindowIcon(ArtWork::applicationIcon());
    connect(&m_parts.upload, &UploadController::stateChanged, this, &CMainFrame::showUploadState);
}

CMainFrame::~CMainFrame() {
    // The window goes before the service it shows.
    delete m_historyDialog;
    m_parts.upload.shutDown();
}

void CMainFrame::OnCreate() {
    createPanes();
    createMenu();
    createToolBar();
    createStatusBar();
    showUploadState(m_parts.upload.state());
    connectStationParts();
    Failure unreadable;
    m_configured = m_parts.settingsStore.load(m_parts.settings, &unreadable);
    if (unreadable.failed()) {
        // A settings file that is not a regular file, or too large, is never waited on: say why.
        OperatorMessages::show(this, Notice{NoticeCaption::kError, unreadable.sentence()});
    }
    if (!m_configured) {
        // No settings file yet: the operator sets the station up before the window appears.
        m_configured = m_settingsDialog->exec() == QDialog::Accepted;
    }
    showConfiguredState();
}

void CMainFrame::createPanes() {
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("outerSplitter"));
    m_splitter->setChildrenCollapsible(false);
    m_tableView = new CTableView(m_parts.table, m_splitter);
    m_rightSplitter = new QSplitter(Qt::Vertical, m_splitter);
    m_rightSplitter->setObjectName(QStringLiteral("rightSplitter"));
    m_rightSplitter->setChildrenCollapsible(false);
    m_explorerView = new CDriveExplorerView(m_parts.settings, m_rightSplitter);
    m_contentView = new CContentView(m_parts.settings, m_rightSplitter);
    // The transit folder list holds the current subfolder; the file list shows it.
    connect(m_contentView, &CContentView::currentDirChanged, m_explorerView, &CDriveExplorerView::showFolder);
    connect(m_explorerView, &CDriveExplorerView::fileActivated, this, &CMainFrame::onFileActivated);
    // The panes judge with the station's own filter and mapping: greyed types, unmapped subfolders.
    m_explorerView->setFilter(&m_parts.filter);
    m_contentView->setMapping(&m_parts.mapping);
    connect(&m_parts.filterWatcher, &FilterWatcher::changed, m_explorerView,
            &CDriveExplorerView::fillFileList);
    connect(m_contentView, &CContentView::filesDropped, m_explorerView, &CDriveExplorerView::copyDropped);
    connect(m_explorerView, &CDriveExplorerView::dropCopied, this,
            [this](const QString &summary) { statusBar()->showMessage(summary, 10000); });
    setCentralWidget(m_splitter);
}

QAction *CMainFrame::addCommand(QMenu *menu, int id, const QString &text, Slot slot) {
    auto *action = menu->addAction(text);
    action->setData(id);
    connect(action, &QAction::triggered, this, slot);
    m_menuActions.insert(id, action);
    return action;
}

void CMainFrame::createMenu() {
    QMenu *file = menuBar()->addMenu(QStringLiteral("文件(&F)"));
    addCommand(file, ID_APP_EXIT, QStringLiteral("退出(&X)"), &CMainFrame::OnAppExit);

    QMenu *view = menuBar()->addMenu(QStringLiteral("查看(&V)"));
    QAction *toolbar = view->addAction(QStringLiteral("工具栏(&T)"));
    toolbar->setData(ID_VIEW_TOOLBAR);
    toolbar->setCheckable(true);
    toolbar->setChecked(true);
    m_menuActions.insert(ID_VIEW_TOOLBAR, toolbar);
    view->addSeparator();
    addCommand(view, ID_VIEW_HISTORY, QStringLiteral("历史记录(&H)..."), &CMainFrame::OnViewHistory);

    QMenu *operations = menuBar()->addMenu(QStringLiteral("操作(&E)"));
    operations->setSeparatorsCollapsible(false);
    operations->addSeparator();
    addCommand(operations, ID_SETTINGS, QStringLiteral("软件设置(&C)\t"), &CMainFrame::OnSettings);
    operations->addSeparator();
    addCommand(operations, ID_REFRESH, QStringLiteral("窗口刷新(&R)\t"), &CMainFrame::OnRefresh);
    operations->addSeparator();
    addCommand(operations, ID_START_UPLOAD, QStringLiteral("开始上传(&S)"), &CMainFrame::OnStartUpload);
    addCommand(operations, ID_STOP_UPLOAD, QStringLiteral("停止上传(&T)"), &CMainFrame::OnStopUpload);
    operations->addSeparator();
    addCommand(operations, ID_MOVE_UP, QStringLiteral("记录上移(&U)\t"), &CMainFrame::OnMoveUp);
    addCommand(operations, ID_MOVE_DOWN, QStringLiteral("记录下移(&D)\t"), &CMainFrame::OnMoveDown);
    addCommand(operations, ID_DELETE_RECORD, QStringLiteral("删除记录(&R)\t"), &CMainFrame::OnDeleteRecord);
    addCommand(operations, ID_ADD_RECORD, QStringLiteral("添加记录(&A)"), &CMainFrame::OnAddRecord);
    operations->addSeparator();
    addCommand(operations, ID_RETRY_NOW, QStringLiteral("立即重试(&N)"), &CMainFrame::OnRetryNow);

    QMenu *help = menuBar()->addMenu(QStringLiteral("帮助(&H)"));
    QAction *manual = help->addAction(QStringLiteral("使用说明(&M)"), this, &CMainFrame::showManual);
    manual->setObjectName(QStringLiteral("manualAction"));
    manual->setShortcut(QKeySequence::HelpContents);
    addCommand(help, ID_APP_ABOUT, QStringLiteral("关于 Brelvantis(&A)..."), &CMainFrame::OnAppAbout);
}

void CMainFrame::createToolBar() {
    m_toolBar = new QToolBar(QStringLiteral("Brelvantis"), this);
    m_toolBar->setObjectName(QStringLiteral("mainToolBar"));
    m_toolBar->setIconSize(QSize(ArtWork::kToolbarImageWidth, ArtWork::kToolbarImageHeight));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_toolBar->setMovable(true);
    m_toolBar->setFloatable(true);
    m_toolBar->setAllowedAreas(Qt::AllToolBarAreas);

    struct Button {
        int id; // 0: separator
        const char16_t *tip;
        Slot slot;
    };
    const Button buttons[] = {
        {ID_START_UPLOAD, u"开始上传", &CMainFrame::OnStartUpload},
        {ID_STOP_UPLOAD, u"停止上传", &CMainFrame::OnStopUpload},
        {0, nullptr, nullptr},
        {ID_MOVE_UP, u"上移记录", &CMainFrame::OnMoveUp},
        {0, nullptr, nullptr},
        {ID_MOVE_DOWN, u"下移记录", &CMainFrame::OnMoveDown},
        {ID_ADD_RECORD, u"添加记录", &CMainFrame::OnAddRecord},
        {ID_DELETE_RECORD, u"删除记录", &CMainFrame::OnDeleteRecord},
        {0, nullptr, nullptr},
        {ID_REFRESH, u"刷新中转文件夹", &CMainFrame::OnRefresh},
        {ID_SETTINGS, u"配置", &CMainFrame::OnSettings},
        {ID_VIEW_HISTORY, u"历史记录", &CMainFrame::OnViewHistory},
    };
    for (const Button &button : buttons) {
        if (button.id == 0) {
            m_toolBar->addSeparator();
            continue;
        }
        QAction *action = m_toolBar->addAction(QIcon(ArtWork::toolbarImage(button.id)), QString());
        action->setToolTip(QString::fromUtf16(button.tip));
        action->setData(button.id);
        connect(action, &QAction::triggered, this, button.slot);
        m_toolActions.insert(button.id, action);
    }
    // The last slot holds the progress bar, inside the toolbar so it moves and hides with it.
    auto *slot = new QWidget(m_toolBar);
    slot->setObjectName(QStringLiteral("progressSlot"));
    auto *layout = new QHBoxLayout(slot);
    layout->setContentsMargins(5, 5, 5, 5);
    m_progress = new QProgressBar(slot);
    m_progress->setObjectName(QStringLiteral("uploadProgress"));
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(true);
    m_progress->setFixedSize(370, 30);
    layout->addWidget(m_progress);
    slot->setFixedWidth(450);
    m_toolBar->addWidget(slot);
    connect(m_toolBar, &QToolBar::orientationChanged, this, [this, slot](Qt::Orientation orientation) {
        const bool across = orientation == Qt::Horizontal;
        m_progress->setOrientation(orientation);
        m_progress->setFixedSize(across ? QSize(370, 30) : QSize(30, 370));
        if (across) {
            slot->setFixedSize(450, QWIDGETSIZE_MAX);
        } else {
            slot->setFixedSize(QWIDGETSIZE_MAX, 450);
        }
        slot->setMinimumSize(0, 0);
    });

    addToolBar(Qt::TopToolBarArea, m_toolBar);
    QAction *toggle = menuAction(ID_VIEW_TOOLBAR);
    connect(toggle, &QAction::toggled, m_toolBar, &QToolBar::setVisible);
    connect(m_toolBar, &QToolBar::visibilityChanged, toggle, &QAction::setChecked);
}

// The status bar: what is being sent, how fast and how much is left; it stays when the toolbar (and
// its progress bar) is hidden.
void CMainFrame::createStatusBar() {
    m_statusText = new QLabel(statusBar());
    m_statusText->setObjectName(QStringLiteral("uploadStatusText"));
    statusBar()->addWidget(m_statusText, 1);
    m_statusProgress = new QProgressBar(statusBar());
    m_statusProgress->setObjectName(QStringLiteral("statusProgress"));
    m_statusProgress->setRange(0, 100);
    m_statusProgress->setValue(0);
    m_statusProgress->setFixedWidth(160);
    statusBar()->addPermanentWidget(m_statusProgress);

    connect(&m_parts.upload, &UploadController::progressUpdated, this, &CMainFrame::showProgress);
    connect(&m_parts.upload, &UploadController::drained, this, [this](int files) {
        const QString text = QStringLiteral("上传队列已发送完毕，本次共发送 %1 个文件").arg(files);
        m_statusText->setText(QStringLiteral("空闲：") + text);
        notifyHidden(text);
    });
    connect(&m_parts.upload, &UploadController::rowEvent, this, &CMainFrame::onRowEvent);

    // In red, for as long as the day's records cannot be written; a permanent widget, so no passing
    // message ever covers it.
    m_recordingText = new QLabel(statusBar());
    m_recordingText->setObjectName(QStringLiteral("recordingFailureText"));
    m_recordingText->setStyleSheet(QStringLiteral("QLabel { color: #c00000; font-weight: bold; }"));
    m_recordingText->hide();
    statusBar()->insertPermanentWidget(1, m_recordingText); // after the one plain widget, before the bar
    connect(&m_parts.upload, &UploadController::recordingFailed, this, &CMainFrame::showRecordingFailed);
    connect(&m_parts.upload, &UploadController::recordingResumed, this, [this] { showRecordingFailed({}); });
}

// The day's log or journal cannot be written (nothing failed: it can be again). The first line says so
// in the status bar and in the tray; the tooltip holds the whole account.
void CMainFrame::showRecordingFailed(const Failure &why) {
    const QString sentence = why.sentence();
    const qsizetype end = sentence.indexOf(QLatin1Char('\n'));
    const QString first =
        why.failed() ? QStringLiteral("无法写入记录：%1，已暂停上传").arg(sentence.left(end)) : QString();
    m_recordingText->setText(first);
    m_recordingText->setToolTip(end < 0 ? first : first + sentence.mid(end));
    m_recordingText->setVisible(why.failed());
    updateTray();
    if (why.failed() && m_tray && !isVisible()) {
        m_tray->showMessage(kTrayTip, first, QSystemTrayIcon::Critical);
    }
}

// Every row event: the tray's counts and a failure's reason.
void CMainFrame::onRowEvent(TransferScheduler::Event event, int row, const TransferOutcome &outcome) {
    updateTray();
    if (event != TransferScheduler::Event::Failed) {
        return;
    }
    const QString fileName = m_parts.table.cell(row, UploadRecord::CellFileName);
    const QString text = QStringLiteral("“%1”传输故障：%2").arg(fileName, outcome.reason);
    m_statusText->setText(text);
    notifyHidden(text, fileName);
}

// The day's log is read back into the queue once the station knows its record folder.
void CMainFrame::openDay() {
    Notice notice;
    if (!m_parts.openDay(&notice)) {
        OperatorMessages::show(this, notice);
    }
}

void CMainFrame::showProgress(const TransferProgress::Snapshot &snapshot) {
    if (snapshot.fileName.isEmpty()) {
        return; // between two files: the figures of the last one stay until the next one runs
    }
    showBars(snapshot.percent(), QString());
    m_statusText->setText(TransferProgress::describe(snapshot));
}

void CMainFrame::OnInitialUpdates() {
    setWindowTitle(kTitle + QStringLiteral(" - Brelvantis"));
    // Without settings there is no record folder: the day's log is read once the station is set up.
    if (m_configured) {
        openDay();
    }
    m_explorerView->OnInitialUpdate();
    m_contentView->OnInitialUpdate();
    connect(&m_parts.upload, &UploadController::progressChanged, this,
            [this](int percent) { showBars(percent, QString()); });
    connect(&m_parts.upload, &UploadController::waitingForRetry, this, [this] {
        showBars(0, QStringLiteral("等待重试"));
        if (!m_statusText->text().contains(QStringLiteral("传输故障"))) {
            m_statusText->setText(QStringLiteral("等待重试…"));
        }
    });
    m_parts.upload.startTicking();
}

void CMainFrame::setCommandState(int id, bool available) {
    if (QAction *item = menuAction(id)) {
        item->setEnabled(available);
    }
    if (QAction *button = toolAction(id)) {
        button->setVisible(available);
        button->setEnabled(available);
    }
}

// The menu and the toolbar offer what the upload state allows.
void CMainFrame::showUploadState(UploadState state) {
    const bool stopped = state == UploadState::Stopped;
    setCommandState(ID_START_UPLOAD, stopped);
    setCommandState(ID_STOP_UPLOAD, !stopped);
    if (state != UploadState::Stopping) {
        for (int id : kQueueCommands) {
            setCommandState(id, stopped);
        }
    }
    if (m_explorerView) {
        m_explorerView->setQueueingAllowed(stopped);
    }
    updateTray();
    if (m_statusText) {
        const QString texts[] = {QStringLiteral("空闲：未在上传"), QStringLiteral("正在上传…"),
                                 QStringLiteral("正在停止…")};
        m_statusText->setText(texts[static_cast<int>(state)]);
    }
    if (stopped && m_stopping && m_progress) {
        showBars(0, QString()); // stopped: nothing is on its way any more (a drained queue keeps its 100 %)
    }
    m_stopping = state == UploadState::Stopping;
}

// Both progress bars: a percentage, or (with a label) a pause that is no progress at all.
void CMainFrame::showBars(int percent, const QString &label) {
    for (QProgressBar *bar : {m_progress, m_statusProgress}) {
        bar->setValue(percent);
        bar->setFormat(label.isEmpty() ? QStringLiteral("%p%") : label);
    }
}

void CMainFrame::OnStartUpload() {
    if (refuseWhileNotConfigured()) {
        return;
    }
    m_parts.upload.start();
}

void CMainFrame::OnStopUpload() {
    m_parts.upload.stop();
}

void CMainFrame::OnSettings() {
    const bool saved = m_settingsDialog->exec() == QDialog::Accepted;
    if (saved && !m_configured) {
        // Set up at last: the day's log goes to the record folder just chosen.
        m_configured = true;
        openDay();
        showConfiguredState();
    } else if (saved) {
        statusBar()->clearMessage();
    }
    // Whatever the button, the record holds the folder the dialog left there (a browse button's goes in
    // at once): the log, the journal and the history follow it together.
    if (m_configured) {
        m_parts.followRecordFolder();
    }
    if (m_historyDialog && m_configured) {
        m_historyDialog->setRecordFolder(m_parts.settings.recordFolder);
    }
    // Whatever the button: the folders may have changed.
    OnRefresh();
}

void CMainFrame::OnRefresh() {
    reloadFilter();
    m_contentView->refreshFolderList();
}

void CMainFrame::OnMoveUp() {
    moveSelected(&QueueOperations::moveUp);
}

void CMainFrame::OnMoveDown() {
    moveSelected(&QueueOperations::moveDown);
}

// Moves the topmost selected record, while the queue is the active pane.
void CMainFrame::moveSelected(int (QueueOperations::*move)(int)) {
    const QList<int> rows = m_tableView->selectedRows();
    if (!m_tableView->isActivePane() || rows.isEmpty()) {
        return;
    }
    const int to = (m_parts.queue.*move)(rows.first());
    if (to >= 0) {
        m_tableView->followMovedRow(to, rows.first());
    }
}

// 立即重试: the selected failed rows are tried again without waiting for their pause to end.
void CMainFrame::OnRetryNow() {
    m_parts.upload.retryNow(m_tableView->selectedRows());
}

void CMainFrame::OnAddRecord() {
    if (!m_parts.upload.isStopped() ||
        refuseWhileNotConfigured(QStringLiteral("请确认中转目录下的当前子文件夹已双击选中。"))) {
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QueueOperations::Outcome outcome = m_parts.queue.addRecord(m_contentView->currentDir());
    QApplication::restoreOverrideCursor();
    afterQueueCommand(outcome);
    m_explorerView->fillFileList();
}

void CMainFrame::OnDeleteRecord() {
    if (!m_parts.upload.isStopped() ||
        refuseWhileNotConfigured(QStringLiteral("未选中文件。请选择文件后再点击删除按钮。"))) {
        return;
    }
    afterQueueCommand(m_parts.queue.deleteRecord(m_tableView->selectedRows()));
    m_explorerView->fillFileList();
}

// A double-click in the file list (the list refills itself afterwards).
void CMainFrame::onFileActivated(const QString &name) {
    if (!m_parts.upload.isStopped() ||
        refuseWhileNotConfigured(QStringLiteral("确认中转目录下的当前子文件夹已双击选中"))) {
        return;
    }
    afterQueueCommand(m_parts.queue.queueTransitFile(name, m_contentView->currentDir()));
}

// The transit folder list shows the new file counts after every command that went through.
void CMainFrame::afterQueueCommand(const QueueOperations::Outcome &outcome) {
    if (outcome.succeeded) {
        m_contentView->refreshFolderList();
    }
    if (!outcome.summary.isEmpty()) {
        statusBar()->showMessage(outcome.summary);
    }
    if (!outcome.retryMoveOf.isEmpty()) {
        // A sent file blocks its name: the operator may have its move to the completion folder tried again.
        if (OperatorMessages::ask(this, outcome.notice.text)) {
            m_parts.completion.moveSentFile(outcome.retryMoveOf);
        }
        return;
    }
    OperatorMessages::show(m_tableView, outcome.notice);
}

// The connections to the parts beyond the panes: the filter file, sent files, the keyboard.
void CMainFrame::connectStationParts() {
    connect(&m_parts.filterWatcher, &FilterWatcher::changed, this, &CMainFrame::showFilterChanged);
    m_parts.filterWatcher.startWatching();
    // The mover reports through the event loop, so a box never opens inside the scheduler's tick.
    connect(&m_parts.completion, &CompletionMover::moveFailed, this, &CMainFrame::onSentFileMoveFailed);
    connect(&m_parts.completion, &CompletionMover::moved, this, [this] { m_moveFailureShown = false; });
    connect(m_tableView, &CTableView::deleteRequested, this, &CMainFrame::OnDeleteRecord);
}

// Says in the window whether the station still waits to be set up, or what is wrong with its settings.
void CMainFrame::showConfiguredState() {
    m_contentView->setHint(m_configured ? QString() : kNotConfigured);
    if (!m_configured) {
        statusBar()->showMessage(kNotConfigured);
        return;
    }
    statusBar()->clearMessage();
    SettingsCheck::Problem problem = SettingsCheck::firstProblem(m_parts.settings);
    const QList<SettingsCheck::Field> missing = SettingsCheck::missingFolders(m_parts.settings);
    if (problem.text.isEmpty() && !missing.isEmpty()) {
        problem.text = QStringLiteral("%1“%2”不存在。")
                           .arg(SettingsCheck::label(missing.first()),
                                m_parts.settings.*SettingsCheck::member(missing.first()));
    }
    if (!problem.text.isEmpty()) {
        statusBar()->showMessage(QStringLiteral("软件设置有误：%1请打开“软件设置”修改。").arg(problem.text));
    }
}

// Until the station is set up, a command refuses with the message it has always given in that state (no
// subfolder can be current, no record selected), and says on a second line what is missing.
bool CMainFrame::refuseWhileNotConfigured(const QString &message) {
    if (m_configured) {
        return false;
    }
    const QString text = message.isEmpty() ? kNotConfigured : message + QLatin1Char('\n') + kNotConfigured;
    OperatorMessages::show(this, Notice{NoticeCaption::kHint, text});
    return true;
}

void CMainFrame::reloadFilter() {
    if (m_parts.filterWatcher.reload()) {
        showFilterChanged();
    }
}

void CMainFrame::showFilterChanged() {
    QStringList types = m_parts.filter.entries();
    types.removeAll(QString());
    statusBar()->showMessage(
        types.isEmpty()
            ? QStringLiteral("允许上传的文件类型已清空：现在不能添加任何文件。")
            : QStringLiteral("允许上传的文件类型已更新：%1").arg(types.join(QStringLiteral("、"))));
}

// A sent file that could not leave the upload folder: always in the status bar, in a box once until a
// move succeeds again (a broken completion folder would otherwise raise one box per file).
void CMainFrame::onSentFileMoveFailed(const QString &message) {
    statusBar()->showMessage(message);
    if (m_moveFailureShown) {
        return;
    }
    m_moveFailureShown = true;
    OperatorMessages::show(this, Notice{NoticeCaption::kError, message});
}

// 历史记录: one window for the run, on the record folder of the settings; offered while uploading too.
void CMainFrame::OnViewHistory() {
    if (!m_historyDialog) {
        m_history = new HistoryService(this);
        m_historyDialog =
            new CHistoryDlg(*m_history, m_configured ? m_parts.settings.recordFolder : QString(), this);
    }
    m_historyDialog->show();
    m_historyDialog->raise();
    m_historyDialog->activateWindow();
}

void CMainFrame::showManual() {
    if (!m_manual) {
        m_manual = new CHelpDlg(this);
    }
    m_manual->show();
    m_manual->raise();
    m_manual->activateWindow();
}

void CMainFrame::OnAppAbout() {
    CAboutDlg about(QDir(m_parts.workFolder).absolutePath(), this);
    about.exec();
}

void CMainFrame::OnAppExit() {
    QString question = QStringLiteral("是否退出程序?");
    const QString sending = m_parts.upload.sendingFileName();
    if (!sending.isEmpty()) {
        question += QStringLiteral("\n正在上传“%1”，退出将中断它，下次启动时会重新上传。").arg(sending);
    }
    if (!OperatorMessages::ask(this, question)) {
        return;
    }
    m_exitConfirmed = true;
    close();
}

void CMainFrame::closeEvent(QCloseEvent *event) {
    if (m_exitConfirmed) {
        m_parts.upload.shutDown();
        m_parts.completion.shutDown();
        event->accept();
        QApplication::quit();
        return;
    }
    event->ignore();
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        // Without a notification area a hidden window could never be shown again.
        showMinimized();
        return;
    }
    createTray();
    m_tray->show();
    hide();
}

// The notification-area icon: a double-click or 显示主窗口 brings the window back; its menu starts
// and stops the upload and ends the program; its tooltip tells the state.
void CMainFrame::createTray() {
    if (m_tray) {
        return;
    }
    m_tray = new QSystemTrayIcon(ArtWork::applicationIcon(), this);
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("trayMenu"));
    const auto showWindow = [this] {
        show();
        raise();
        activateWindow();
    };
    connect(menu->addAction(QStringLiteral("显示主窗口")), &QAction::triggered, this, showWindow);
    m_trayStart = menu->addAction(QStringLiteral("开始上传"));
    connect(m_trayStart, &QAction::triggered, this, &CMainFrame::OnStartUpload);
    m_trayStop = menu->addAction(QStringLiteral("停止上传"));
    connect(m_trayStop, &QAction::triggered, this, &CMainFrame::OnStopUpload);
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("退出")), &QAction::triggered, this, [this, showWindow] {
        showWindow(); // the exit question needs its window
        OnAppExit();
    });
    m_tray->setContextMenu(menu);
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [showWindow](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick) {
                    showWindow();
                }
            });
    updateTray();
}

void CMainFrame::updateTray() {
    if (!m_tray) {
        return;
    }
    const UploadState state = m_parts.upload.state();
    m_trayStart->setEnabled(state == UploadState::Stopped);
    m_trayStop->setEnabled(state == UploadState::Uploading);
    const int complete = m_parts.table.countWithStatus(UploadRecord::kStatusComplete);
    const QString states[] = {QStringLiteral("未在上传"), QStringLiteral("正在上传"),
                              QStringLiteral("正在停止")};
    QString tip = QStringLiteral("%1\n%2 %3/%4")
                      .arg(kTrayTip, states[static_cast<int>(state)])
                      .arg(complete)
                      .arg(m_parts.table.rowCount());
    const bool recordingFailed = m_recordingText && m_recordingText->isVisibleTo(statusBar());
    if (recordingFailed) {
        tip += QLatin1Char('\n') + m_recordingText->text();
    }
    m_tray->setToolTip(tip);
    m_tray->setIcon(recordingFailed ? style()->standardIcon(QStyle::SP_MessageBoxCritical)
                                    : ArtWork::applicationIcon());
}

// While the window is hidden, the notification area tells of a drained queue and of a row's failure
// (once a minute per file at most).
void CMainFrame::notifyHidden(const QString &text, const QString &fileName) {
    if (!m_tray || isVisible()) {
        return;
    }
    if (!fileName.isEmpty()) {
        QElapsedTimer &last = m_lastFailureBalloon[fileName];
        if (last.isValid() && last.elapsed() < 60000) {
            return;
        }
        last.start();
    }
    m_tray->showMessage(kTrayTip, text,
                        fileName.isEmpty() ? QSystemTrayIcon::Information : QSystemTrayIcon::Warning);
}

// The stop command follows the upload state alone: a resize never takes it away from a running upload.
void CMainFrame::resizeEvent(QResizeEvent *event) {
    QMainWindow::resizeEvent(event);
    layoutPanes();
}

void CMainFrame::layoutPanes() {
    if (!m_splitter || !m_rightSplitter) {
        return;
    }
    const QSize client = m_splitter->size();
    const int width = client.width();
    const int height = client.height();
    const int left = std::max(10, 2 * width / 3);
    m_splitter->setSizes({left, std::max(10, width - left)});
    const int top = std::max(10, 2 * height / 3);
    m_rightSplitter->setSizes({top, std::max(10, height - top)});
}
