#include "XlsHandBuilt.h"

#include "core/xls/CompoundFileWriter.h"

#include <QFile>
#include <QtEndian>
#include <cstring>

namespace XlsHandBuilt {

QByteArray u16(quint16 value) {
    QByteArray out(2, '\0');
    qToLittleEndian(value, out.data());
    return out;
}

QByteArray u32(quint32 value) {
    QByteArray out(4, '\0');
    qToLittleEndian(value, out.data());
    return out;
}

QByteArray f64(double value) {
    quint64 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    QByteArray out(8, '\0');
    qToLittleEndian(bits, out.data());
    return out;
}

QByteArray record(quint16 type, const QByteArray &data) {
    return u16(type) + u16(quint16(data.size())) + data;
}

QByteArray string16(const QString &text, bool wide, int rich, int phonetic) {
    QByteArray out = u16(quint16(text.size()));
    out += char((wide ? 0x01 : 0) | (phonetic ? 0x04 : 0) | (rich ? 0x08 : 0));
    if (rich) {
        out += u16(quint16(rich));
    }
    if (phonetic) {
        out += u32(quint32(phonetic));
    }
    for (QChar c : text) {
        out += wide ? u16(c.unicode()) : QByteArray(1, char(c.unicode()));
    }
    for (int i = 0; i < rich; ++i) {
        out += u16(quint16(i)) + u16(1); // character position, font
    }
    out += QByteArray(phonetic, '\x7F');
    return out;
}

static QByteArray cell(quint16 row, quint16 column) {
    return u16(row) + u16(column) + u16(15);
}

QByteArray labelSst(quint16 row, quint16 column, quint32 index) {
    return record(0x00FD, cell(row, column) + u32(index));
}

QByteArray number(quint16 row, quint16 column, double value) {
    return record(0x0203, cell(row, column) + f64(value));
}

QByteArray rk(quint16 row, quint16 column, quint32 rk) {
    return record(0x027E, cell(row, column) + u32(rk));
}

QByteArray mulRk(quint16 row, quint16 firstColumn, const QList<quint32> &rks) {
    QByteArray data = u16(row) + u16(firstColumn);
    for (quint32 value : rks) {
        data += u16(15) + u32(value);
    }
    return record(0x00BD, data + u16(quint16(firstColumn + rks.size() - 1)));
}

QByteArray boolErr(quint16 row, quint16 column, quint8 value, bool isError) {
    return record(0x0205, cell(row, column) + char(value) + char(isError ? 1 : 0));
}

static QByteArray formula(quint16 row, quint16 column, const QByteArray &result) {
    // Result, option flags, cache field, then a one-token formula (the integer 1).
    return record(0x0006,
                  cell(row, column) + result + u16(0) + u32(0) + u16(3) + QByteArray("\x1E\x01\x00", 3));
}

QByteArray formulaNumber(quint16 row, quint16 column, double value) {
    return formula(row, column, f64(value));
}

QByteArray formulaWithString(quint16 row, quint16 column, const QByteArray &stringData) {
    return formula(row, column, QByteArray(6, '\0') + u16(0xFFFF)) + record(0x0207, stringData);
}

QByteArray blank(quint16 row, quint16 column) {
    return record(0x0201, cell(row, column));
}

static QByteArray bof(quint16 version, quint16 substream) {
    return record(0x0809, u16(version) + u16(substream) + u16(0x0DBB) + u16(0x07CC) + u32(0) + u32(6));
}

QByteArray stream(const Workbook &workbook) {
    QByteArray globals = bof(workbook.version, 0x0005) + workbook.globalsExtra;
    QList<qsizetype> offsetFields;
    for (const Sheet &sheet : workbook.sheets) {
        offsetFields.append(globals.size() + 4);
        QByteArray name = QByteArray(1, char(sheet.name.size())) + '\x01';
        for (QChar c : sheet.name) {
            name += u16(c.unicode());
        }
        globals += record(0x0085, u32(0) + char(0) + char(sheet.type) + name);
    }
    for (qsizetype i = 0; i < workbook.sst.size(); ++i) {
        globals += record(i == 0 ? 0x00FC : 0x003C, workbook.sst.at(i));
    }
    globals += record(0x000A, {});

    QByteArray result = globals;
    for (qsizetype i = 0; i < workbook.sheets.size(); ++i) {
        qToLittleEndian(quint32(result.size()), result.data() + offsetFields.at(i));
        const Sheet &sheet = workbook.sheets.at(i);
        result +=
            bof(workbook.version, sheet.type == 2 ? 0x0020 : 0x0010) + sheet.records + record(0x000A, {});
    }
    return result;
}

QByteArray compoundFile(const QByteArray &stream, const QString &streamName) {
    Xls::CompoundFileWriter writer;
    QString error;
    if (!writer.addStream(streamName, stream, &error) || !writer.finish(&error)) {
        qFatal("cannot build a compound file: %s", qPrintable(error));
    }
    return writer.bytes().toByteArray();
}

QString save(const QString &dir, const QString &name, const QByteArray &bytes) {
    const QString path = dir + u'/' + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
    return path;
}

} // namespace XlsHandBuilt
