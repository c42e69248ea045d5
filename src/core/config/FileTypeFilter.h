#pragma once

#include "core/common/Failure.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The allow-list of file-name extensions that may be uploaded, read from the scrambled filter file.
//
// The filter text is a run of entries, each an extension without its dot followed by ":"
// ("txt:doc:xls:"); text after the last ":" is no entry, and an empty entry matches names that end
// with a dot. The file holds the CP936 bytes of that text, the byte at offset k raised by k (mod 256).
class FileTypeFilter {
public:
    // The station reads no more of the file than this.
    static constexpr qsizetype kReadLimit = 1023;

    // The default name is relative: the file lies in the working directory.
    explicit FileTypeFilter(QString filePath = QStringLiteral("Brelvantis.filter"));

    const QString &filePath() const { return m_filePath; }

    // Replaces the filter text with the file's: its first 1023 bytes unscrambled, up to the first zero
    // byte, decoded from CP936. Returns false, with the text left empty and *failure saying why, when
    // the file cannot be read: only a regular file is (a final link is followed only to one).
    bool load(Failure *failure = nullptr);

    // The filter text as loaded (empty before a load and after a failed one).
    const QString &text() const { return m_text; }

    // True when the extension of fileName (a bare name; the part after its last ".") is one of the
    // entries, ignoring the case of A to Z only. A name without a dot is never permitted.
    bool permits(const QString &fileName) const;

    // The entries of the filter text, in order.
    QStringList entries() const;

    // The part of fileName that permits() compares: the text after its last ".", or a null text when
    // the name has no dot.
    static QString extensionOf(const QString &fileName);

    // The list as the settings dialog shows it, "txt:doc:pdf", and back. Typed entries may be parted by
    // ":", ",", ";" (also their full-width forms) or blanks; a leading "*." or "." is dropped, and so
    // are empty and repeated entries. A text that cannot be an extension (holding a dot, a separator,
    // a wildcard or a blank) is refused: fromTypedList returns false and names it in *badEntry.
    static QString typedList(const QString &text);
    static bool fromTypedList(const QString &typed, QString *text, QString *badEntry);

    struct WriteResult {
        enum class Outcome { Written, NoCodePage936Form, HoldsZeroByte, TooLong, CannotWrite };
        Outcome outcome = Outcome::Written;
        qsizetype storedBytes = 0; // the bytes the list takes (Written, TooLong)
        QString error;             // CannotWrite: the system's reason
    };
    // Writes text as the whole filter file, scrambled, replacing the file atomically; the loaded text
    // is not changed. Nothing is written unless the station would read all of it back unchanged.
    WriteResult write(const QString &text) const;

    // Position-offset scrambling: the byte at offset k becomes the byte plus k, modulo 256.
    static QByteArray scramble(const QByteArray &plain);
    static QByteArray unscramble(const QByteArray &stored);

private:
    QString m_filePath;
    QString m_text;
};
