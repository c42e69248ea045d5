#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <optional>

// The first block of every connection to the isolator: the file's size, its name and where on the
// inner network it belongs. Texts travel as CP936 bytes, each zero-filled to the end of its field.
class HeaderBlock {
public:
    static constexpr qsizetype kFileSizeOffset = 0;
    static constexpr qsizetype kFileNameOffset = 8;
    static constexpr qsizetype kFileNameField = 1992;
    static constexpr qsizetype kInnerAddressOffset = 2000;
    static constexpr qsizetype kInnerAddressField = 48;
    static constexpr qsizetype kInnerPathOffset = 2048;
    static constexpr qsizetype kInnerPathField = 2048;

    // The station's own limits in CP936 bytes. A text over its limit is refused, never cut: a cut name
    // or path would deliver the file somewhere else. The inner address keeps one byte of its field for
    // a terminating zero. Queueing checks the same limits so that a queued record can be sent.
    static constexpr qsizetype kMaxFileNameBytes = 511;
    static constexpr qsizetype kMaxInnerAddressBytes = 47;
    static constexpr qsizetype kMaxInnerPathBytes = 253;

    HeaderBlock() = default;

    // Splits a destination cell "inner address||inner path" at its first "|"; the path starts two
    // characters later. False when that "|" is not the start of "||" (or there is none): such a cell
    // would lose the first character of its path.
    static bool splitDestination(const QString &destination, QString *innerAddress, QString *innerPath);

    // A name of a file in the upload folder, not a path: no slash, no backslash (the isolator may take
    // it for a separator), not empty, "." or "..". Anything else could send a file from, or deliver it
    // to, another folder.
    static bool isPlainFileName(const QString &fileName);

    // Station side: the checked and encoded texts of one transfer. Nothing, with the reason in *error,
    // when the file name is not plain, the destination has no "||", or a text has no CP936 form, holds
    // a zero character or is over its limit.
    static std::optional<HeaderBlock> forTransfer(const QString &fileName, const QString &destination,
                                                  QString *error = nullptr);

    // Peer side: the fields of a received block. Nothing, with the reason in *error, when a text
    // field is not zero-terminated within its field.
    static std::optional<HeaderBlock> parse(const char *block, QString *error = nullptr);

    // Writes all kBlockSize bytes of block: the fields, and zeros everywhere else.
    void writeTo(char *block) const;

    void setFileSize(quint64 size) { m_fileSize = size; }
    quint64 fileSize() const { return m_fileSize; }
    const QByteArray &fileNameBytes() const { return m_fileName; }
    const QByteArray &innerAddressBytes() const { return m_innerAddress; }
    const QByteArray &innerPathBytes() const { return m_innerPath; }

    // Decoded texts. Bytes that are not CP936 decode to U+FFFD (see Cp936::decode).
    QString fileName() const;
    QString innerAddress() const;
    QString innerPath() const;

private:
    quint64 m_fileSize = 0;
    QByteArray m_fileName;
    QByteArray m_innerAddress;
    QByteArray m_innerPath;
};
