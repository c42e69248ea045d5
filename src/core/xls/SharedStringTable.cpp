#include "core/xls/SharedStringTable.h"

#include "core/xls/BiffRecords.h"
#include "core/xls/RecordWriter.h"

#include <bit>
#include <cstring>
#include <vector>

namespace Xls {

namespace {

bool needsWideChars(QStringView text) {
    for (QChar c : text) {
        if (c.unicode() > 0xFF) {
            return true;
        }
    }
    return false;
}

quint32 hashText(QStringView text) {
    // Multiply-xorshift over four UTF-16 units at a time: enough spread for a table index.
    quint64 h = 0x9E3779B97F4A7C15ull ^ quint64(text.size());
    const char16_t *p = text.utf16();
    qsizetype left = text.size();
    for (; left >= 4; left -= 4, p += 4) {
        quint64 chunk;
        std::memcpy(&chunk, p, sizeof chunk);
        h = (h ^ chunk) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
    }
    for (; left > 0; --left, ++p) {
        h = (h ^ *p) * 0xC4CEB9FE1A85EC53ull;
    }
    h ^= h >> 29;
    return quint32(h ^ (h >> 32));
}

struct Bucket {
    quint32 streamPos;
    quint16 offsetInRecord;
};

// At least 8 strings per bucket (the format's minimum) and at most 128 buckets, as common writers do,
// as long as the count fits its 16-bit field.
int stringsPerBucket(size_t uniqueCount) {
    return int(qBound<size_t>(8, uniqueCount / 128 + 1, 0xFFFF));
}

} // namespace

SharedStringTable::SharedStringTable(qsizetype expectedCells) {
    m_strings.reserve(size_t(expectedCells));
    rehash(std::bit_ceil(size_t(qMax<qsizetype>(expectedCells, 8))));
    m_estimatedSize = 2 * Biff::RecordHeaderSize + 8 + 2 + 8 * 128;
}

void SharedStringTable::rehash(size_t slotCount) {
    m_slots.assign(slotCount, Slot());
    const size_t mask = slotCount - 1;
    for (size_t i = 0; i < m_strings.size(); ++i) {
        const quint32 hash = hashText(m_strings[i]);
        size_t at = hash & mask;
        while (m_slots[at].index != 0) {
            at = (at + 1) & mask;
        }
        m_slots[at] = {hash, quint32(i + 1)};
    }
}

quint32 SharedStringTable::add(QStringView text) {
    ++m_references;
    const quint32 hash = hashText(text);
    const size_t mask = m_slots.size() - 1;
    size_t at = hash & mask;
    for (; m_slots[at].index != 0; at = (at + 1) & mask) {
        const Slot &slot = m_slots[at];
        if (slot.hash == hash && m_strings[slot.index - 1] == text) {
            return slot.index - 1;
        }
    }
    m_strings.push_back(text);
    m_slots[at] = {hash, quint32(m_strings.size())};
    // Header, UTF-16 characters and, at worst, one CONTINUE header with its flag byte per piece.
    m_estimatedSize += 3 + 2 * text.size() + (2 * text.size() / Biff::MaxRecordData + 1) * 5;
    if (m_strings.size() * 2 > m_slots.size()) {
        rehash(m_slots.size() * 2);
    }
    return quint32(m_strings.size() - 1);
}

void SharedStringTable::write(RecordWriter &out) const {
    const int perBucket = stringsPerBucket(m_strings.size());
    std::vector<Bucket> buckets;
    buckets.reserve(m_strings.size() / size_t(perBucket) + 1);

    out.begin(Biff::Sst);
    out.u32(m_references);
    out.u32(quint32(m_strings.size()));
    for (size_t i = 0; i < m_strings.size(); ++i) {
        QStringView rest = m_strings[i];
        const bool wide = needsWideChars(rest);
        const int charSize = wide ? 2 : 1;
        // A string starts where its header and its first characters fit (two of them, so a
        // surrogate pair is never the first thing split off); otherwise in a fresh CONTINUE.
        const int firstNeed = 3 + charSize * int(qMin<qsizetype>(rest.size(), 2));
        if (out.recordDataSize() + firstNeed > Biff::MaxRecordData) {
            out.end();
            out.begin(Biff::Continue);
        }
        if (i % size_t(perBucket) == 0) {
            buckets.push_back({quint32(out.pos()), quint16(out.pos() - out.recordStart())});
        }
        out.u16(quint16(rest.size()));
        out.u8(wide ? Biff::StringHighByte : 0);
        for (;;) {
            qsizetype count =
                qMin<qsizetype>(rest.size(), (Biff::MaxRecordData - out.recordDataSize()) / charSize);
            if (count < rest.size() && count > 0 && rest.at(count - 1).isHighSurrogate()) {
                --count;
            }
            out.chars(rest.first(count), wide);
            rest = rest.sliced(count);
            if (rest.isEmpty()) {
                break;
            }
            // The characters go on in a CONTINUE record, which repeats the string's option flags.
            out.end();
            out.begin(Biff::Continue);
            out.u8(wide ? Biff::StringHighByte : 0);
        }
    }
    out.end();

    out.begin(Biff::ExtSst);
    out.u16(quint16(perBucket));
    for (const Bucket &bucket : buckets) {
        out.u32(bucket.streamPos);
        out.u16(bucket.offsetInRecord);
        out.u16(0);
    }
    out.end();
}

} // namespace Xls
