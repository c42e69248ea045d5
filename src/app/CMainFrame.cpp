#include "app/CMainFrame.h"

#include "gui/widgets/ArtWork.h"
#include "gui/dialogs/CAboutDlg.h"
#include "gui/widgets/OperatorMessages.h"
#include "core/station/StationParts.h"
#include "gui/views/CContentView.h"
#include "gui/views/CDriveExplorerView.h"
#include "core/common/CommandIds.h"
#include "gui/views/CTableView.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QProgressBar>
#include <QSplitter>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolBar>

namespace {

// The commands whose menu item and toolbar button follow the uploading / stopped states.
const int kQueueCommands[] = {ID_MOVE_UP, ID_MOVE_DOWN, ID_ADD_RECORD, ID_DELETE_RECORD};

const QString kTrayTip = QStringLiteral("Vellorix900外网上传");

} // namespace

CMainFrame::CMainFrame(StationParts &parts, QWidget *parent)
    : QMainWindow(parent), m_cfg(parts.settingsStore, parts.mapping, this), m_parts(parts),
      m_scheduler(parts.table, parts.log, parts.job, m_cfg, *parts.clock,
                  [&parts](const QString &folder, const QString &name, const QString &destination,
                           const QString &address, const QString &port) {
                      return parts.worker.start(folder, name, destination, address, port);
                  }),
      m_queue(parts.table, parts.log, parts.filter, parts.mapping, m_cfg) {
    setObjectName(QStringLiteral("mainFrame"));
    setWindowIcon(ArtWork::applicationIcon());
}

CMainFrame::~CMainFrame() {
    shutDownTransfer();
}

void CMainFrame::OnCreate() {
    createPanes();
    createMenu();
    createToolBar();
    EnterStoppedState();
    if (!m_parts.settingsStore.load(m_cfg)) {
        // No settings file yet: the operator sets the station up before the window appears.
        m_cfg.exec();
    }
}

void CMainFrame::createPanes() {
    m_wndSplitter = new QSplitter(Qt::Horizontal, this);
    m_wndSplitter->setObjectName(QStringLiteral("outerSplitter"));
    m_wndSplitter->setChildrenCollapsible(false);
    m_tableView = new CTableView(m_parts.table, m_parts.log, m_wndSplitter);
    m_tableView->setNoticePresenter([this](const Notice &notice) { OperatorMessages::show(this, notice); });
    m_wndRightSplitter = new QSplitter(Qt::Vertical, m_wndSplitter);
    m_wndRightSplitter->setObjectName(QStringLiteral("rightSplitter"));
    m_wndRightSplitter->setChildrenCollapsible(false);
    m_explorerView =
        new CDriveExplorerView(m_cfg, m_strCurrentDir, m_bUploadStopped, m_doc, m_wndRightSplitter);
    m_contentView = new CContentView(m_cfg, m_doc, m_wndRightSplitter);
    connect(m_contentView, &CContentView::currentDirChanged, this,
            [this](const QString &name) { m_strCurrentDir = name; });
    connect(m_explorerView, &CDriveExplorerView::fileActivated, this, &CMainFrame::onFileActivated);
    setCentralWidget(m_wndSplitter);

    m_timer = new QTimer(this);
    m_timer->setInterval(2000);
    connect(m_timer, &QTimer::timeout, this, &CMainFrame::OnTimer);
    m_timer->start();
}

QAction *CMainFrame::addCommand(QMenu *menu, int id, const QString &text) {
    auto *action = menu->addAction(text);
    action->setData(id);
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    m_menuActions.insert(id, action);
    return action;
}

void CMainFrame::createMenu() {
    QMenu *file = menuBar()->addMenu(QStringLiteral("文件(&F)"));
    addCommand(file, ID_APP_EXIT, QStringLiteral("退出(&X)"));

    QMenu *view = menuBar()->addMenu(QStringLiteral("查看(&V)"));
    QAction *toolbar = view->addAction(QStringLiteral("工具栏(&T)"));
    toolbar->setData(ID_VIEW_TOOLBAR);
    toolbar->setCheckable(true);
    toolbar->setChecked(true);
    m_menuActions.insert(ID_VIEW_TOOLBAR, toolbar);

    QMenu *operations = menuBar()->addMenu(QStringLiteral("操作(&E)"));
    operations->setSeparatorsCollapsible(false);
    operations->addSeparator();
    addCommand(operations, ID_SETTINGS, QStringLiteral("软件设置(&C)\t"));
    operations->addSeparator();
    addCommand(operations, ID_REFRESH, QStringLiteral("窗口刷新(&R)\t"));
    operations->addSeparator();
    addCommand(operations, ID_START_UPLOAD, QStringLiteral("开始上传(&S)"));
    addCommand(operations, ID_STOP_UPLOAD, QStringLiteral("停止上传(&T)"));
    operations->addSeparator();
    addCommand(operations, ID_MOVE_UP, QStringLiteral("记录上移(&U)\t"));
    addCommand(operations, ID_MOVE_DOWN, QStringLiteral("记录下移(&D)\t"));
    addCommand(operations, ID_DELETE_RECORD, QStringLiteral("删除记录(&R)\t"));
    addCommand(operations, ID_ADD_RECORD, QStringLiteral("添加记录(&A)"));

    QMenu *help = menuBar()->addMenu(QStringLiteral("帮助(&H)"));
    addCommand(help, ID_APP_ABOUT, QStringLiteral("关于 Brelvantis(&A)..."));
}

