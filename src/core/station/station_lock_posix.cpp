#include "core/station/StationLock.h"

#include <cerrno>
#include <csignal>
#include <sys/types.h>

bool StationLock::processRuns(qint64 pid) {
    // Signal 0 only asks whether the process exists; EPERM: it does, under another user.
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}
