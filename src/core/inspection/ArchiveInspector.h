#pragma once

#include "core/common/Failure.h"

#include <QString>
#include <QtGlobal>
#include <atomic>
#include <functional>

class ContentCheck;

// What an archive may hold and cost before it is refused. A bomb or an endless nesting is stopped
// once it passes these, so inspecting it costs bounded time and memory.
struct ArchiveLimits {
    qint64 maxMembers = 10'000;          // in all, nested archives' members included
    qint64 maxRatio = 100;               // bytes unpacked per byte of the archive
    qint64 maxExpandedBytes = 4LL << 30; // bytes unpacked in all
    int maxDepth = 3;                    // archives inside the archive, one in another
    qint64 maxBufferedBytes = 8LL << 20; // a nested archive up to this size is read into memory;
                                         // a larger one is read as a stream (a 7z cannot be)
};

// Looks inside an archive (zip, 7z, rar, tar and compressed tar, and a single gzip, bzip2 or xz
// file) with libarchive, and inside the archives it holds, without extracting anything: every
// member's name must pass the allow-list, and with a content check its true type must fit its
// extension. An archive is refused when it holds an encrypted member, a name that climbs out of its
// folder, too many members, too many bytes, archives nested too deep, or is damaged.
//
// Every byte a member unpacks to is read (and counted), at every level, so a bomb is stopped by the
// count whatever its headers claim; an archive inside an archive therefore counts twice.
class ArchiveInspector {
public:
    // Whether a member's bare name ("setup.exe") may cross; FileTypeFilter::permits, as a rule.
    using NamePredicate = std::function<bool(const QString &name)>;

    struct Verdict {
        enum class Outcome {
            Accepted,
            Refused,    // reason (the operator's words, naming the member) and member
            Cancelled,  // the cancel flag was raised
            Unreadable, // the file itself could not be opened (failure)
        };
        Outcome outcome = Outcome::Accepted;
        QString reason;     // Refused: "压缩包内的“资料/setup.exe”是不允许上传的类型" …
        QString member;     // Refused: the member's path, nested archives parted by "/"; may be empty
        QString detail;     // libarchive's own words, when it found the damage
        Failure failure;    // Unreadable
        qint64 members = 0; // members seen, at every level
        qint64 expandedBytes = 0; // bytes unpacked, at every level

        bool accepted() const { return outcome == Outcome::Accepted; }
    };

    // content: checks each member's first unpacked bytes; null for names alone.
    explicit ArchiveInspector(NamePredicate permits, const ContentCheck *content = nullptr,
                              ArchiveLimits limits = {});

    // Raised from another thread, makes inspect() give up soon with Cancelled.
    void setCancelFlag(const std::atomic<bool> *cancel) { m_cancel = cancel; }

    // Inspects the archive at path, opened without following a final link and without blocking.
    Verdict inspect(const QString &path) const;

    // True for the names inspect() opens as archives, at the top and inside: zip, 7z, rar, tar, tgz,
    // tbz2, txz, gz, bz2, xz (any case).
    static bool isArchiveName(const QString &name);

private:
    NamePredicate m_permits;
    const ContentCheck *m_content;
    ArchiveLimits m_limits;
    const std::atomic<bool> *m_cancel = nullptr;
};
