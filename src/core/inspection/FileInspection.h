#pragma once

#include "core/config/FileTypeFilter.h"
#include "core/inspection/InspectionSettings.h"

#include <QString>
#include <atomic>
#include <functional>
#include <memory>

class ContentCheck;

// The checks a file passes before it is queued, as the settings switch them on: its true type must fit
// its extension (CheckContent), and an archive must pass ArchiveInspector (OpenArchives), its members'
// names through the same allow-list as the queue's and, with CheckContent, their true types too. It
// holds copies of what it reads, so it runs on any thread.
class FileInspection {
public:
    // content: shared libmagic handles; null for the station's own, loaded on first need.
    FileInspection(const InspectionSettings &settings, const FileTypeFilter &filter,
                   std::shared_ptr<const ContentCheck> content = nullptr);

    // True when a check is switched on.
    bool active() const { return m_checkContent || m_openArchives; }

    // Why the file at path may not be queued, in the operator's words ("内容是 ELF 可执行程序，与扩展名
    // .txt 不符", an archive's reason, a read failure); empty text when it may. When libmagic cannot be
    // loaded, every file is refused with the reason: a switched-on check never passes a file unchecked.
    // A raised cancel flag ends an archive's inspection soon.
    QString refusal(const QString &path, const std::atomic<bool> *cancel = nullptr) const;

    // The same judgement, telling a file the checks refuse (for good, whatever is tried again) from one
    // they could not judge (unreadable now, libmagic not loaded, cancelled), which may pass later.
    struct Judgement {
        enum class Outcome { Passes, Refused, NotJudged };
        Outcome outcome = Outcome::Passes;
        QString reason; // Refused, NotJudged: in the operator's words
    };
    Judgement judge(const QString &path, const std::atomic<bool> *cancel = nullptr) const;

    // The queue's inspector for one command: a FileInspection of these settings and this list, or an
    // empty function when no check is on.
    static std::function<QString(const QString &, const std::atomic<bool> *)>
    inspectorFor(const InspectionSettings &settings, const FileTypeFilter &filter);

private:
    const ContentCheck *content() const;

    bool m_checkContent;
    bool m_openArchives;
    FileTypeFilter m_filter;
    std::shared_ptr<const ContentCheck> m_content;
};
