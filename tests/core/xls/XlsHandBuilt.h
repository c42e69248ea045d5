#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Workbooks assembled record by record in the tests, the way other programs lay them out, without
// the station's own writer: the reader must not only understand what our writer produces.
namespace XlsHandBuilt {

QByteArray u16(quint16 value);
QByteArray u32(quint32 value);
QByteArray f64(double value);
QByteArray record(quint16 type, const QByteArray &data);

// A string with a 16-bit count and option flags; wide picks UTF-16LE characters. rich adds that many
// formatting runs and phonetic that many bytes of phonetic data after the characters.
QByteArray string16(const QString &text, bool wide, int rich = 0, int phonetic = 0);

// Cell records.
QByteArray labelSst(quint16 row, quint16 column, quint32 index);
QByteArray number(quint16 row, quint16 column, double value);
QByteArray rk(quint16 row, quint16 column, quint32 rk);
QByteArray mulRk(quint16 row, quint16 firstColumn, const QList<quint32> &rks);
QByteArray boolErr(quint16 row, quint16 column, quint8 value, bool isError);
QByteArray formulaNumber(quint16 row, quint16 column, double value);
// A formula whose text result follows in a STRING record (stringData: count, flags, characters).
QByteArray formulaWithString(quint16 row, quint16 column, const QByteArray &stringData);
QByteArray blank(quint16 row, quint16 column);

struct Sheet {
    QString name = QStringLiteral("Sheet1");
    QByteArray records; // between the sheet's BOF and EOF
    quint8 type = 0;    // 0 worksheet, 2 chart
};

struct Workbook {
    quint16 version = 0x0600;
    QList<QByteArray> sst; // data of SST and of each CONTINUE after it; empty: no SST
    QList<Sheet> sheets{Sheet()};
    QByteArray globalsExtra; // more records inside the globals, before the sheets' entries
};

// The BIFF stream of the workbook.
QByteArray stream(const Workbook &workbook);
// The stream packed into a compound file under streamName (small streams stay in the mini stream).
QByteArray compoundFile(const QByteArray &stream, const QString &streamName = QStringLiteral("Workbook"));
// Writes bytes to dir/name and returns the path.
QString save(const QString &dir, const QString &name, const QByteArray &bytes);

} // namespace XlsHandBuilt
