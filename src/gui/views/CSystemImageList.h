#pragma once

#include <QIcon>
#include <QString>
#include <memory>

// The platform's file icons, shared by every holder: the first one alive creates the provider and
// the last one gone releases it. Icons are cached per file-name suffix, since the platform gives
// the same icon for the same type and the look-up is the costly part of filling a long list.
class CSystemImageList {
public:
    CSystemImageList();

    // The small icon for the file at path.
    QIcon getFileIcon(const QString &path) const;

private:
    struct Icons;
    std::shared_ptr<Icons> m_icons;
};
