#include "core/common/Cp936.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace Cp936 {
namespace {

constexpr const char *kCodecName = "windows-936";

// One converter per thread. A converter that has met an error keeps reporting it (resetState does not
// clear it for the ICU-backed codecs), so it is replaced after any error.
QStringEncoder &encoder() {
    thread_local std::optional<QStringEncoder> instance;
    if (!instance || instance->hasError()) {
        instance.emplace(kCodecName, QStringConverter::Flag::Stateless);
    }
    return *instance;
}

QStringDecoder &decoder() {
    thread_local std::optional<QStringDecoder> instance;
    if (!instance || instance->hasError()) {
        instance.emplace(kCodecName, QStringConverter::Flag::Stateless);
    }
    return *instance;
}

} // namespace

bool isAvailable() {
    return encoder().isValid() && decoder().isValid();
}

void requireAvailable() {
    if (isAvailable()) {
        return;
    }
    std::fprintf(stderr, "This program needs the code page 936 (windows-936) converters of Qt's ICU support, "
                         "and they are missing. Install Qt 6 with ICU (Debian: libqt6core6, libicu72).\n");
    std::exit(70);
}

std::optional<QByteArray> encode(const QString &text) {
    QStringEncoder &enc = encoder();
    QByteArray bytes = enc.encode(text);
    if (enc.hasError()) {
        return std::nullopt;
    }
    return bytes;
}

bool canEncode(const QString &text) {
    return encode(text).has_value();
}

QString decode(const QByteArray &bytes) {
    QStringDecoder &dec = decoder();
    QString text = dec.decode(bytes);
    if (!dec.hasError()) {
        return text;
    }
    // Decode character by character so that only the bad sequences turn into U+FFFD.
    QString result;
    result.reserve(bytes.size());
    qsizetype i = 0;
    while (i < bytes.size()) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        const qsizetype width = (isLeadByte(byte) && i + 1 < bytes.size()) ? 2 : 1;
        QStringDecoder &one = decoder();
        const QString piece = one.decode(bytes.mid(i, width));
        if (one.hasError() || piece.isEmpty()) {
            result += QChar(QChar::ReplacementCharacter);
            i += 1;
        } else {
            result += piece;
            i += width;
        }
    }
    return result;
}

QByteArray truncateBytes(const QByteArray &bytes, qsizetype maxBytes) {
    if (maxBytes <= 0) {
        return {};
    }
    if (bytes.size() <= maxBytes) {
        return bytes;
    }
    qsizetype end = 0;
    while (end < bytes.size()) {
        const qsizetype width = isLeadByte(static_cast<unsigned char>(bytes[end])) ? 2 : 1;
        if (end + width > maxBytes) {
            break;
        }
        end += width;
    }
    return bytes.left(end);
}

} // namespace Cp936
