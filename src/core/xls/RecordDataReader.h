#pragma once

#include <QByteArrayView>
#include <QString>

namespace Xls {

// Reads the data of one record together with the CONTINUE records that carry it on, as BIFF8 splits
// it: plain bytes run on from one record into the next, but characters of a string that go on in a
// CONTINUE record are preceded there by a fresh option byte saying whether they are 8- or 16-bit.
// The CONTINUE records are found in the stream itself, right behind the part being read, so the
// reader holds no list of them and can be started anywhere inside a record. Every read is
// bounds-checked and returns false when the data runs out.
class RecordDataReader {
public:
    // The bytes of data alone, with no CONTINUE records after them.
    explicit RecordDataReader(QByteArrayView data);
    // Reading stream from pos, which lies in the record data [partStart, partEnd); the CONTINUE
    // records that directly follow partEnd carry the data on.
    RecordDataReader(QByteArrayView stream, qsizetype partStart, qsizetype partEnd, qsizetype pos);

    bool u8(quint8 *value);
    bool u16(quint16 *value);
    bool u32(quint32 *value);
    bool skip(qint64 count);
    // True when every byte of every part has been read.
    bool atEnd() const;
    // Moves to the start of the next non-empty CONTINUE record if the current part is used up.
    void skipFinishedPart();

    // A string with a 16-bit character count and option flags (rich-text runs and phonetic data,
    // when flagged, are skipped). With text null the string is checked and passed over only.
    bool string16(QString *text);
    // A string with an 8-bit character count and option flags, as in sheet names.
    bool string8(QString *text);

    // Stream position of the next byte, and the record data it lies in.
    qsizetype pos() const { return m_pos; }
    qsizetype partStart() const { return m_partStart; }
    qsizetype partEnd() const { return m_partEnd; }

private:
    bool nextPart();
    bool flaggedString(quint32 count, QString *text);
    bool chars(quint32 count, bool wide, QString *text);
    qsizetype partLeft() const { return m_partEnd - m_pos; }

    QByteArrayView m_stream;
    qsizetype m_partStart = 0;
    qsizetype m_partEnd = 0;
    qsizetype m_pos = 0;
};

} // namespace Xls