void CMainFrame::createToolBar() {
    m_wndToolBar = new QToolBar(QStringLiteral("Brelvantis"), this);
    m_wndToolBar->setObjectName(QStringLiteral("mainToolBar"));
    m_wndToolBar->setIconSize(QSize(ArtWork::kToolbarImageWidth, ArtWork::kToolbarImageHeight));
    m_wndToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_wndToolBar->setMovable(true);
    m_wndToolBar->setFloatable(true);
    m_wndToolBar->setAllowedAreas(Qt::AllToolBarAreas);

    struct Button {
        int id; // 0: separator
        const char16_t *tip;
    };
    const Button buttons[] = {
        {ID_START_UPLOAD, u"开始上传"},
        {ID_STOP_UPLOAD, u"停止上传"},
        {0, nullptr},
        {ID_MOVE_UP, u"上移记录"},
        {0, nullptr},
        {ID_MOVE_DOWN, u"下移记录"},
        {ID_ADD_RECORD, u"添加记录"},
        {ID_DELETE_RECORD, u"删除记录"},
        {0, nullptr},
        {ID_REFRESH, u"刷新中转文件夹"},
        {ID_SETTINGS, u"配置"},
    };
    for (const Button &button : buttons) {
        if (button.id == 0) {
            m_wndToolBar->addSeparator();
            continue;
        }
        const int id = button.id;
        QAction *action = m_wndToolBar->addAction(QIcon(ArtWork::toolbarImage(id)), QString());
        action->setToolTip(QString::fromUtf16(button.tip));
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        m_toolActions.insert(id, action);
    }

    // The last slot holds the progress bar, inside the toolbar so it moves and hides with it.
    auto *slot = new QWidget(m_wndToolBar);
    slot->setObjectName(QStringLiteral("progressSlot"));
    auto *layout = new QHBoxLayout(slot);
    layout->setContentsMargins(5, 5, 5, 5);
    m_wndProgress = new QProgressBar(slot);
    m_wndProgress->setObjectName(QStringLiteral("uploadProgress"));
    m_wndProgress->setRange(0, 100);
    m_wndProgress->setValue(0);
    m_wndProgress->setTextVisible(false);
    m_wndProgress->setFixedSize(370, 30);
    layout->addWidget(m_wndProgress);
    slot->setFixedWidth(450);
    m_wndToolBar->addWidget(slot);
    connect(m_wndToolBar, &QToolBar::orientationChanged, this, [this, slot](Qt::Orientation orientation) {
        const bool across = orientation == Qt::Horizontal;
        m_wndProgress->setOrientation(orientation);
        m_wndProgress->setFixedSize(across ? QSize(370, 30) : QSize(30, 370));
        if (across) {
            slot->setFixedSize(450, QWIDGETSIZE_MAX);
        } else {
            slot->setFixedSize(QWIDGETSIZE_MAX, 450);
        }
        slot->setMinimumSize(0, 0);
    });

    addToolBar(Qt::TopToolBarArea, m_wndToolBar);
    QAction *toggle = menuAction(ID_VIEW_TOOLBAR);
    connect(toggle, &QAction::toggled, m_wndToolBar, &QToolBar::setVisible);
    connect(m_wndToolBar, &QToolBar::visibilityChanged, toggle, &QAction::setChecked);
}

void CMainFrame::OnInitialUpdates() {
    m_doc.OnNewDocument();
    setWindowTitle(m_doc.title() + QStringLiteral(" - Brelvantis"));
    m_doc.m_pTableView = m_tableView;
    m_tableView->OnInitialUpdate(m_cfg.recordFolder);
    m_explorerView->OnInitialUpdate();
    m_contentView->OnInitialUpdate();
}

