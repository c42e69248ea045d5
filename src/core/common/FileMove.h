#pragma once

#include <QString>
#include <atomic>
#include <functional>

// Moving a file between the transit and the upload folders, which may lie on different file systems.
namespace FileMove {

// Moves source to target. With replace, an existing target is replaced; without it, an existing
// target makes the move fail. Within one file system this is a rename. Across file systems the source
// is opened without following a final link and copied, hashed as it is read, to a temporary file beside
// the target, flushed to disk and renamed over the target; the copy is then read again and must match
// the source in size and SHA-256, and only then is the source removed. A failure at any point leaves
// the source where it was and no copy at target (with replace, the file it replaced is gone).
// cancelled, when given, is looked at between the blocks of such a copy: once it is set, the copy is
// given up, its temporary file removed and the source left. Returns an empty text on success,
// otherwise the reason.
QString move(const QString &source, const QString &target, bool replace,
             const std::atomic_bool *cancelled = nullptr);

// Creates folder and the folders above it that are missing. Returns an empty text when the folder
// exists afterwards, otherwise the reason.
QString makeFolder(const QString &folder);

// Faults a test injects into every move of the process (null: none): a rename that reports another
// file system, so that the copy runs within one; and a change to the finished copy before it is read
// again, standing for a disk that returns other bytes than it was given.
struct Faults {
    bool renameAcrossDevices = false;
    std::function<void(const QString &copy)> afterCopy;
};
void setFaults(const Faults *faults);

} // namespace FileMove
