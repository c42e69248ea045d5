#pragma once

#include "core/common/Failure.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// A Windows profile (INI) file held as its raw CP936 bytes, read the way the Windows profile functions
// read it and changed so that every line it does not touch keeps its bytes.
//
// Reading: "[name]" lines open sections, "key=value" lines inside a section are settings; section and
// key names match without regard to ASCII case; blanks (spaces, tabs) around names and values are
// ignored; a value enclosed in matching quotes (both " or both ') loses them; lines whose first
// non-blank character is ";" are comments; the first section and the first key of a name win; lines
// may end with CR LF or LF. Delimiters are searched character by character, so the second byte of a
// double-byte character never counts as one.
//
// Writing: a key present in its section has its line replaced (keeping the line's own line end); a key
// missing from an existing section is added after the section's last non-blank line; a missing section
// is added at the end of the file. Added lines end with CR LF and carry no blanks around "=".
class ProfileFile {
public:
    ProfileFile() = default;
    explicit ProfileFile(const QByteArray &bytes);

    // A settings file holds a few hundred bytes; one larger than this is refused unread.
    static constexpr qint64 kReadLimit = qint64(4) << 20;

    // The file at path, or nothing when it cannot be read (*failure then says why): it must be a
    // regular file (a final link is followed only to one) of at most kReadLimit bytes.
    static std::optional<ProfileFile> read(const QString &path, Failure *failure = nullptr);

    // Replaces the file at path atomically: on failure the old file stays as it was and *error says why.
    bool write(const QString &path, QString *error = nullptr) const;

    QByteArray toBytes() const;

    // The CP936 bytes of key's value in section, blanks and enclosing quotes removed; nothing when the
    // section or the key is missing.
    std::optional<QByteArray> value(const QString &section, const QString &key) const;

    // The names of section's keys in file order, each once (the first of a name wins); empty when the
    // section is missing. For sections whose keys are data, such as folder names.
    QStringList keys(const QString &section) const;

    // Sets key in section to the CP936 bytes value. A line whose value already reads back as value is
    // left as it is. A value that would not read back as written (blanks at its ends, enclosing
    // quotes) is written in quotes. section and key must have a CP936 form; value must hold no line
    // break or zero byte (a caller checks that first, see canHoldValue).
    void setValue(const QString &section, const QString &key, const QByteArray &value);

    // True when value can be stored on one line of the file: no CR, LF or zero byte.
    static bool canHoldValue(const QByteArray &value);

private:
    struct Line {
        QByteArray text;   // without its line end
        QByteArray ending; // "\r\n", "\n", or what ends the last line of a file (often nothing)
    };

    struct Location {
        qsizetype header = -1;    // index of the section's header line, -1 when the section is missing
        qsizetype sectionEnd = 0; // index of the line after the section
        qsizetype keyLine = -1;   // index of the key's line, -1 when the key is missing
    };

    Location locate(const QString &section, const QString &key) const;
    void insertLine(qsizetype index, const QByteArray &text);

    QList<Line> m_lines;
};
