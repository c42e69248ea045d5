#include "app/CBrelvantisApp.h"

#include "app/CMainFrame.h"
#include "core/common/Cp936.h"
#include "core/common/SingleInstance.h"
#include "core/station/StationParts.h"
#include "gui/widgets/OperatorMessages.h"

#include <QLibraryInfo>
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
    m_frame.reset();
    m_parts.reset();
}

bool CBrelvantisApp::initInstance() {
    m_instance = std::make_unique<SingleInstance>(QStringLiteral("BrelvantisAPP"));
    if (!m_instance->acquire()) {
        return false;
    }
    Cp936::requireAvailable();

    m_parts = std::make_unique<StationParts>();
    m_parts->filter.load();
    m_frame = std::make_unique<CMainFrame>(*m_parts);
    m_frame->OnCreate();
    m_frame->OnInitialUpdates();
    m_frame->showMaximized();
    return true;
}
