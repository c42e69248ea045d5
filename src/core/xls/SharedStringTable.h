#pragma once

#include <QStringView>

#include <vector>

namespace Xls {

class RecordWriter;

// The workbook's shared string table as the writer builds it: every distinct cell text once, in the
// order first used, and the records (SST, CONTINUE, EXTSST) that store it. The table keeps views of
// the texts it is given, so they must outlive it.
class SharedStringTable {
public:
    explicit SharedStringTable(qsizetype expectedCells);

    // Index of text in the table, adding it if new; counts one more cell using it.
    quint32 add(QStringView text);

    qsizetype uniqueCount() const { return qsizetype(m_strings.size()); }
    quint32 referenceCount() const { return m_references; }
    // Upper bound of the bytes write() emits, for sizing the stream buffer.
    qsizetype estimatedSize() const { return m_estimatedSize; }

    // Writes SST with its CONTINUE records, then EXTSST.
    void write(RecordWriter &out) const;

private:
    // An open-addressing index over m_strings in one flat array: the log's tens of thousands of
    // texts would otherwise cost a node allocation and a slow keyed hash each.
    struct Slot {
        quint32 hash = 0;
        quint32 index = 0; // index + 1; 0 marks a free slot
    };

    void rehash(size_t slotCount);

    std::vector<Slot> m_slots;
    std::vector<QStringView> m_strings;
    quint32 m_references = 0;
    qsizetype m_estimatedSize = 0;
};

} // namespace Xls
