// The transfer header on the isolator's side: the input's first 4096 bytes are a received block. A
// header the peer accepts maps to a place below its root, never outside it.
#include "FuzzSupport.h"
#include "IsolatorHeader.h"
#include "StoragePath.h"
#include "core/transfer/BlockIo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    QByteArray block = fuzzBytes(data, size).left(kBlockSize);
    block.append(QByteArray(kBlockSize - block.size(), '\0'));
    const IsolatorHeader header = IsolatorHeader::parse(block);
    (void)header.blockCount();
    if (!header.isValid()) {
        return 0;
    }
    const StoragePath target = StoragePath::map(header.address(), header.path(), header.name());
    if (!target.isValid()) {
        return 0;
    }
    FUZZ_CHECK(!target.fileName().isEmpty());
    const QStringList parts = target.relativeFilePath().split(u'/');
    FUZZ_CHECK(!parts.isEmpty() && parts.size() == target.folders().size() + 1);
    for (const QString &part : parts) {
        FUZZ_CHECK(!part.isEmpty() && part != u"." && part != u".." && !part.contains(u'\\'));
        FUZZ_CHECK(!part.contains(u'\0'));
    }
    return 0;
}
