#include "gui/views/CSystemImageList.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QHash>

struct CSystemImageList::Icons {
    QFileIconProvider provider;
    QHash<QString, QIcon> bySuffix;
};

CSystemImageList::CSystemImageList() {
    // Only the holders own the icons: once the last is gone, the next holder starts afresh.
    static std::weak_ptr<Icons> shared;
    m_icons = shared.lock();
    if (!m_icons) {
        m_icons = std::make_shared<Icons>();
        shared = m_icons;
    }
}

QIcon CSystemImageList::getFileIcon(const QString &path) const {
    const QFileInfo info(path);
    const QString key = info.suffix().toLower();
    auto cached = m_icons->bySuffix.constFind(key);
    if (cached != m_icons->bySuffix.constEnd()) {
        return *cached;
    }
    const QIcon icon = m_icons->provider.icon(info);
    m_icons->bySuffix.insert(key, icon);
    return icon;
}
