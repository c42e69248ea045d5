#pragma once

#include <QApplication>
#include <memory>

class CMainFrame;
class SingleInstance;
class StationLock;
class StatusPublisher;
struct StationParts;

// The application: one window per user session and one station per working folder, the station's parts,
// what it publishes of itself, and the main window.
class CBrelvantisApp : public QApplication {
    Q_OBJECT
public:
    CBrelvantisApp(int &argc, char **argv);
    ~CBrelvantisApp() override;

    // Names, language and closing behaviour of the application app (the constructor applies them to
    // itself). Qt's own texts (standard buttons, the folder chooser) come in Chinese when Qt's
    // translations are installed; returns false when they are not. No display name is set: on Linux it
    // would be appended to every window and message title.
    static bool setUp(QApplication &app);

    enum class Start {
        Running,         // the window is up
        AnotherCopyRuns, // end at once, exit code 0
        NoWorkFolder,    // the working folder could not be made or entered (the operator was told)
        FolderInUse,     // another station runs in the working folder (the operator was told which)
    };

    // Start-up in the working folder chosen from workdirOption (the --workdir value; may be empty),
    // the current folder and the user's data home (WorkFolder::choose).
    Start initInstance(const QString &workdirOption = QString());

    CMainFrame *mainFrame() const { return m_frame.get(); }

private:
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<StationLock> m_folderLock;
    std::unique_ptr<StationParts> m_parts;
    std::unique_ptr<StatusPublisher> m_status;
    std::unique_ptr<CMainFrame> m_frame;
};
