#include "core/common/Paths.h"

#include <QDir>

namespace Paths {

bool endsWithSeparator(const QString &folder) {
    return folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\'));
}

QString withTrailingSeparator(const QString &folder) {
    if (folder.isEmpty() || endsWithSeparator(folder)) {
        return folder;
    }
    return folder + QDir::separator();
}

QString join(const QString &folder, const QString &name) {
    if (folder.isEmpty()) {
        return QString(QDir::separator()) + name;
    }
    return withTrailingSeparator(folder) + name;
}

} // namespace Paths
