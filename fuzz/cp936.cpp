// The code page 936 helpers: decoding any bytes, encoding what was decoded when it can be, and
// cutting byte strings without splitting a character.
#include "core/common/Cp936.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes = fuzzBytes(data, size);
    const QString text = Cp936::decode(bytes);
    const std::optional<QByteArray> encoded = Cp936::encode(text);
    FUZZ_CHECK(encoded.has_value() == Cp936::canEncode(text));
    // Text that came from bytes and encodes again decodes to itself.
    if (encoded) {
        FUZZ_CHECK(Cp936::decode(*encoded) == text);
    }
    for (qsizetype limit : {qsizetype(0), qsizetype(1), bytes.size() / 2, bytes.size(), bytes.size() + 1}) {
        const QByteArray cut = Cp936::truncateBytes(bytes, limit);
        FUZZ_CHECK(cut.size() <= limit && bytes.startsWith(cut));
    }
    return 0;
}
