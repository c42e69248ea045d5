// The transfer header on the station's side: the input's first 4096 bytes are a received block (the
// rest zeros); the input as text "name|destination" is checked, encoded and read back unchanged.
#include "FuzzSupport.h"
#include "core/common/Cp936.h"
#include "core/transfer/BlockIo.h"
#include "core/transfer/HeaderBlock.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    QByteArray block = fuzzBytes(data, size).left(kBlockSize);
    block.append(QByteArray(kBlockSize - block.size(), '\0'));
    QString error;
    if (const std::optional<HeaderBlock> parsed = HeaderBlock::parse(block.constData(), &error)) {
        (void)parsed->fileName();
        (void)parsed->innerAddress();
        (void)parsed->innerPath();
    } else {
        FUZZ_CHECK(!error.isEmpty());
    }

    const QString text = Cp936::decode(fuzzBytes(data, size).left(600));
    const qsizetype split = text.indexOf(u'|');
    const std::optional<HeaderBlock> outgoing = HeaderBlock::forTransfer(
        split < 0 ? text : text.left(split), split < 0 ? QString() : text.mid(split + 1));
    if (outgoing) {
        QByteArray wire(kBlockSize, '\x55');
        outgoing->writeTo(wire.data());
        const std::optional<HeaderBlock> back = HeaderBlock::parse(wire.constData());
        FUZZ_CHECK(back && back->fileNameBytes() == outgoing->fileNameBytes() &&
                   back->innerAddressBytes() == outgoing->innerAddressBytes() &&
                   back->innerPathBytes() == outgoing->innerPathBytes());
    }
    return 0;
}
