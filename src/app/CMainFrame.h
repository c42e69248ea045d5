#pragma once

#include "core/queue/QueueOperations.h"
#include "core/upload/UploadController.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QString>
#include <memory>

class CCfgDlg;
class QAbstractItemView;
class CHelpDlg;
class CHistoryDlg;
class CContentView;
class CDriveExplorerView;
class CTableView;
class HistoryService;
class QueuePane;
class StatusNotice;
class StatusPublisher;
class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QSplitter;
class QSystemTrayIcon;
class QToolBar;
class QueueChecker;
class AutoQueue;
class StationAutomation;
struct StationParts;
class WindowMemory;

// The station's one window: the upload table on the left, the file list above the transit folder
// list on the right, the menu, the toolbar with the progress bar, and the notification-area icon it
// hides to when closed. It connects the station's parts to the panes; each menu item and toolbar
// button is connected to its On… slot.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(StationParts &parts, QWidget *parent = nullptr);
    ~CMainFrame() override;

    // Builds the panes, the menu and the toolbar, shows the stopped state and loads the settings.
    void OnCreate();
    // The panes' first showing, in creation order; then the upload heartbeat starts.
    void OnInitialUpdates();
    // Shows the window where the operator left it (window.ini), or at the first start's size.
    void showAsRemembered();
    // Feeds publisher from the station's parts and starts it; a write that fails is said in the status bar.
    void publishStatus(StatusPublisher &publisher);

    // The menu item and the toolbar button of a command id (null when it has none).
    QAction *menuAction(int id) const { return m_menuActions.value(id); }
    QAction *toolAction(int id) const { return m_toolActions.value(id); }
    QSystemTrayIcon *trayIcon() const { return m_tray; }
    bool isExitConfirmed() const { return m_exitConfirmed; }
    // False until settings have been loaded or saved: after a cancelled first start.
    bool isConfigured() const { return m_configured; }
    // The history window, once it has been opened.
    CHistoryDlg *historyWindow() const { return m_historyDialog; }

public slots:
    void OnStartUpload();
    void OnStopUpload();
    void OnSettings();
    void OnRefresh();
    void OnMoveUp();
    void OnMoveDown();
    void OnAddRecord();
    void OnDeleteRecord();
    void OnRetryNow();
    void OnAppExit();
    void OnAppAbout();
    // 帮助 → 使用说明 (F1): the operator's manual, in a window of its own.
    void showManual();
    void OnViewHistory();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    using Slot = void (CMainFrame::*)();

    void createPanes();
    void createMenu();
    void createToolBar();
    void createStatusBar();
    void showProgress(const TransferProgress::Snapshot &snapshot);
    void onRowEvent(TransferScheduler::Event event, int row, const TransferOutcome &outcome);
    void openDay();
    void showBars(int percent, const QString &label);
    void moveSelected(int (QueueOperations::*move)(int, QString *));
    void createTray();
    void updateTray();
    void notifyHidden(const QString &text, const QString &fileName = QString());
    QAction *addCommand(QMenu *menu, int id, const QString &text, Slot slot);
    void setCommandState(int id, bool available);
    void showUploadState(UploadState state);
    void layoutPanes();
    void onFileActivated(const QString &name);
    void afterQueueCommand(const QueueOperations::Outcome &outcome);
    void installAutomation();
    void createUnavailableFoldersText();
    void applyAutomaticSettings();
    bool waitsForAutomaticFiles() const;
    void showAutomaticFolders();
    void showUnavailableFolders();
    void sendAutomaticallyQueued();
    void queueFromTransit(const QString &currentDir, const QString &fileName);
    void continueQueueing(const QString &currentDir, const QString &fileName, QueueOperations::Batch batch);
    void connectStationParts();
    void showConfiguredState();
    bool refuseWhileNotConfigured(const QString &message = QString());
    void reloadFilter();
    void showFilterChanged();
    void onSentFileMoveFailed(const QString &message);
    void showRecordingFailed(const Failure &why);
    // The queue as a transfer list: its view menu items, its row menu, the notices beside the live line.
    void createQueueViewActions(QMenu *view);
    void connectQueueView();
    void redirectStatusMessages();
    void updateMoveCommands();
    QString rowSha(int row);
    void copyRowSha(int row);
    void showRowInHistory(int row);
    void openRowFolder(int row);
    void connectMalwareScan();
    void createShortcuts();
    void nameForAccessibility();
    void focusPane(int step);
    QList<QAbstractItemView *> panes() const; // the queue, the file list, the transit folder list
    void rememberLayout();

    StationParts &m_parts;
    CCfgDlg *m_settingsDialog = nullptr;
    StationAutomation *m_automation = nullptr; // the checks of queueing and the automatic queue
    QueueChecker *m_queueChecker = nullptr; // the automation's: the content checks, on a thread of their own
    AutoQueue *m_autoQueue = nullptr;       // the automation's: queues the automatic subfolders' files
    bool m_autoQueued = false;              // since the transit panes were last listed
    HistoryService *m_history = nullptr;    // made with the history window, on first use
    CHistoryDlg *m_historyDialog = nullptr;
    CHelpDlg *m_manual = nullptr;
    QSplitter *m_splitter = nullptr;
    QSplitter *m_rightSplitter = nullptr;
    QueuePane *m_queuePane = nullptr;
    CTableView *m_tableView = nullptr;
    CDriveExplorerView *m_explorerView = nullptr;
    CContentView *m_contentView = nullptr;
    QToolBar *m_toolBar = nullptr;
    QProgressBar *m_progress = nullptr;
    QLabel *m_statusText = nullptr;      // the live line: what is being sent, or why the last transfer failed
    StatusNotice *m_notice = nullptr;    // summaries and notices, beside the live line
    QString m_failureText;               // stays until the next transfer starts
    QHash<QString, QString> m_rowShas;   // file and destination → the SHA-256 of its last completion
    QLabel *m_recordingText = nullptr;   // shown only while the day's records cannot be written
    QLabel *m_scannerDownText = nullptr; // shown only while the malware scanner gives no verdict
    QLabel *m_unavailableFoldersText = nullptr;   // shown only while an automatic subfolder is away
    QHash<QString, QString> m_unavailableFolders; // automatic subfolder → why it cannot be looked at
    QProgressBar *m_statusProgress = nullptr;
    QSystemTrayIcon *m_tray = nullptr;
    QAction *m_trayStart = nullptr;
    QAction *m_trayStop = nullptr;
    QHash<QString, QElapsedTimer> m_lastFailureBalloon;
    QHash<int, QAction *> m_menuActions;
    QHash<int, QAction *> m_toolActions;
    std::unique_ptr<WindowMemory> m_memory;
    bool m_panesLaidOut = false; // once, at the first showing: afterwards the splitters are the operator's
    bool m_exitConfirmed = false;
    bool m_configured = false;
    bool m_stopping = false;    // the stop command's grace runs
    bool m_uploadingOn = false; // 开始上传 (or StartUploading=1), not 停止上传, was the last word
    bool m_moveFailureShown = false; // a failed move of a sent file was put in a box since the last success
};
