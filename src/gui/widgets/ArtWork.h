#pragma once

#include <QIcon>
#include <QPixmap>

// The station's pictures, painted in code so they stay crisp and consistent: the toolbar images
// (55 x 32 each), the application icon, and the settings dialog's background (455 x 310).
namespace ArtWork {

constexpr int kToolbarImageWidth = 55;
constexpr int kToolbarImageHeight = 32;

// The toolbar image of one command id (see CommandIds.h); a null pixmap for an unknown id.
QPixmap toolbarImage(int commandId);

// The application icon, used for the window, the notification area and the About box.
QIcon applicationIcon();

// The background picture of the settings dialog.
QPixmap settingsBackground();

} // namespace ArtWork
