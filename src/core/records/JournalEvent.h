#pragma once

#include <QString>
#include <array>
#include <optional>

// What a line of the day's journal tells of: each event and the word the journal stores for it. The
// words are read back by the history and by spreadsheet users: they never change; a new event adds a
// value and its word here.
enum class JournalEvent {
    Queued,
    Started,
    Completed,
    Failed,
    Stopped,
    Deleted,
    MovedUp,
    MovedDown,
    Deferred,
    Interrupted,
    Rejected
};

namespace JournalEvents {

struct Word {
    JournalEvent event;
    const char16_t *text;
};

inline constexpr std::array<Word, 11> kWords = {{
    {JournalEvent::Queued, u"排队"},
    {JournalEvent::Started, u"开始"},
    {JournalEvent::Completed, u"完成"},
    {JournalEvent::Failed, u"故障"},
    {JournalEvent::Stopped, u"停止"},
    {JournalEvent::Deleted, u"删除"},
    {JournalEvent::MovedUp, u"上移"},
    {JournalEvent::MovedDown, u"下移"},
    {JournalEvent::Deferred, u"等待"},    // a transfer put off: another program still writes the file
    {JournalEvent::Interrupted, u"中断"}, // a transfer an earlier run left without an end (exit, crash)
    {JournalEvent::Rejected, u"拒绝"},    // the malware scanner found something: the file is never sent
}};

inline QString text(JournalEvent event) {
    for (const Word &word : kWords) {
        if (word.event == event) {
            return QString::fromUtf16(word.text);
        }
    }
    return {};
}

// The event a journal line's word stands for; empty for a word this station does not write.
inline std::optional<JournalEvent> fromText(const QString &text) {
    for (const Word &word : kWords) {
        if (text == QString::fromUtf16(word.text)) {
            return word.event;
        }
    }
    return std::nullopt;
}

} // namespace JournalEvents
