#include "gui/views/CSystemImageList.h"

#include <QFileInfo>

QFileIconProvider *CSystemImageList::s_pProvider = nullptr;
QHash<QString, QIcon> *CSystemImageList::s_pIconCache = nullptr;
int CSystemImageList::s_nRefCount = 0;

CSystemImageList::CSystemImageList() {
    if (s_nRefCount == 0) {
        s_pProvider = new QFileIconProvider;
        s_pIconCache = new QHash<QString, QIcon>;
    }
    ++s_nRefCount;
}

CSystemImageList::~CSystemImageList() {
    if (--s_nRefCount == 0) {
        delete s_pIconCache;
        delete s_pProvider;
        s_pIconCache = nullptr;
        s_pProvider = nullptr;
    }
}

QIcon CSystemImageList::getFileIcon(const QString &path) const {
    const QFileInfo info(path);
    const QString key = info.suffix().toLower();
    auto cached = s_pIconCache->constFind(key);
    if (cached != s_pIconCache->constEnd()) {
        return *cached;
    }
    const QIcon icon = s_pProvider->icon(info);
    s_pIconCache->insert(key, icon);
    return icon;
}
