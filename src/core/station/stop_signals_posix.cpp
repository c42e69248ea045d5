#include "core/station/StopSignals.h"

#include "core/common/SystemErrors.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The write end of the self-pipe, for the handler (which may do nothing but write to it).
int g_wakeFd = -1;

void onSignal(int number) {
    const int saved = errno;
    const char byte = static_cast<char>(number);
    // A full pipe already holds enough wake-ups; the byte may be dropped.
    [[maybe_unused]] const ssize_t written = ::write(g_wakeFd, &byte, 1);
    errno = saved;
}

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

} // namespace

struct StopSignals::Platform {
    int fds[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier;
};

StopSignals::StopSignals(QObject *parent) : QObject(parent), m_platform(std::make_unique<Platform>()) {}

StopSignals::~StopSignals() {
    if (!m_platform->notifier) {
        return;
    }
    for (int number : kSignals) {
        std::signal(number, SIG_DFL);
    }
    m_platform->notifier.reset();
    g_wakeFd = -1;
    ::close(m_platform->fds[0]);
    ::close(m_platform->fds[1]);
}

bool StopSignals::install(QString *error) {
    int *fds = m_platform->fds;
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        *error = QStringLiteral("无法建立信号管道：%1").arg(systemErrorText(errno));
        return false;
    }
    g_wakeFd = fds[1];
    m_platform->notifier = std::make_unique<QSocketNotifier>(fds[0], QSocketNotifier::Read);
    connect(m_platform->notifier.get(), &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        ssize_t count = 0;
        while ((count = ::read(m_platform->fds[0], bytes, sizeof bytes)) > 0) {
            for (ssize_t i = 0; i < count; ++i) {
                emit requested(bytes[i] == SIGHUP ? Request::Reload : Request::Stop);
            }
        }
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : kSignals) {
        if (::sigaction(number, &action, nullptr) != 0) {
            *error = QStringLiteral("无法接管信号 %1：%2").arg(number).arg(systemErrorText(errno));
            return false;
        }
    }
    return true;
}
