// The mapping parser: the first line of the input is the subfolder looked up, the rest the mapping
// text, both code page 936. A look-up that finds a path and an address judges them like the queue.
#include "FuzzSupport.h"
#include "core/common/Cp936.h"
#include "core/config/InnerPathMapping.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes = fuzzBytes(data, size);
    const qsizetype lineEnd = bytes.indexOf('\n');
    const QString name = Cp936::decode(lineEnd < 0 ? QByteArray() : bytes.left(lineEnd));
    const QString text = Cp936::decode(bytes.mid(lineEnd + 1));
    InnerPathMapping::Lookup lookup = InnerPathMapping::find(text, name);
    lookup.fileOpened = true;
    (void)InnerPathMapping::judgeForQueue(lookup);
    FUZZ_CHECK(!lookup.pathFound || lookup.keyFound || lookup.keyAtTextStart);

    // A record written for a plain name is found again with its path and address.
    if (!name.isEmpty() && !name.contains(u'|') && !name.contains(u'*') && !name.contains(u'>')) {
        const InnerPathMapping::Row row{name, QStringLiteral("10.0.0.1:4000"), QStringLiteral("d:\\in")};
        const InnerPathMapping::Lookup back = InnerPathMapping::find(InnerPathMapping::textOf({row}), name);
        FUZZ_CHECK(back.keyFound && back.innerPath == row.innerPath && back.innerAddress == row.innerAddress);
    }
    return 0;
}
