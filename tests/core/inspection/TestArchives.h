#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Archives made with libarchive's own writer, for the inspection tests and benchmarks.
namespace TestArchives {

struct Member {
    QString name; // UTF-8 in the archive unless the options say otherwise
    QByteArray bytes;
};

// The bytes of an archive holding members. format: "zip", "7z", "tar", "tar.gz" or "gz" (a single
// compressed file: its one member's name is not stored). options are libarchive's
// ("zip:encryption=zipcrypt"), passphrase the one to encrypt with. Empty on failure.
QByteArray make(const QString &format, const QList<Member> &members, const char *options = nullptr,
                const char *passphrase = nullptr);

} // namespace TestArchives
