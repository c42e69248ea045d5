#include "core/station/WorkFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace WorkFolder {

Choice choose(const QString &option, const QString &current, const QString &dataHome) {
    const QDir here(current);
    QString folder;
    if (!option.isEmpty()) {
        folder = here.absoluteFilePath(option);
    } else if (QFileInfo(here.filePath(QStringLiteral("Berlvantis.ini"))).isFile()) {
        folder = here.absolutePath();
    } else {
        folder = QDir(here.absoluteFilePath(dataHome)).filePath(QStringLiteral("brelvantis"));
    }
    Choice choice;
    choice.folder = QDir::cleanPath(folder);
    choice.create = !QFileInfo(choice.folder).isDir();
    return choice;
}

QString dataHome() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

} // namespace WorkFolder
