#pragma once

#include <QByteArrayView>
#include <QString>
#include <QVarLengthArray>

namespace Xls {

// Reads the data of one record together with the CONTINUE records that carry it on, as BIFF8 splits
// it: plain bytes run on from one record into the next, but characters of a string that go on in a
// CONTINUE record are preceded there by a fresh option byte saying whether they are 8- or 16-bit.
// Every read is bounds-checked and returns false when the data runs out.
class RecordDataReader {
public:
    explicit RecordDataReader(QByteArrayView data);

    void addContinuation(QByteArrayView data);

    bool u8(quint8 *value);
    bool u16(quint16 *value);
    bool u32(quint32 *value);
    bool skip(qint64 count);
    // True when every byte of every part has been read.
    bool atEnd() const;
    // Moves to the start of the next CONTINUE record if the current one is used up.
    void skipFinishedPart();

    // A string with a 16-bit character count and option flags (rich-text runs and phonetic data,
    // when flagged, are skipped).
    bool string16(QString *text);
    // A string with an 8-bit character count and option flags, as in sheet names.
    bool string8(QString *text);

private:
    bool flaggedString(quint32 count, QString *text);
    bool chars(quint32 count, bool wide, QString *text);
    qsizetype partLeft() const { return m_parts[m_part].size() - m_pos; }

    QVarLengthArray<QByteArrayView, 4> m_parts;
    qsizetype m_part = 0;
    qsizetype m_pos = 0;
};

} // namespace Xls
