#include "app/CMainFrame.h"

#include "app/WindowMemory.h"
#include "core/common/ByteUnits.h"
#include "core/common/CommandIds.h"
#include "core/common/Paths.h"
#include "core/config/SettingsCheck.h"
#include "core/history/HistoryService.h"
#include "core/queue/AutomaticSettings.h"
#include "core/queue/QueueChecker.h"
#include "core/records/DayJournal.h"
#include "core/records/JournalEvent.h"
#include "core/records/UploadRecord.h"
#include "core/station/StationAutomation.h"
#include "core/station/StationParts.h"
#include "core/station/StatusPublisher.h"
#include "gui/dialogs/CAboutDlg.h"
#include "gui/dialogs/CCfgDlg.h"
#include "gui/dialogs/CHelpDlg.h"
#include "gui/dialogs/CHistoryDlg.h"
#include "gui/views/CContentView.h"
#include "gui/views/CDriveExplorerView.h"
#include "gui/views/CTableView.h"
#include "gui/views/CTableViewModel.h"
#include "gui/views/QueueFilterModel.h"
#include "gui/views/QueuePane.h"
#include "gui/widgets/ArtWork.h"
#include "gui/widgets/OperatorMessages.h"
#include "gui/widgets/StatusLabel.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

namespace {

// The commands whose menu item and toolbar button are taken away during a stop's grace.
const int kQueueCommands[] = {ID_MOVE_UP, ID_MOVE_DOWN, ID_ADD_RECORD, ID_DELETE_RECORD};

// The window's name; the notification area calls the station by it too.
const QString kTitle = QStringLiteral("Vellorix900 外网上传软件");
const QString kNotConfigured =
    QStringLiteral("尚未完成软件设置：请点击菜单“操作 → 软件设置”或工具栏上的“配置”按钮，"
                   "填写各目录、隔离器地址和端口以及允许上传的文件类型。");

} // namespace

CMainFrame::CMainFrame(StationParts &parts, QWidget *parent)
    : QMainWindow(parent), m_parts(parts),
      m_settingsDialog(new CCfgDlg(parts.settings, parts.settingsStore, parts.mapping, parts.filter, this)),
      m_memory(std::make_unique<WindowMemory>(parts.workFolder)) {
    setObjectName(QStringLiteral("mainFrame"));
    setWindowIcon(ArtWork::applicationIcon());
    connect(&m_parts.upload, &UploadController::stateChanged, this, &CMainFrame::showUploadState);
    installAutomation();
}

CMainFrame::~CMainFrame() {
    // A check still running is cancelled and its thread joined before the window it reports to goes; the
    // queue, which outlives the window, no longer asks it for the settings.
    delete m_automation;
    // The window goes before the service it shows.
    delete m_historyDialog;
    m_parts.upload.shutDown();
}

void CMainFrame::OnCreate() {
    createPanes();
    createMenu();
    createToolBar();
    createStatusBar();
    connectMalwareScan();
    createUnavailableFoldersText();
    createShortcuts();
    nameForAccessibility();
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
    applyAutomaticSettings();
}

