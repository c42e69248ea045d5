#pragma once

#include <QByteArray>
#include <QString>

class QWidget;

// Pictures of the station's window and dialogs with sample data, for people to look at
// (scripts/screenshot, scripts/screenshot-dialogs). Each takes its pictures into folder; a step that
// does not come about throws ShotFailed, which names it.
namespace Screenshots {

struct ShotFailed {
    QString what;
};

// Throws ShotFailed(what) unless ok.
void require(bool ok, const QString &what);

// Writes bytes to path, creating its folder when missing.
void writeFile(const QString &path, const QByteArray &bytes);

// Saves the widget as drawn to folder/name.png and, on a real screen, the window with the window
// manager's frame as well, to folder/name-window.png.
void save(QWidget &window, const QString &folder, const QString &name);

// settings-dialog, inner-path-dialog, history-window, history-window-unreadable and history-window-day.
void dialogs(const QString &folder);

// station-uploading: the window with a queue being sent.
void station(const QString &folder);

} // namespace Screenshots
