#pragma once

#include "core/common/Failure.h"

#include <QByteArrayView>
#include <QString>
#include <mutex>

struct magic_set;

// The true type of a file by its content (libmagic and the system's type database, on the first bytes
// of the file), held against what its extension may be (ContentTypes). One object may serve several
// threads: its libmagic handles, which are not thread-safe, are used under a lock.
//
// libmagic takes about a millisecond to name plain text (it tries every text format's patterns), but
// a tenth of that to tell text from binary data without its patterns. Where any text fits the
// extension (txt, csv, html …), text told that way is enough; whatever is not text, and every other
// extension, gets the whole database.
class ContentCheck {
public:
    // libmagic looks at no more than this much of a file or an archive member.
    static constexpr qint64 kHeadBytes = 64 * 1024;

    struct Verdict {
        enum class Outcome {
            Fits,     // the content may stand under the extension (or the extension is not in the table)
            Mismatch, // reason says what the content is
            Failed    // the file could not be read, or its type not told (failure)
        };
        Outcome outcome = Outcome::Fits;
        QString mimeType; // what libmagic found, where it looked
        QString reason;   // Mismatch: "内容是 ELF 可执行程序，与扩展名 .txt 不符"
        Failure failure;  // Failed

        bool fits() const { return outcome == Outcome::Fits; }
    };

    ContentCheck();
    ~ContentCheck();
    ContentCheck(const ContentCheck &) = delete;
    ContentCheck &operator=(const ContentCheck &) = delete;

    // False when libmagic or its database could not be loaded; every check then fails.
    bool ready() const { return m_magic && m_text; }
    // Why it is not ready: libmagic's words.
    const QString &loadError() const { return m_loadError; }

    // The file at path, judged under its own name. It is opened without following a final link and
    // without blocking (a regular file only); a file whose extension is not in the table is not read.
    Verdict checkFile(const QString &path) const;

    // Content already read (an archive member's first bytes), judged under name; path names it in a
    // failure.
    Verdict checkHead(const QString &name, QByteArrayView head, const QString &path) const;

    // The MIME type libmagic finds in head; empty with *error (libmagic's words) when it finds none.
    QString mimeTypeOf(QByteArrayView head, QString *error = nullptr) const;

private:
    QString typeOf(magic_set *magic, QByteArrayView head, QString *error) const;

    mutable std::mutex m_lock;
    magic_set *m_magic = nullptr; // the whole database
    magic_set *m_text = nullptr;  // text or not, and which encoding: no patterns
    QString m_loadError;
};
