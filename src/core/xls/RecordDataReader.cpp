#include "core/xls/RecordDataReader.h"

#include "core/xls/BiffRecords.h"

#include <QtEndian>

namespace Xls {

RecordDataReader::RecordDataReader(QByteArrayView data)
    : m_stream(data), m_partStart(0), m_partEnd(data.size()), m_pos(0) {}

RecordDataReader::RecordDataReader(QByteArrayView stream, qsizetype partStart, qsizetype partEnd,
                                   qsizetype pos)
    : m_stream(stream), m_partStart(partStart), m_partEnd(partEnd), m_pos(pos) {}

bool RecordDataReader::nextPart() {
    const qsizetype header = m_partEnd;
    if (m_stream.size() - header < Biff::RecordHeaderSize) {
        return false;
    }
    const char *at = m_stream.data() + header;
    const quint16 length = qFromLittleEndian<quint16>(at + 2);
    if (qFromLittleEndian<quint16>(at) != Biff::Continue || length > Biff::MaxRecordData ||
        length > m_stream.size() - header - Biff::RecordHeaderSize) {
        return false;
    }
    m_partStart = header + Biff::RecordHeaderSize;
    m_partEnd = m_partStart + length;
    m_pos = m_partStart;
    return true;
}

void RecordDataReader::skipFinishedPart() {
    RecordDataReader probe = *this;
    while (probe.partLeft() == 0 && probe.nextPart()) {
        if (probe.partLeft() > 0) {
            *this = probe;
            return;
        }
    }
}

bool RecordDataReader::atEnd() const {
    RecordDataReader probe = *this;
    probe.skipFinishedPart();
    return probe.partLeft() == 0;
}

bool RecordDataReader::skip(qint64 count) {
    while (count > 0) {
        skipFinishedPart();
        const qsizetype step = qsizetype(qMin<qint64>(count, partLeft()));
        if (step == 0) {
            return false;
        }
        m_pos += step;
        count -= step;
    }
    return true;
}

bool RecordDataReader::u8(quint8 *value) {
    skipFinishedPart();
    if (partLeft() < 1) {
        return false;
    }
    *value = quint8(m_stream[m_pos]);
    ++m_pos;
    return true;
}

bool RecordDataReader::u16(quint16 *value) {
    quint8 low = 0;
    quint8 high = 0;
    if (!u8(&low) || !u8(&high)) {
        return false;
    }
    *value = quint16(low | (high << 8));
    return true;
}

bool RecordDataReader::u32(quint32 *value) {
    quint16 low = 0;
    quint16 high = 0;
    if (!u16(&low) || !u16(&high)) {
        return false;
    }
    *value = quint32(low) | (quint32(high) << 16);
    return true;
}

bool RecordDataReader::string16(QString *text) {
    quint16 count = 0;
    return u16(&count) && flaggedString(count, text);
}

bool RecordDataReader::string8(QString *text) {
    quint8 count = 0;
    return u8(&count) && flaggedString(count, text);
}

bool RecordDataReader::flaggedString(quint32 count, QString *text) {
    quint8 flags = 0;
    if (!u8(&flags)) {
        return false;
    }
    quint16 runs = 0;
    quint32 phoneticSize = 0;
    if ((flags & Biff::StringRich) && !u16(&runs)) {
        return false;
    }
    if ((flags & Biff::StringExtended) && !u32(&phoneticSize)) {
        return false;
    }
    return chars(count, flags & Biff::StringHighByte, text) && skip(qint64(runs) * 4) && skip(phoneticSize);
}

bool RecordDataReader::chars(quint32 count, bool wide, QString *text) {
    char16_t *out = nullptr;
    if (text) {
        text->resize(qsizetype(count));
        out = reinterpret_cast<char16_t *>(text->data());
    }
    quint32 done = 0;
    while (done < count) {
        if (partLeft() == 0) {
            // The characters go on in the next record, which starts with their option byte again.
            if (!nextPart()) {
                return false;
            }
            quint8 flags = 0;
            if (!u8(&flags)) {
                return false;
            }
            wide = flags & Biff::StringHighByte;
        }
        const int charSize = wide ? 2 : 1;
        const qsizetype available = partLeft() / charSize;
        if (available == 0) {
            return false; // one byte of a 16-bit character left: the string is damaged
        }
        const quint32 take = quint32(qMin<qsizetype>(available, count - done));
        const char *in = m_stream.data() + m_pos;
        if (out && wide) {
            qFromLittleEndian<char16_t>(in, take, out + done);
        } else if (out) {
            for (quint32 i = 0; i < take; ++i) {
                out[done + i] = char16_t(quint8(in[i]));
            }
        }
        m_pos += take * charSize;
        done += take;
    }
    return true;
}

} // namespace Xls