void CMainFrame::OnCommand(int id) {
    switch (id) {
    case ID_SETTINGS:
        OnSettings();
        break;
    case ID_REFRESH:
        OnRefresh();
        break;
    case ID_MOVE_UP:
    case ID_MOVE_DOWN:
        if (m_doc.m_pTableView) {
            m_doc.m_pTableView->OnCommand(id);
        }
        break;
    case ID_DELETE_RECORD:
        OnDeleteRecord();
        break;
    case ID_ADD_RECORD:
        OnAddRecord();
        break;
    case ID_START_UPLOAD:
        OnStartUpload();
        break;
    case ID_STOP_UPLOAD:
        OnStopUpload();
        break;
    case ID_APP_EXIT:
        OnAppExit();
        break;
    case ID_APP_ABOUT:
        OnAppAbout();
        break;
    default:
        break;
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

void CMainFrame::OnStartUpload() {
    if (m_bStopPending) {
        return;
    }
    setCommandState(ID_START_UPLOAD, false);
    setCommandState(ID_STOP_UPLOAD, true);
    for (int id : kQueueCommands) {
        setCommandState(id, false);
    }
    m_bUploadStopped = false;
    update();
}

void CMainFrame::EnterStoppedState() {
    m_bStopPending = false;
    setCommandState(ID_START_UPLOAD, true);
    setCommandState(ID_STOP_UPLOAD, false);
    for (int id : kQueueCommands) {
        setCommandState(id, true);
    }
    m_bUploadStopped = true;
    update();
}

void CMainFrame::OnStopUpload() {
    if (m_bStopPending) {
        return;
    }
    m_scheduler.RequestStop();
    // The worker looks at the request after each block. Give it its grace period without freezing
    // the window; nothing is scheduled and the queue stays locked until the stopped state returns.
    m_bStopPending = true;
    setCommandState(ID_START_UPLOAD, false);
    setCommandState(ID_STOP_UPLOAD, false);
    QTimer::singleShot(m_stopGraceMs, this, &CMainFrame::finishStop);
}

void CMainFrame::finishStop() {
    if (m_bStopPending) {
        EnterStoppedState();
    }
}

void CMainFrame::OnTimer() {
    if (m_bUploadStopped || m_bStopPending || !m_doc.m_pTableView) {
        return;
    }
    if (m_scheduler.ScheduleNext() == TransferScheduler::kNothingToSend) {
        EnterStoppedState();
    }
    m_wndProgress->setValue(m_scheduler.GetUploadProgress());
}

void CMainFrame::OnSettings() {
    m_cfg.exec();
    // Whatever the button: the folders may have changed.
    OnRefresh();
}

void CMainFrame::OnRefresh() {
    if (m_doc.m_pContentView) {
        m_doc.m_pContentView->RefreshFolderList();
    }
}

void CMainFrame::OnAddRecord() {
    if (!m_bUploadStopped || !m_doc.m_pTableView || !m_doc.m_pContentView) {
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QueueOperations::Outcome outcome = m_queue.AddRecord(m_doc.m_pContentView->currentDir());
    QApplication::restoreOverrideCursor();
    afterQueueCommand(outcome);
    if (m_doc.m_pDriveExplorerView) {
        m_doc.m_pDriveExplorerView->FillFileList();
    }
}

void CMainFrame::OnDeleteRecord() {
    if (!m_bUploadStopped || !m_doc.m_pTableView) {
        return;
    }
    afterQueueCommand(m_queue.DeleteRecord(m_strCurrentDir));
    if (m_doc.m_pDriveExplorerView) {
        m_doc.m_pDriveExplorerView->FillFileList();
    }
}

// A double-click in the file list (the list refills itself afterwards).
void CMainFrame::onFileActivated(const QString &name) {
    if (!m_bUploadStopped || !m_doc.m_pContentView) {
        return;
    }
    afterQueueCommand(m_queue.QueueTransitFile(name, m_doc.m_pContentView->currentDir()));
}

// The transit folder list shows the new file counts after every command that went through.
void CMainFrame::afterQueueCommand(const QueueOperations::Outcome &outcome) {
    if (outcome.succeeded && m_doc.m_pContentView) {
        m_doc.m_pContentView->RefreshFolderList();
    }
    OperatorMessages::show(m_doc.m_pTableView, outcome.notice);
}

void CMainFrame::OnAppAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CMainFrame::OnAppExit() {
    if (!OperatorMessages::ask(this, QStringLiteral("是否退出程序?"))) {
        return;
    }
    m_bExitConfirmed = true;
    close();
}

void CMainFrame::shutDownTransfer() {
    if (m_timer) {
        m_timer->stop();
    }
    // A transfer still running is abandoned and its thread joined before anything it uses goes away.
    m_parts.worker.abandon();
    m_parts.worker.wait(std::chrono::seconds(5));
}

void CMainFrame::closeEvent(QCloseEvent *event) {
    if (m_bExitConfirmed) {
        shutDownTransfer();
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
    if (!m_tray) {
        m_tray = new QSystemTrayIcon(ArtWork::applicationIcon(), this);
        m_tray->setToolTip(kTrayTip);
        connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::DoubleClick) {
                show();
                raise();
                activateWindow();
            }
        });
    }
    m_tray->show();
    hide();
}

void CMainFrame::resizeEvent(QResizeEvent *event) {
    if (QAction *stop = menuAction(ID_STOP_UPLOAD)) {
        stop->setEnabled(false);
    }
    QMainWindow::resizeEvent(event);
    layoutPanes();
}

void CMainFrame::layoutPanes() {
    if (!m_wndSplitter || !m_wndRightSplitter) {
        return;
    }
    const QSize client = m_wndSplitter->size();
    const int width = client.width();
    const int height = client.height();
    const int left = std::max(10, 2 * width / 3);
    m_wndSplitter->setSizes({left, std::max(10, width - left)});
    const int top = std::max(10, 2 * height / 3);
    m_wndRightSplitter->setSizes({top, std::max(10, height - top)});
}
