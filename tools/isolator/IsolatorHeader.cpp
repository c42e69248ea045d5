#include "IsolatorHeader.h"

#include "core/common/Cp936.h"
#include "core/transfer/BlockIo.h"
#include "core/transfer/HeaderBlock.h"

#include <QtEndian>
#include <optional>

IsolatorHeader IsolatorHeader::parse(const QByteArray &block) {
    IsolatorHeader header;
    if (block.size() != kBlockSize) {
        header.refuse(
            QStringLiteral("the header block holds %1 bytes, not %2").arg(block.size()).arg(kBlockSize));
        return header;
    }
    QString error;
    const std::optional<HeaderBlock> fields = HeaderBlock::parse(block.constData(), &error);
    if (!fields) {
        // Still name what came, as far as it goes, for the log line.
        header.m_size = qFromLittleEndian<quint64>(block.constData());
        const QByteArray name = block.mid(HeaderBlock::kFileNameOffset, HeaderBlock::kFileNameField);
        header.m_name = Cp936::decode(name.left(name.indexOf('\0') < 0 ? name.size() : name.indexOf('\0')));
        header.refuse(error);
        return header;
    }
    header.m_size = fields->fileSize();
    header.m_name = fields->fileName();
    header.m_address = fields->innerAddress();
    header.m_path = fields->innerPath();
    header.checkField(block, HeaderBlock::kFileNameOffset, HeaderBlock::kFileNameField,
                      fields->fileNameBytes(), QStringLiteral("file name"));
    header.checkField(block, HeaderBlock::kInnerAddressOffset, HeaderBlock::kInnerAddressField,
                      fields->innerAddressBytes(), QStringLiteral("inner address"));
    header.checkField(block, HeaderBlock::kInnerPathOffset, HeaderBlock::kInnerPathField,
                      fields->innerPathBytes(), QStringLiteral("inner path"));
    return header;
}

quint64 IsolatorHeader::blockCount() const {
    // Written this way so that sizes near 2^64 cannot wrap around.
    return m_size / kBlockSize + (m_size % kBlockSize != 0 ? 1 : 0);
}

void IsolatorHeader::checkField(const QByteArray &block, qsizetype offset, qsizetype length,
                                const QByteArray &text, const QString &what) {
    for (qsizetype i = offset + text.size(); i < offset + length; ++i) {
        if (block[i] != '\0') {
            refuse(QStringLiteral("the %1 field is not zero-filled after its text").arg(what));
            return;
        }
    }
    // Text that does not survive the round trip is not CP936 (or not in the form Windows writes it).
    const std::optional<QByteArray> again = Cp936::encode(Cp936::decode(text));
    if (!again || *again != text) {
        refuse(QStringLiteral("the %1 is not valid code page 936 text").arg(what));
    }
}

void IsolatorHeader::refuse(const QString &why) {
    if (m_refusal.isEmpty()) {
        m_refusal = why;
    }
}
