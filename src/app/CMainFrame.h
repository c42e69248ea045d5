#pragma once

#include "app/CBrelvantisDoc.h"
#include "gui/dialogs/CCfgDlg.h"
#include "core/queue/QueueOperations.h"
#include "core/upload/TransferScheduler.h"

#include <QHash>
#include <QMainWindow>
#include <QString>

class CContentView;
class CDriveExplorerView;
class CTableView;
class QAction;
class QProgressBar;
class QSplitter;
class QSystemTrayIcon;
class QTimer;
class QToolBar;
struct StationParts;

// The station's one window: the upload table on the left, the file list above the transit folder
// list on the right, the menu, the toolbar with the progress bar, the 2-second scheduler tick, and
// the notification-area icon it hides to when closed.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(StationParts &parts, QWidget *parent = nullptr);
    ~CMainFrame() override;

    // Builds the panes, the menu and the toolbar, enters the stopped state and loads the settings.
    void OnCreate();
    // The document's new-document step and the panes' first showing, in creation order.
    void OnInitialUpdates();

    // Uploading switched on and off, and the menu and toolbar states of each.
    void OnStartUpload();
    void OnStopUpload();
    void EnterStoppedState();
    void OnTimer();

    void OnSettings();
    void OnRefresh();
    void OnAddRecord();
    void OnDeleteRecord();
    void OnAppExit();
    void OnAppAbout();

    // Routes a command id as the menu and the toolbar do.
    void OnCommand(int id);

    // The menu item and the toolbar button of a command (null when it has none).
    QAction *menuAction(int id) const { return m_menuActions.value(id); }
    QAction *toolAction(int id) const { return m_toolActions.value(id); }
    bool isStopPending() const { return m_bStopPending; }
    QTimer *timer() const { return m_timer; }
    QSystemTrayIcon *trayIcon() const { return m_tray; }
    CBrelvantisDoc &document() { return m_doc; }
    TransferScheduler &scheduler() { return m_scheduler; }
    QueueOperations &queue() { return m_queue; }

    // The time the stop command gives a running transfer before the stopped state returns.
    static constexpr int kStopGraceMs = 5000;
    void setStopGraceMs(int ms) { m_stopGraceMs = ms; }

    QSplitter *m_wndSplitter = nullptr;
    QSplitter *m_wndRightSplitter = nullptr;
    QProgressBar *m_wndProgress = nullptr;
    bool m_bUploadStopped = true;
    CCfgDlg m_cfg; // the settings record, and the dialog that edits it
    QToolBar *m_wndToolBar = nullptr;
    QString m_strCurrentDir;
    bool m_bExitConfirmed = false;

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void createPanes();
    void createMenu();
    void createToolBar();
    QAction *addCommand(QMenu *menu, int id, const QString &text);
    void setCommandState(int id, bool available);
    void layoutPanes();
    void finishStop();
    void shutDownTransfer();
    void onFileActivated(const QString &name);
    void afterQueueCommand(const QueueOperations::Outcome &outcome);

    StationParts &m_parts;
    CBrelvantisDoc m_doc;
    TransferScheduler m_scheduler;
    QueueOperations m_queue;
    CTableView *m_tableView = nullptr;
    CDriveExplorerView *m_explorerView = nullptr;
    CContentView *m_contentView = nullptr;
    QTimer *m_timer = nullptr;
    QSystemTrayIcon *m_tray = nullptr;
    QHash<int, QAction *> m_menuActions;
    QHash<int, QAction *> m_toolActions;
    bool m_bStopPending = false;
    int m_stopGraceMs = kStopGraceMs;
};
