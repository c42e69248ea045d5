#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Code page 936 (GBK as Windows defines it) at every file and wire boundary of the station.
// Inside the program text is Unicode; these functions are the only way across.
namespace Cp936 {

// True when the platform's converters for "windows-936" are present.
bool isAvailable();

// Writes a clear message to stderr and exits when the converters are missing: the station must not
// run and mangle every name it stores or sends.
void requireAvailable();

// The CP936 bytes of text, or nothing when some character has no CP936 form.
std::optional<QByteArray> encode(const QString &text);

// True when every character of text has a CP936 form.
bool canEncode(const QString &text);

// Unicode text of CP936 bytes. A byte sequence that is not CP936 decodes to U+FFFD, which itself has
// no CP936 form, so such text can never be written back unnoticed.
QString decode(const QByteArray &bytes);

// True when the byte at index i of CP936 text starts a double-byte character.
inline bool isLeadByte(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}

// The longest prefix of CP936 bytes that holds at most maxBytes bytes and does not split a
// double-byte character.
QByteArray truncateBytes(const QByteArray &bytes, qsizetype maxBytes);

} // namespace Cp936
