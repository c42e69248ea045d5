#pragma once

#include <QByteArray>
#include <QStringView>

namespace Xls {

// Appends BIFF records to one growing buffer. A record is opened with begin(), filled with
// little-endian values and closed with end(), which fills in its length. Values are written straight
// into the buffer, so building a large sheet costs no allocation per cell.
class RecordWriter {
public:
    explicit RecordWriter(qsizetype expectedSize);

    void begin(quint16 type);
    void end();
    void record(quint16 type, QByteArrayView data);

    void u8(quint8 value);
    void u16(quint16 value);
    void u32(quint32 value);
    void bytes(QByteArrayView data);
    // Characters as 8-bit (each below U+0100) or as UTF-16LE.
    void chars(QStringView text, bool wide);
    void patchU32(qsizetype offset, quint32 value);
    void padTo(qsizetype size);

    // Stream position of the next byte.
    qsizetype pos() const { return m_size; }
    // Stream position of the open record's header.
    qsizetype recordStart() const { return m_recordStart; }
    // Data bytes written into the open record so far.
    int recordDataSize() const { return int(m_size - m_recordStart) - 4; }

    // Hands over the finished stream; the writer is empty afterwards.
    QByteArray take();

private:
    char *grow(qsizetype count);

    QByteArray m_data;
    qsizetype m_size = 0;
    qsizetype m_recordStart = -1;
};

} // namespace Xls