void CMainFrame::createPanes() {
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("outerSplitter"));
    m_splitter->setChildrenCollapsible(false);
    m_queuePane = new QueuePane(m_parts.table, m_splitter);
    m_tableView = m_queuePane->tableView();
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
    m_memory->track(m_splitter);
    m_memory->track(m_rightSplitter);
    m_memory->track(m_tableView);
    m_memory->track(m_explorerView);
    m_memory->track(m_contentView);
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
    createQueueViewActions(view);
    view->addSeparator();
    addCommand(view, ID_VIEW_HISTORY, QStringLiteral("历史记录(&H)..."), &CMainFrame::OnViewHistory);

    QMenu *operations = menuBar()->addMenu(QStringLiteral("操作(&E)"));
    operations->setSeparatorsCollapsible(false);
    operations->addSeparator();
    addCommand(operations, ID_SETTINGS, QStringLiteral("软件设置(&C)"), &CMainFrame::OnSettings);
    operations->addSeparator();
    addCommand(operations, ID_REFRESH, QStringLiteral("窗口刷新(&R)"), &CMainFrame::OnRefresh);
    operations->addSeparator();
    addCommand(operations, ID_START_UPLOAD, QStringLiteral("开始上传(&S)"), &CMainFrame::OnStartUpload);
    addCommand(operations, ID_STOP_UPLOAD, QStringLiteral("停止上传(&T)"), &CMainFrame::OnStopUpload);
    operations->addSeparator();
    addCommand(operations, ID_MOVE_UP, QStringLiteral("记录上移(&U)"), &CMainFrame::OnMoveUp);
    addCommand(operations, ID_MOVE_DOWN, QStringLiteral("记录下移(&D)"), &CMainFrame::OnMoveDown);
    addCommand(operations, ID_DELETE_RECORD, QStringLiteral("删除记录(&L)"), &CMainFrame::OnDeleteRecord);
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
    // The live line and the notices share one plain widget of the status bar, side by side, so neither
    // covers the other; the status bar's own passing message is never drawn (redirectStatusMessages).
    auto *texts = new QWidget(statusBar());
    texts->setObjectName(QStringLiteral("statusTexts"));
    auto *layout = new QHBoxLayout(texts);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    m_statusText = new StatusLabel(texts);
    m_statusText->setObjectName(QStringLiteral("uploadStatusText"));
    m_notice = new StatusNotice(texts);
    m_notice->setObjectName(QStringLiteral("statusNoticeText"));
    layout->addWidget(m_statusText, 3);
    layout->addWidget(m_notice, 2);
    statusBar()->addWidget(texts, 1);
    redirectStatusMessages();
    m_statusProgress = new QProgressBar(statusBar());
    m_statusProgress->setObjectName(QStringLiteral("statusProgress"));
    m_statusProgress->setRange(0, 100);
    m_statusProgress->setValue(0);
    m_statusProgress->setFixedWidth(160);
    statusBar()->addPermanentWidget(m_statusProgress);

    connect(&m_parts.upload, &UploadController::progressUpdated, this, &CMainFrame::showProgress);
    connect(&m_parts.upload, &UploadController::drained, this, [this](int files) {
        const QString text = QStringLiteral("上传队列已发送完毕，本次共发送 %1 个文件").arg(files);
        m_failureText.clear();
        if (waitsForAutomaticFiles()) {
            // Uploading stays on: no balloon for every file the automatic subfolders bring.
            m_statusText->setText(files > 0 ? QStringLiteral("空闲：等待自动上传的文件（%1）").arg(text)
                                            : QStringLiteral("空闲：等待自动上传的文件"));
            return;
        }
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
        m_tray->showMessage(kTitle, first, QSystemTrayIcon::Critical);
    }
}

// Every row event: the tray's counts and a failure's reason.
void CMainFrame::onRowEvent(TransferScheduler::Event event, int row, const TransferOutcome &outcome) {
    updateTray();
    const QString fileName = m_parts.table.cell(row, UploadRecord::CellFileName);
    if (event == TransferScheduler::Event::Started) {
        m_failureText.clear();
        m_tableView->showProgress(QString()); // the last file's figures are not this one's
    } else if (event == TransferScheduler::Event::Completed && !outcome.sha256.isEmpty()) {
        m_rowShas.insert(fileName + QLatin1Char('\t') +
                             m_parts.table.cell(row, UploadRecord::CellDestination),
                         outcome.sha256);
    }
    if (event != TransferScheduler::Event::Failed && event != TransferScheduler::Event::Refused) {
        return;
    }
    const QString text = QStringLiteral("“%1”传输故障：%2").arg(fileName, outcome.reason);
    m_failureText = text;
    m_statusText->setText(text);
    notifyHidden(text, fileName);
}

// The malware scan before sending: the file it waits for, in passing, and for as long as it lasts, that
// the scanner gives no verdict (nothing is sent meanwhile).
void CMainFrame::connectMalwareScan() {
    m_scannerDownText = new QLabel(statusBar());
    m_scannerDownText->setObjectName(QStringLiteral("scannerDownText"));
    m_scannerDownText->setAccessibleName(QStringLiteral("病毒扫描服务不可用"));
    m_scannerDownText->setStyleSheet(QStringLiteral("QLabel { color: #c00000; font-weight: bold; }"));
    m_scannerDownText->hide();
    statusBar()->addPermanentWidget(m_scannerDownText);
    connect(&m_parts.upload, &UploadController::scannerDown, this, [this](const QString &why) {
        m_scannerDownText->setText(why);
        m_scannerDownText->setToolTip(why);
        m_scannerDownText->show();
    });
    connect(&m_parts.upload, &UploadController::scannerBack, m_scannerDownText, &QLabel::hide);
    connect(&m_parts.upload, &UploadController::scanWaiting, this, [this](const QString &fileName) {
        statusBar()->showMessage(QStringLiteral("正在扫描 %1…").arg(fileName), 3 * UploadController::kTickMs);
    });
}

