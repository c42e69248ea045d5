#pragma once

#include <QString>
#include <atomic>

// Moving a file between the transit and the upload folders, which may lie on different file systems.
namespace FileMove {

// Moves source to target. With replace, an existing target is replaced; without it, an existing
// target makes the move fail. Within one file system this is a rename. Across file systems the file
// is copied to a temporary file beside the target, flushed to disk and renamed over the target, and
// only then is the source removed, so a failure at any point leaves the source where it was.
// cancelled, when given, is looked at between the blocks of such a copy: once it is set, the copy is
// given up, its temporary file removed and the source left. Returns an empty text on success,
// otherwise the reason.
QString move(const QString &source, const QString &target, bool replace,
             const std::atomic_bool *cancelled = nullptr);

// Creates folder and the folders above it that are missing. Returns an empty text when the folder
// exists afterwards, otherwise the reason.
QString makeFolder(const QString &folder);

} // namespace FileMove
