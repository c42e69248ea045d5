#include "core/xls/SharedStringIndex.h"

#include "core/xls/BiffRecords.h"
#include "core/xls/RecordDataReader.h"

#include <QtEndian>
#include <algorithm>

namespace Xls {

bool SharedStringIndex::add(QByteArrayView stream, qsizetype dataStart, qsizetype dataEnd, QString *error) {
    m_stream = stream;
    RecordDataReader data(stream, dataStart, dataEnd, dataStart);
    auto notePart = [this, &data] {
        if (m_parts.empty() || m_parts.back() < quint32(data.partStart())) {
            m_parts.push_back(quint32(data.partStart()));
        }
    };
    notePart();
    quint32 total = 0;
    quint32 unique = 0;
    if (!data.u32(&total) || !data.u32(&unique)) {
        *error = QStringLiteral("The workbook is damaged: its shared string table is cut short.");
        return false;
    }
    // The announced count is a claim only: nothing is reserved for it.
    for (quint32 i = 0; i < unique; ++i) {
        data.skipFinishedPart();
        if (data.atEnd()) {
            break; // fewer strings than announced; a cell using a missing one is caught later
        }
        // Only the parts strings start in are noted: the CONTINUE records a string runs on into are
        // found again by walking the stream from there.
        notePart();
        m_starts.push_back(quint32(data.pos()));
        if (!data.string16(nullptr)) {
            *error = QStringLiteral("The workbook is damaged: string %1 of its shared string table is cut "
                                    "short.")
                         .arg(size());
            return false;
        }
    }
    return true;
}

RecordDataReader SharedStringIndex::readerAt(quint32 index) const {
    const quint32 start = m_starts[index];
    const auto part = std::upper_bound(m_parts.cbegin(), m_parts.cend(), start) - 1;
    const qsizetype partStart = *part;
    const qsizetype partEnd = partStart + qFromLittleEndian<quint16>(m_stream.data() + partStart - 2);
    return RecordDataReader(m_stream, partStart, partEnd, start);
}

bool SharedStringIndex::isEmptyAt(quint32 index) const {
    quint16 count = 0;
    readerAt(index).u16(&count);
    return count == 0;
}

QString SharedStringIndex::text(quint32 index) const {
    if (const auto found = m_long.constFind(index); found != m_long.cend()) {
        return *found;
    }
    QString result;
    readerAt(index).string16(&result);
    if (result.size() > kSharedFrom) {
        m_long.insert(index, result);
    }
    return result;
}

} // namespace Xls
