#include "app/CBrelvantisApp.h"

#include "app/CMainFrame.h"
#include "core/common/CommandLine.h"
#include "core/common/Cp936.h"
#include "core/common/SingleInstance.h"
#include "core/station/StationLock.h"
#include "core/station/StationParts.h"
#include "core/station/StatusPublisher.h"
#include "core/station/WorkFolder.h"
#include "gui/widgets/OperatorMessages.h"

#include <QDir>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>

CBrelvantisApp::CBrelvantisApp(int &argc, char **argv) : QApplication(argc, argv) {
    setUp(*this);
}

bool CBrelvantisApp::setUp(QApplication &app) {
    app.setApplicationName(OperatorMessages::applicationName());
    // Closing the window hides it to the notification area; only a confirmed exit ends the program.
    app.setQuitOnLastWindowClosed(false);
    auto *translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_zh_CN"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QApplication::installTranslator(translator);
    return true;
}

CBrelvantisApp::~CBrelvantisApp() {
    m_status.reset();
    m_frame.reset();
    m_parts.reset();
}

CBrelvantisApp::Start CBrelvantisApp::initInstance(const QString &workdirOption) {
    m_instance = std::make_unique<SingleInstance>(QStringLiteral("BrelvantisAPP"));
    if (!m_instance->acquire()) {
        return Start::AnotherCopyRuns;
    }
    Cp936::requireAvailable();

    const WorkFolder::Choice work =
        WorkFolder::choose(workdirOption, QDir::currentPath(), WorkFolder::dataHome());
    // Relative folders in the settings are taken from the working folder, as they always were.
    if ((work.create && !QDir().mkpath(work.folder)) || !QDir::setCurrent(work.folder)) {
        QMessageBox::critical(
            nullptr, OperatorMessages::applicationName(),
            QStringLiteral("无法使用工作目录：%1").arg(QDir::toNativeSeparators(work.folder)));
        return Start::NoWorkFolder;
    }

    // The per-user lock above keeps one window per session; this one keeps any two stations, a window
    // or a headless one, of any user, from sending the same folder's queue.
    m_folderLock = std::make_unique<StationLock>(work.folder);
    QString refusal;
    if (!m_folderLock->acquire(&refusal)) {
        CommandLine::print(stderr, QStringLiteral("brelvantis: %1\n").arg(refusal));
        QMessageBox::critical(nullptr, OperatorMessages::applicationName(), refusal);
        return Start::FolderInUse;
    }

    m_parts = std::make_unique<StationParts>(work.folder);
    m_parts->filter.load();
    m_frame = std::make_unique<CMainFrame>(*m_parts);
    m_frame->OnCreate();
    m_frame->OnInitialUpdates();
    m_status = std::make_unique<StatusPublisher>(work.folder, *m_parts->clock, QStringLiteral("window"));
    m_frame->publishStatus(*m_status);
    m_frame->showAsRemembered();
    return Start::Running;
}
