#pragma once

#include <QByteArray>
#include <QString>

// Small file helpers for tests that work on real temporary folders.
namespace TestFiles {

// Writes bytes to path, creating missing parent folders; fails the test on error.
void write(const QString &path, const QByteArray &bytes);

// The bytes of path (empty when it cannot be read).
QByteArray read(const QString &path);

// Creates folder and its parents; fails the test on error.
void makeFolder(const QString &path);

} // namespace TestFiles
