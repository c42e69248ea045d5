#pragma once

#include "core/common/FileProbe.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Folder enumerations of the transit folder. The file system's own order differs between platforms,
// so every listing is sorted by name (case-insensitive first, exact order to break ties) and the
// operator always sees a stable order. Hidden and system entries are included; "." and ".." never.
// Entries are looked at without following links: a link is never taken for what it points to.
namespace FolderScan {

struct Entry {
    QString name;
    qint64 size = 0; // of a regular file; 0 for anything else
    // Why the station does not queue this entry, naming it (a link, a pipe, a name whose bytes are not
    // UTF-8); empty for a regular file.
    QString refusal{};
};

// The real subfolders directly inside folder (never a link to a folder); false when folder cannot be
// read.
bool subfolders(const QString &folder, QList<Entry> *entries);

// Everything directly inside folder that is not a real subfolder; false when it cannot be read.
bool files(const QString &folder, QList<Entry> *entries);

// How many entries files() lists for folder, by the same rule but from one pass over the names, without
// sizes, texts or order; 0 when it cannot be read. One implementation per platform.
int countFiles(const QString &folder);

// The refusal of the entry listed as name in folder (see Entry), or empty text when there is none. For
// a name read from a listing: one whose bytes are not UTF-8 is found by its listed text.
QString refusalOf(const QString &folder, const QString &name);

// Why what was seen at name is not queued ("文件“x”是符号链接，不会被跟随"); empty for a regular file.
QString refusalFor(const QString &name, const FileProbe::Look &seen);

// name for the operator's eyes: control characters written as \xNN, so a message stays on its lines.
QString shownName(const QString &name);

// The names in folder whose bytes are not valid UTF-8, as the bytes on disk: their decoded text (with
// U+FFFD) does not lead back to the file. One implementation per platform.
QList<QByteArray> undecodableNames(const QString &folder);

// Such a name for the operator's eyes: what decodes as it is, every other byte as \xNN.
QString shownName(const QByteArray &bytes);

} // namespace FolderScan
