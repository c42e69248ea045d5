#pragma once

#include <QByteArray>
#include <QString>

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
    // byte, decoded from CP936. Returns false, with the text left empty, when the file cannot be opened.
    bool load();

    // The filter text as loaded (empty before a load and after a failed one).
    const QString &text() const { return m_text; }

    // True when the extension of fileName (a bare name; the part after its last ".") is one of the
    // entries, ignoring the case of A to Z only. A name without a dot is never permitted.
    bool permits(const QString &fileName) const;

    // Position-offset scrambling: the byte at offset k becomes the byte plus k, modulo 256.
    static QByteArray scramble(const QByteArray &plain);
    static QByteArray unscramble(const QByteArray &stored);

private:
    QString m_filePath;
    QString m_text;
};
