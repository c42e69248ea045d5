#pragma once

#include <QByteArray>
#include <QStringList>

namespace Xls {

// Reads one top-level stream of the OLE2 compound file held in file, with libgsf. The first of names
// (in order of preference; compared without regard to case, as the format does) that exists is read
// into *stream and its name stored in *foundName. Returns false with a reason in *error when the bytes
// are no compound file, no such stream exists, or the stream cannot be read in full.
bool readCompoundFileStream(QByteArrayView file, const QStringList &names, QByteArray *stream,
                            QString *foundName, QString *error);

} // namespace Xls
