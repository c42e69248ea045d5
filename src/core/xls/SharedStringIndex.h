#pragma once

#include "core/xls/RecordDataReader.h"

#include <QByteArrayView>
#include <QHash>
#include <QString>

#include <vector>

namespace Xls {

// The reader's view of a workbook's shared string table (SST and its CONTINUE records). Strings are
// decoded only when a cell asks for them: the table keeps where each one starts in the stream, four
// bytes per string, never less than three bytes of the stream. A file of millions of short strings
// thus costs about its own size, not twenty times that. Strings of more than kSharedFrom characters
// are kept once decoded, so that cells using the same long text share one copy.
class SharedStringIndex {
public:
    static constexpr qsizetype kSharedFrom = 64;

    // Indexes the strings of the SST record whose data is [dataStart, dataEnd) of stream, which must
    // outlive the index; strings of a further SST record are appended. False with a reason in *error
    // when a string is cut short.
    bool add(QByteArrayView stream, qsizetype dataStart, qsizetype dataEnd, QString *error);

    qsizetype size() const { return qsizetype(m_starts.size()); }
    // True when string index (below size()) has no characters.
    bool isEmptyAt(quint32 index) const;
    // String index (below size()).
    QString text(quint32 index) const;

private:
    RecordDataReader readerAt(quint32 index) const;

    QByteArrayView m_stream;
    // Stream positions of the record data holding strings (the SST's and its CONTINUE records'), in
    // stream order, and of the strings themselves.
    std::vector<quint32> m_parts;
    std::vector<quint32> m_starts;
    mutable QHash<quint32, QString> m_long;
};

} // namespace Xls
