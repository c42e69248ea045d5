#include "core/station/StopSignals.h"

#include <QMetaObject>
#include <windows.h>

namespace {

// The object the console handler (which runs on a thread of its own) posts to.
StopSignals *g_receiver = nullptr;

BOOL WINAPI onConsoleControl(DWORD type) {
    if (!g_receiver) {
        return FALSE;
    }
    QMetaObject::invokeMethod(
        g_receiver, [] { emit g_receiver->requested(StopSignals::Request::Stop); }, Qt::QueuedConnection);
    Q_UNUSED(type); // every kind asks the same: stop
    return TRUE;
}

} // namespace

struct StopSignals::Platform {
    bool installed = false;
};

StopSignals::StopSignals(QObject *parent) : QObject(parent), m_platform(std::make_unique<Platform>()) {}

StopSignals::~StopSignals() {
    if (m_platform->installed) {
        SetConsoleCtrlHandler(onConsoleControl, FALSE);
        g_receiver = nullptr;
    }
}

bool StopSignals::install(QString *error) {
    g_receiver = this;
    if (!SetConsoleCtrlHandler(onConsoleControl, TRUE)) {
        *error = QStringLiteral("无法接管控制台的停止信号");
        g_receiver = nullptr;
        return false;
    }
    m_platform->installed = true;
    return true;
}
