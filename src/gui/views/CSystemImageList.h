#pragma once

#include <QFileIconProvider>
#include <QHash>
#include <QIcon>
#include <QString>

// The platform's file icons, shared by every holder: the first one alive creates the provider and
// the last one gone releases it. Icons are cached per file-name suffix, since the platform gives
// the same icon for the same type and the look-up is the costly part of filling a long list.
class CSystemImageList {
public:
    CSystemImageList();
    ~CSystemImageList();
    CSystemImageList(const CSystemImageList &) = delete;
    CSystemImageList &operator=(const CSystemImageList &) = delete;

    // The small icon for the file at path.
    QIcon getFileIcon(const QString &path) const;

    static int refCount() { return s_nRefCount; }

private:
    static QFileIconProvider *s_pProvider;
    static QHash<QString, QIcon> *s_pIconCache;
    static int s_nRefCount;
};