void CMainFrame::publishStatus(StatusPublisher &publisher) {
    publishStationStatus(m_parts, publisher);
    connect(&publisher, &StatusPublisher::writeFailed, this, [this](const Failure &why) {
        m_notice->showPassing(QStringLiteral("无法更新状态文件（不影响上传）：%1").arg(why.sentence()));
    });
    publisher.start();
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
        m_tableView->showProgress(QString());
        return; // between two files: the figures of the last one stay until the next one runs
    }
    showBars(snapshot.percent(), QString());
    m_statusText->setText(TransferProgress::describe(snapshot));
    m_tableView->showProgress(QStringLiteral("%1% · %2")
                                  .arg(snapshot.percent())
                                  .arg(ByteUnits::formatRate(snapshot.bytesPerSecond)));
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
    if (m_configured && AutomaticSettings::from(m_parts.settings).startUploading) {
        m_uploadingOn = true;
        m_parts.upload.start();
    }
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
    // Uploading stays on between files of the automatic subfolders: 停止上传 turns it off.
    const bool armed = stopped && waitsForAutomaticFiles();
    setCommandState(ID_START_UPLOAD, stopped && !armed);
    setCommandState(ID_STOP_UPLOAD, !stopped || armed);
    // The queue may change while a file is sent, not during a stop's grace: the row whose transfer may
    // still run reads 已停止 then, and its file must not be taken from under it.
    const bool queueing = state != UploadState::Stopping;
    for (int id : kQueueCommands) {
        setCommandState(id, queueing);
    }
    if (m_explorerView) {
        m_explorerView->setQueueingAllowed(queueing);
    }
    updateTray();
    // A failure's reason stays on the live line until the next transfer starts; stopping says so.
    if (m_statusText && (m_failureText.isEmpty() || state == UploadState::Stopping)) {
        const QString texts[] = {QStringLiteral("空闲：未在上传"), QStringLiteral("正在上传…"),
                                 QStringLiteral("正在停止…")};
        m_statusText->setText(armed ? QStringLiteral("空闲：等待自动上传的文件")
                                    : texts[static_cast<int>(state)]);
    }
    updateMoveCommands();
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
    m_uploadingOn = true;
    m_parts.upload.start();
}

