#pragma once

#include <QString>

// Which folder the station runs in: the folder given with --workdir; otherwise the current folder when
// it already holds the settings file (set-ups made before the station had a folder of its own keep
// working); otherwise the user's own folder "brelvantis" under the data home ($XDG_DATA_HOME, by default
// ~/.local/share), so a station started from the desktop menu never fills the home folder.
namespace WorkFolder {

struct Choice {
    QString folder;      // absolute and clean
    bool create = false; // the folder does not exist yet
};

// option: the value of --workdir (empty when not given); current: the current folder; dataHome: the
// user's data home. Relative paths are taken from current.
Choice choose(const QString &option, const QString &current, const QString &dataHome);

// The user's data home ($XDG_DATA_HOME or ~/.local/share on Linux).
QString dataHome();

} // namespace WorkFolder
