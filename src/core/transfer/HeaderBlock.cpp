#include "core/transfer/HeaderBlock.h"

#include "core/common/Cp936.h"
#include "core/transfer/BlockIo.h"

#include <cstring>

namespace {

static_assert(HeaderBlock::kInnerPathOffset + HeaderBlock::kInnerPathField == kBlockSize);
static_assert(HeaderBlock::kMaxFileNameBytes < HeaderBlock::kFileNameField);
static_assert(HeaderBlock::kMaxInnerAddressBytes < HeaderBlock::kInnerAddressField);
static_assert(HeaderBlock::kMaxInnerPathBytes < HeaderBlock::kInnerPathField);

bool fail(QString *error, const QString &why) {
    if (error) {
        *error = why;
    }
    return false;
}

bool encodeField(const QString &text, qsizetype maxBytes, const char *what, QByteArray *bytes,
                 QString *error) {
    const std::optional<QByteArray> encoded = Cp936::encode(text);
    if (!encoded) {
        return fail(error, QStringLiteral("the %1 \"%2\" has a character with no CP936 form")
                               .arg(QLatin1String(what), text));
    }
    // A zero byte would end the field early and name another file or place.
    if (encoded->contains('\0')) {
        return fail(error,
                    QStringLiteral("the %1 \"%2\" holds a zero character").arg(QLatin1String(what), text));
    }
    if (encoded->size() > maxBytes) {
        return fail(error, QStringLiteral("the %1 \"%2\" is %3 bytes long in CP936, more than %4")
                               .arg(QLatin1String(what), text)
                               .arg(encoded->size())
                               .arg(maxBytes));
    }
    *bytes = *encoded;
    return true;
}

// The text of a field up to its first zero; false when the field holds no zero.
bool readField(const char *block, qsizetype offset, qsizetype field, const char *what, QByteArray *bytes,
               QString *error) {
    const char *start = block + offset;
    const void *zero = std::memchr(start, 0, static_cast<size_t>(field));
    if (!zero) {
        return fail(error, QStringLiteral("the %1 field is not zero-terminated within its %2 bytes")
                               .arg(QLatin1String(what))
                               .arg(field));
    }
    *bytes = QByteArray(start, static_cast<const char *>(zero) - start);
    return true;
}

} // namespace

bool HeaderBlock::splitDestination(const QString &destination, QString *innerAddress, QString *innerPath) {
    const qsizetype bar = destination.indexOf(QLatin1Char('|'));
    if (bar < 0 || bar + 1 >= destination.size() || destination.at(bar + 1) != QLatin1Char('|')) {
        return false;
    }
    *innerAddress = destination.left(bar);
    *innerPath = destination.mid(bar + 2);
    return true;
}

bool HeaderBlock::isPlainFileName(const QString &fileName) {
    return !fileName.isEmpty() && fileName != QLatin1String(".") && fileName != QLatin1String("..") &&
           !fileName.contains(QLatin1Char('/')) && !fileName.contains(QLatin1Char('\\'));
}

std::optional<HeaderBlock> HeaderBlock::forTransfer(const QString &fileName, const QString &destination,
                                                    QString *error) {
    QString address;
    QString path;
    if (!splitDestination(destination, &address, &path)) {
        fail(error,
             QStringLiteral("the destination \"%1\" is not \"inner address||inner path\"").arg(destination));
        return std::nullopt;
    }
    if (!isPlainFileName(fileName)) {
        fail(error, QStringLiteral("\"%1\" is not a plain file name").arg(fileName));
        return std::nullopt;
    }
    HeaderBlock header;
    if (!encodeField(fileName, kMaxFileNameBytes, "file name", &header.m_fileName, error) ||
        !encodeField(address, kMaxInnerAddressBytes, "inner address", &header.m_innerAddress, error) ||
        !encodeField(path, kMaxInnerPathBytes, "inner path", &header.m_innerPath, error)) {
        return std::nullopt;
    }
    return header;
}

std::optional<HeaderBlock> HeaderBlock::parse(const char *block, QString *error) {
    HeaderBlock header;
    if (!readField(block, kFileNameOffset, kFileNameField, "file name", &header.m_fileName, error) ||
        !readField(block, kInnerAddressOffset, kInnerAddressField, "inner address", &header.m_innerAddress,
                   error) ||
        !readField(block, kInnerPathOffset, kInnerPathField, "inner path", &header.m_innerPath, error)) {
        return std::nullopt;
    }
    const auto *size = reinterpret_cast<const unsigned char *>(block + kFileSizeOffset);
    for (int i = 7; i >= 0; --i) {
        header.m_fileSize = (header.m_fileSize << 8) | size[i];
    }
    return header;
}

void HeaderBlock::writeTo(char *block) const {
    std::memset(block, 0, static_cast<size_t>(kBlockSize));
    auto *size = reinterpret_cast<unsigned char *>(block + kFileSizeOffset);
    for (int i = 0; i < 8; ++i) {
        size[i] = static_cast<unsigned char>(m_fileSize >> (8 * i));
    }
    // Copies at most field - 1 bytes so that even a parsed, over-limit text stays terminated.
    auto put = [block](qsizetype offset, qsizetype field, const QByteArray &text) {
        const qsizetype length = qMin(text.size(), field - 1);
        std::memcpy(block + offset, text.constData(), static_cast<size_t>(length));
    };
    put(kFileNameOffset, kFileNameField, m_fileName);
    put(kInnerAddressOffset, kInnerAddressField, m_innerAddress);
    put(kInnerPathOffset, kInnerPathField, m_innerPath);
}

QString HeaderBlock::fileName() const {
    return Cp936::decode(m_fileName);
}

QString HeaderBlock::innerAddress() const {
    return Cp936::decode(m_innerAddress);
}

QString HeaderBlock::innerPath() const {
    return Cp936::decode(m_innerPath);
}