void CMainFrame::OnStopUpload() {
    m_uploadingOn = false;
    m_queueChecker->cancelAll();
    if (m_parts.upload.isStopped()) {
        showUploadState(UploadState::Stopped); // only waiting for automatic files: nothing to stop
        return;
    }
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
        showConfiguredState();
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
    applyAutomaticSettings();
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
void CMainFrame::moveSelected(int (QueueOperations::*move)(int, QString *)) {
    const QList<int> rows = m_tableView->selectedRows();
    if (!m_tableView->isActivePane() || rows.isEmpty() || m_tableView->isSorted() ||
        m_parts.upload.state() == UploadState::Stopping) {
        return;
    }
    QString refusal;
    const int to = (m_parts.queue.*move)(rows.first(), &refusal);
    if (to >= 0) {
        m_tableView->followMovedRow(to, rows.first());
    } else if (!refusal.isEmpty()) {
        OperatorMessages::show(m_tableView, Notice{NoticeCaption::kHint, refusal});
    }
}

// 立即重试: the selected failed rows are tried again without waiting for their pause to end.
void CMainFrame::OnRetryNow() {
    m_parts.upload.retryNow(m_tableView->selectedRows());
}

void CMainFrame::OnAddRecord() {
    if (m_parts.upload.state() == UploadState::Stopping ||
        refuseWhileNotConfigured(QStringLiteral("请确认中转目录下的当前子文件夹已双击选中。"))) {
        return;
    }
    queueFromTransit(m_contentView->currentDir(), QString());
}

void CMainFrame::OnDeleteRecord() {
    if (m_parts.upload.state() == UploadState::Stopping ||
        refuseWhileNotConfigured(QStringLiteral("未选中文件。请选择文件后再点击删除按钮。"))) {
        return;
    }
    afterQueueCommand(m_parts.queue.deleteRecord(m_tableView->selectedRows()));
    m_explorerView->fillFileList();
}

// A double-click in the file list (the list refills itself afterwards).
void CMainFrame::onFileActivated(const QString &name) {
    if (m_parts.upload.state() == UploadState::Stopping ||
        refuseWhileNotConfigured(QStringLiteral("确认中转目录下的当前子文件夹已双击选中"))) {
        return;
    }
    queueFromTransit(m_contentView->currentDir(), name);
}

// The station's own checks and automatic queue: the status bar names the file a check starts on, and a
// refusal of the automatic queue never opens a box; it passes through the status bar (and, while the
// window is hidden, the notification area) after the station journalled it.
void CMainFrame::installAutomation() {
    m_automation = new StationAutomation(m_parts, this);
    m_queueChecker = &m_automation->checker();
    m_autoQueue = &m_automation->autoQueue();
    connect(m_queueChecker, &QueueChecker::checking, this, [this](const QString &name) {
        statusBar()->showMessage(QStringLiteral("正在检查 %1…").arg(name));
    });
    connect(m_automation, &StationAutomation::refused, this,
            [this](const QString &folder, const QString &fileName, const QString &reason, bool journalled) {
                const QString text =
                    QStringLiteral("“%1”中的“%2”未自动加入队列：%3").arg(folder, fileName, reason);
                m_notice->showPassing(journalled ? text : text + QStringLiteral("（日志无法写入）"));
                notifyHidden(text, folder + QLatin1Char('/') + fileName);
            });
    connect(m_autoQueue, &AutoQueue::queued, this, [this] {
        m_autoQueued = true;
        sendAutomaticallyQueued();
    });
    connect(m_autoQueue, &AutoQueue::waitingChanged, this, &CMainFrame::showAutomaticFolders);
    // A subfolder that went (a share that dropped) is said once and stays in red until it is back.
    connect(m_autoQueue, &AutoQueue::folderUnavailable, this,
            [this](const QString &folder, const Failure &failure) {
                m_unavailableFolders.insert(folder, failure.reason);
                showUnavailableFolders();
                notifyHidden(QStringLiteral("自动上传文件夹“%1”无法访问：%2").arg(folder, failure.reason));
            });
    connect(m_autoQueue, &AutoQueue::folderBack, this, [this](const QString &folder) {
        m_unavailableFolders.remove(folder);
        showUnavailableFolders();
        m_notice->showPassing(QStringLiteral("自动上传文件夹“%1”已恢复，继续自动上传。").arg(folder));
    });
}

// While uploading is on (started by the operator, or at start by the settings), what the automatic
// subfolders queue is sent also after the queue has drained, which ends the upload; once the operator
// stopped it, 开始上传 is the operator's again.
void CMainFrame::sendAutomaticallyQueued() {
    if (!m_configured || !m_uploadingOn || !m_parts.upload.isStopped()) {
        return;
    }
    m_parts.upload.start();
    // Sent from the next turn on, not from inside the queueing of a batch.
    QTimer::singleShot(0, &m_parts.upload, &UploadController::OnTimer);
}

void CMainFrame::createUnavailableFoldersText() {
    m_unavailableFoldersText = new QLabel(statusBar());
    m_unavailableFoldersText->setObjectName(QStringLiteral("unavailableFoldersText"));
    m_unavailableFoldersText->setStyleSheet(QStringLiteral("QLabel { color: #c00000; font-weight: bold; }"));
    m_unavailableFoldersText->hide();
    statusBar()->addPermanentWidget(m_unavailableFoldersText);
}

void CMainFrame::showUnavailableFolders() {
    QStringList folders = m_unavailableFolders.keys();
    folders.sort();
    QStringList texts;
    for (const QString &folder : std::as_const(folders)) {
        texts << QStringLiteral("自动上传文件夹“%1”无法访问：%2")
                     .arg(folder, m_unavailableFolders.value(folder));
    }
    const QString text = texts.join(QStringLiteral("；"));
    m_unavailableFoldersText->setText(text);
    m_unavailableFoldersText->setToolTip(text);
    m_unavailableFoldersText->setAccessibleName(text);
    m_unavailableFoldersText->setVisible(!text.isEmpty());
}

// Uploading is on, stopped only because the queue drained, and automatic subfolders may bring files.
bool CMainFrame::waitsForAutomaticFiles() const {
    return m_uploadingOn && m_configured && !AutomaticSettings::from(m_parts.settings).folders.isEmpty();
}

void CMainFrame::applyAutomaticSettings() {
    m_automation->configure(m_configured);
    showUploadState(m_parts.upload.state());
    // A subfolder no longer automatic (or the station no longer set up) is no longer watched for.
    const QStringList automatic =
        m_configured ? AutomaticSettings::from(m_parts.settings).folders : QStringList();
    for (const QString &folder : m_unavailableFolders.keys()) {
        if (!automatic.contains(folder)) {
            m_unavailableFolders.remove(folder);
        }
    }
    showUnavailableFolders();
}

// The marks of the automatic subfolders; after files were queued, the panes show them gone.
void CMainFrame::showAutomaticFolders() {
    QHash<QString, int> waiting;
    for (const QString &folder : AutomaticSettings::from(m_parts.settings).folders) {
        waiting.insert(folder, m_autoQueue->waitingCount(folder));
    }
    m_contentView->setAutomatic(waiting);
    if (m_autoQueued) {
        m_autoQueued = false;
        m_contentView->rescan();
        m_explorerView->fillFileList();
    }
}

// Queues fileName of the current subfolder, or (empty name) the whole subfolder; unless a command on the
// same file still waits for its check.
void CMainFrame::queueFromTransit(const QString &currentDir, const QString &fileName) {
    if (!currentDir.isEmpty() &&
        m_queueChecker->covers(Paths::join(m_parts.settings.transitFolder, currentDir), fileName)) {
        statusBar()->showMessage(
            fileName.isEmpty()
                ? QStringLiteral("“%1”中的文件正在检查，请等检查结束后再添加。").arg(currentDir)
                : QStringLiteral("“%1”正在检查，请等检查结束后再添加。").arg(fileName),
            10000);
        return;
    }
    if (fileName.isEmpty()) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    continueQueueing(currentDir, fileName, {});
    if (fileName.isEmpty()) {
        QApplication::restoreOverrideCursor();
    }
}

// One run of the queueing command; when its files want their content checked, the checker runs the
// check and then this again, until the command is done.
void CMainFrame::continueQueueing(const QString &currentDir, const QString &fileName,
                                  QueueOperations::Batch batch) {
    const bool resumed = batch.started;
    const QueueOperations::Outcome outcome =
        fileName.isEmpty() ? m_parts.queue.addRecord(currentDir, &batch)
                           : m_parts.queue.queueTransitFile(fileName, currentDir, &batch);
    if (outcome.needsCheck) {
        statusBar()->showMessage(QStringLiteral("正在检查 %1…").arg(batch.unchecked().value(0)));
        m_queueChecker->submit(batch, fileName, [this, currentDir, fileName](QueueOperations::Batch checked) {
            continueQueueing(currentDir, fileName, std::move(checked));
        });
        return;
    }
    if (resumed && outcome.summary.isEmpty()) {
        statusBar()->clearMessage(); // the check's line is done with
    }
    afterQueueCommand(outcome);
    // The double-click's list refills itself at once; after a check it is refilled here.
    if (fileName.isEmpty() || resumed) {
        m_explorerView->fillFileList();
    }
}

// The transit folder list shows the new file counts after every command that went through.
void CMainFrame::afterQueueCommand(const QueueOperations::Outcome &outcome) {
    if (outcome.succeeded) {
        m_contentView->refreshFolderList();
    }
    if (!outcome.summary.isEmpty()) {
        m_notice->showPassing(outcome.summary);
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
    connectQueueView();
}

// Says in the window whether the station still waits to be set up, or what is wrong with its settings.
void CMainFrame::showConfiguredState() {
    m_contentView->setHint(m_configured ? QString() : kNotConfigured);
    if (!m_configured) {
        m_notice->setLasting(kNotConfigured);
        return;
    }
    m_notice->setLasting(QString());
    SettingsCheck::Problem problem = SettingsCheck::firstProblem(m_parts.settings);
    const QList<SettingsCheck::Field> missing = SettingsCheck::missingFolders(m_parts.settings);
    if (problem.text.isEmpty() && !missing.isEmpty()) {
        problem.text = QStringLiteral("%1“%2”不存在。")
                           .arg(SettingsCheck::label(missing.first()),
                                m_parts.settings.*SettingsCheck::member(missing.first()));
    }
    if (!problem.text.isEmpty()) {
        m_notice->setLasting(QStringLiteral("软件设置有误：%1请打开“软件设置”修改。").arg(problem.text));
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
    m_notice->showPassing(
        types.isEmpty()
            ? QStringLiteral("允许上传的文件类型已清空：现在不能添加任何文件。")
            : QStringLiteral("允许上传的文件类型已更新：%1").arg(types.join(QStringLiteral("、"))));
}

// A sent file that could not leave the upload folder: always in the status bar, in a box once until a
// move succeeds again (a broken completion folder would otherwise raise one box per file).
void CMainFrame::onSentFileMoveFailed(const QString &message) {
    m_notice->showPassing(message);
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
        m_memory->restoreGeometry(m_historyDialog);
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
    rememberLayout();
    if (m_exitConfirmed) {
        m_queueChecker->cancelAll();
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
    const bool armed = waitsForAutomaticFiles();
    m_trayStart->setEnabled(state == UploadState::Stopped && !armed);
    m_trayStop->setEnabled(state == UploadState::Uploading || armed);
    const int complete = m_parts.table.countWithStatus(UploadRecord::kStatusComplete);
    const QString states[] = {QStringLiteral("未在上传"), QStringLiteral("正在上传"),
                              QStringLiteral("正在停止")};
    QString tip = QStringLiteral("%1\n%2 %3/%4")
                      .arg(kTitle, states[static_cast<int>(state)])
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
    m_tray->showMessage(kTitle, text,
                        fileName.isEmpty() ? QSystemTrayIcon::Information : QSystemTrayIcon::Warning);
}

// The first start's panes: the queue takes two thirds of the width, the file list two thirds of the
// right-hand height. The splitters keep these proportions as the window grows or shrinks, until the
// operator moves them.
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

// 查看 → 隐藏已完成 (remembered in the operator's window.ini, never in the settings of record) and
// 按上传顺序, the way back from a sorted view; Ctrl+F to the queue's filter.
void CMainFrame::createQueueViewActions(QMenu *view) {
    view->addSeparator();
    QAction *hide = view->addAction(QStringLiteral("隐藏已完成(&C)"));
    hide->setObjectName(QStringLiteral("hideFinishedAction"));
    hide->setCheckable(true);
    const QString memory = QDir(m_parts.workFolder).filePath(QStringLiteral("window.ini"));
    hide->setChecked(
        QSettings(memory, QSettings::IniFormat).value(QStringLiteral("Queue/HideFinished")).toBool());
    m_tableView->queueFilter().setHideFinished(hide->isChecked());
    connect(hide, &QAction::toggled, this, [this, memory](bool on) {
        m_tableView->queueFilter().setHideFinished(on);
        QSettings(memory, QSettings::IniFormat).setValue(QStringLiteral("Queue/HideFinished"), on);
    });
    QAction *sendOrder = view->addAction(QStringLiteral("按上传顺序排列(&O)"));
    sendOrder->setObjectName(QStringLiteral("sendOrderAction"));
    sendOrder->setEnabled(false);
    connect(sendOrder, &QAction::triggered, m_tableView, &CTableView::showSendOrder);
    connect(m_tableView, &CTableView::sortChanged, sendOrder, &QAction::setEnabled);
    view->addAction(m_queuePane->findAction());
}

// The row menu of the queue calls the frame's commands; what it offers follows the row and the state.
void CMainFrame::connectQueueView() {
    connect(m_tableView, &CTableView::retryRequested, this, &CMainFrame::OnRetryNow);
    connect(m_tableView, &CTableView::copyShaRequested, this, &CMainFrame::copyRowSha);
    connect(m_tableView, &CTableView::historyRequested, this, &CMainFrame::showRowInHistory);
    connect(m_tableView, &CTableView::openFolderRequested, this, &CMainFrame::openRowFolder);
    connect(m_tableView, &CTableView::sortChanged, this, &CMainFrame::updateMoveCommands);
    m_tableView->setRowActions([this](int row) {
        CTableView::RowActions allowed;
        allowed.retry = m_parts.table.cell(row, UploadRecord::CellStatus) == UploadRecord::kStatusFault;
        allowed.remove = m_parts.upload.state() != UploadState::Stopping;
        allowed.copySha = !rowSha(row).isEmpty();
        allowed.history = allowed.folder = m_configured;
        return allowed;
    });
}

// Every passing message of the status bar (statusBar()->showMessage, from whichever part of the window)
// goes to the notices beside the live line, for as long as its sender asked (10 s when it gave no
// time): the status bar's own message would hide the live line.
void CMainFrame::redirectStatusMessages() {
    connect(statusBar(), &QStatusBar::messageChanged, this, [this](const QString &text) {
        if (text.isEmpty()) {
            return;
        }
        int ms = StatusNotice::kPassingMs;
        for (const QTimer *timer : statusBar()->findChildren<QTimer *>(Qt::FindDirectChildrenOnly)) {
            if (timer->isActive()) {
                ms = timer->interval(); // the status bar's own timer for the message just shown
            }
        }
        const QString shown = text; // text is the status bar's own, which clearMessage() empties
        statusBar()->clearMessage();
        m_notice->showPassing(shown, ms);
    });
}

// 上移/下移 move a record in the send order: while the view is sorted by a column they would seem to
// move rows at random, so they wait until it shows the send order again.
void CMainFrame::updateMoveCommands() {
    if (!m_tableView || m_parts.upload.state() == UploadState::Stopping) {
        return;
    }
    const bool sorted = m_tableView->isSorted();
    const QString why = QStringLiteral("（按列排序时不可用：请点“查看 → 按上传顺序排列”）");
    for (const auto &[id, tip] : {std::pair{ID_MOVE_UP, QStringLiteral("上移记录")},
                                  std::pair{ID_MOVE_DOWN, QStringLiteral("下移记录")}}) {
        menuAction(id)->setEnabled(!sorted);
        toolAction(id)->setEnabled(!sorted);
        toolAction(id)->setToolTip(sorted ? tip + why : tip);
    }
}

// The SHA-256 of what was sent for a completed row: from this run's outcome, or else from the day's
// journal (its last 完成 line for the file and destination).
QString CMainFrame::rowSha(int row) {
    if (m_parts.table.cell(row, UploadRecord::CellStatus) != UploadRecord::kStatusComplete) {
        return {};
    }
    const QString name = m_parts.table.cell(row, UploadRecord::CellFileName);
    const QString destination = m_parts.table.cell(row, UploadRecord::CellDestination);
    const QString key = name + QLatin1Char('\t') + destination;
    if (const auto known = m_rowShas.constFind(key); known != m_rowShas.cend()) {
        return *known;
    }
    QString sha;
    const QString completed = JournalEvents::text(JournalEvent::Completed);
    Failure ignored; // no journal, no digest: the menu item stays off
    DayJournal::readEach(
        m_parts.dayJournal.path(),
        [&](QStringList &fields) {
            if (fields[1] == completed && DayJournal::unguarded(fields[2]) == name &&
                DayJournal::unguarded(fields[3]) == destination && !fields[9].isEmpty()) {
                sha = fields[9];
            }
            return true;
        },
        &ignored);
    m_rowShas.insert(key, sha);
    return sha;
}

void CMainFrame::copyRowSha(int row) {
    const QString sha = rowSha(row);
    if (sha.isEmpty()) {
        return;
    }
    QGuiApplication::clipboard()->setText(sha);
    m_notice->showPassing(QStringLiteral("已复制“%1”的 SHA-256：%2")
                              .arg(m_parts.table.cell(row, UploadRecord::CellFileName), sha));
}

// The history window, searching every day for the row's file.
void CMainFrame::showRowInHistory(int row) {
    OnViewHistory();
    if (auto *search = m_historyDialog->findChild<QLineEdit *>(QStringLiteral("searchEdit"))) {
        search->setText(m_parts.table.cell(row, UploadRecord::CellFileName));
    }
}

// The folder that holds the row's file now: the completion folder's day folder once it was sent, the
// upload folder while it waits; the transit folder when it is in neither (a file taken back).
void CMainFrame::openRowFolder(int row) {
    const SettingsRecord &settings = m_parts.settings;
    const QString name = m_parts.table.cell(row, UploadRecord::CellFileName);
    QString folder = settings.uploadFolder;
    if (m_parts.table.cell(row, UploadRecord::CellStatus) == UploadRecord::kStatusComplete) {
        const QString day = m_parts.table.cell(row, UploadRecord::CellFinishTime).left(10);
        const QString sent = Paths::join(settings.completionFolder, day);
        if (!QFileInfo::exists(Paths::join(settings.uploadFolder, name)) && QFileInfo::exists(sent)) {
            folder = sent;
        }
    } else if (!QFileInfo::exists(Paths::join(settings.uploadFolder, name))) {
        folder = settings.transitFolder;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void CMainFrame::showAsRemembered() {
    if (m_memory->restoreWindow(this)) {
        showMaximized();
    } else {
        show();
    }
}

// At the first showing the panes take their remembered layout, or the first start's: the views have
// had their sizes by now, so the widths set here are not fitted away at once.
void CMainFrame::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    if (m_panesLaidOut || !m_splitter) {
        return;
    }
    m_panesLaidOut = true;
    if (!m_memory->restorePanes()) {
        layoutPanes();
        for (QTableView *table : std::initializer_list<QTableView *>{m_tableView, m_contentView}) {
            WindowMemory::fitColumns(table);
        }
    }
}

void CMainFrame::rememberLayout() {
    if (!m_panesLaidOut) {
        return; // never shown: there is nothing of the operator's to keep
    }
    m_memory->save(this);
    if (m_historyDialog) {
        m_memory->saveGeometry(m_historyDialog);
    }
}

// The keyboard: F5, Ctrl+Enter, Ctrl+. (and Esc, see keyPressEvent), Ctrl+H and Delete reach the
// commands of the menu, which shows them; Tab and F6 go from pane to pane.
void CMainFrame::createShortcuts() {
    menuAction(ID_REFRESH)->setShortcut(QKeySequence(Qt::Key_F5));
    menuAction(ID_START_UPLOAD)
        ->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    menuAction(ID_STOP_UPLOAD)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Period));
    menuAction(ID_VIEW_HISTORY)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    // Delete takes records off the queue only while the queue has the focus: in the file list or a text
    // field it must never delete anything.
    QAction *remove = menuAction(ID_DELETE_RECORD);
    remove->setShortcut(QKeySequence(QKeySequence::Delete));
    remove->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    m_tableView->addAction(remove);

    // Tables keep Tab for moving between their cells unless told otherwise; here it moves between panes.
    for (QAbstractItemView *pane : panes()) {
        pane->setTabKeyNavigation(false);
    }
    setTabOrder(m_tableView, m_explorerView);
    setTabOrder(m_explorerView, m_contentView);
    auto *next = new QAction(this);
    next->setObjectName(QStringLiteral("nextPaneAction"));
    next->setShortcut(QKeySequence(Qt::Key_F6));
    connect(next, &QAction::triggered, this, [this] { focusPane(1); });
    auto *previous = new QAction(this);
    previous->setObjectName(QStringLiteral("previousPaneAction"));
    previous->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6));
    connect(previous, &QAction::triggered, this, [this] { focusPane(-1); });
    addActions({next, previous});
}

// F6 and Shift+F6: the next or previous of the three panes, round; the first when none has the focus.
void CMainFrame::focusPane(int step) {
    const QList<QAbstractItemView *> all = panes();
    QWidget *focus = QApplication::focusWidget();
    qsizetype current = -1;
    for (qsizetype i = 0; i < all.size(); ++i) {
        if (focus && (focus == all[i] || all[i]->isAncestorOf(focus))) {
            current = i;
        }
    }
    const qsizetype count = all.size();
    const qsizetype target = current < 0 ? 0 : (current + step + count) % count;
    all[target]->setFocus(Qt::OtherFocusReason);
}

QList<QAbstractItemView *> CMainFrame::panes() const {
    return {m_tableView, m_explorerView, m_contentView};
}

// Esc stops the upload as Ctrl+. does, but only when nothing else wants the key: it comes here only
// when the widget with the focus let it pass (a menu, a popup or a dialog takes it before), and a text
// field, whose Esc may be its own (clearing a filter, closing a completer), never gives it away.
void CMainFrame::keyPressEvent(QKeyEvent *event) {
    QWidget *focus = QApplication::focusWidget();
    const bool editing = qobject_cast<QLineEdit *>(focus) || qobject_cast<QAbstractSpinBox *>(focus) ||
                         qobject_cast<QComboBox *>(focus) || qobject_cast<QTextEdit *>(focus);
    QAction *stop = menuAction(ID_STOP_UPLOAD);
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && !editing && stop &&
        stop->isEnabled()) {
        stop->trigger();
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

// What a screen reader says for the window's controls that show no text of their own.
void CMainFrame::nameForAccessibility() {
    for (auto it = m_toolActions.cbegin(); it != m_toolActions.cend(); ++it) {
        QWidget *button = m_toolBar->widgetForAction(it.value());
        button->setObjectName(QStringLiteral("toolButton%1").arg(it.key()));
        button->setAccessibleName(it.value()->toolTip());
    }
    if (auto *more = m_toolBar->findChild<QToolButton *>(QStringLiteral("qt_toolbar_ext_button"))) {
        more->setAccessibleName(QStringLiteral("更多工具栏按钮"));
    }
    m_tableView->setAccessibleName(QStringLiteral("上传队列"));
    m_explorerView->setAccessibleName(QStringLiteral("当前中转子目录中的文件"));
    m_contentView->setAccessibleName(QStringLiteral("中转子目录"));
    m_progress->setAccessibleName(QStringLiteral("上传进度"));
    m_statusProgress->setAccessibleName(QStringLiteral("上传进度（状态栏）"));
}
