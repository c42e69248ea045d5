#pragma once

#include <QString>

// Folder settings are used as typed: a folder that already ends with a separator is taken as it
// stands, otherwise the platform's separator is inserted before a name.
namespace Paths {

bool endsWithSeparator(const QString &folder);

// folder with one trailing separator (unchanged when it already has one; empty stays empty).
QString withTrailingSeparator(const QString &folder);

// folder, a separator unless folder already ends with one, then name.
QString join(const QString &folder, const QString &name);

} // namespace Paths
