#include "core/xls/RecordReader.h"

#include "core/xls/BiffRecords.h"

#include <QtEndian>

namespace Xls {

RecordReader::RecordReader(QByteArrayView stream) : m_stream(stream) {}

bool RecordReader::seek(qsizetype offset) {
    if (offset < 0 || offset >= m_stream.size()) {
        return false;
    }
    m_pos = offset;
    return true;
}

bool RecordReader::next(Record *record, QString *error) {
    const qsizetype left = m_stream.size() - m_pos;
    if (left < Biff::RecordHeaderSize) {
        *error = QStringLiteral(
                     "The workbook is damaged: its records end at byte %1 before the sheet is complete.")
                     .arg(m_pos);
        return false;
    }
    const char *header = m_stream.data() + m_pos;
    const quint16 length = qFromLittleEndian<quint16>(header + 2);
    if (length > left - Biff::RecordHeaderSize) {
        *error = QStringLiteral(
                     "The workbook is damaged: the record at byte %1 claims %2 bytes, but only %3 follow.")
                     .arg(m_pos)
                     .arg(length)
                     .arg(left - Biff::RecordHeaderSize);
        return false;
    }
    if (length > Biff::MaxRecordData) {
        *error =
            QStringLiteral("The workbook is damaged: the record at byte %1 claims %2 bytes, more than the "
                           "%3 a record can hold.")
                .arg(m_pos)
                .arg(length)
                .arg(Biff::MaxRecordData);
        return false;
    }
    record->type = qFromLittleEndian<quint16>(header);
    record->offset = m_pos;
    record->data = m_stream.sliced(m_pos + Biff::RecordHeaderSize, length);
    m_pos += Biff::RecordHeaderSize + length;
    return true;
}

} // namespace Xls
