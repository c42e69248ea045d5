#include "core/xls/CompoundFileReader.h"
#include "core/xls/Workbook.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

namespace {

QString u(const char *text) {
    return QString::fromUtf8(text);
}

// The rows as the reader gives them back: up to the last row with text, all as wide as the widest.
Xls::Rows padded(Xls::Rows rows) {
    while (!rows.isEmpty() &&
           std::all_of(rows.last().cbegin(), rows.last().cend(), [](auto &c) { return c.isEmpty(); })) {
        rows.removeLast();
    }
    qsizetype width = 0;
    for (const QStringList &row : rows) {
        for (qsizetype c = 0; c < row.size(); ++c) {
            if (!row.at(c).isEmpty()) {
                width = qMax(width, c + 1);
            }
        }
    }
    for (QStringList &row : rows) {
        row = row.mid(0, width);
        while (row.size() < width) {
            row.append(QString());
        }
    }
    return rows;
}

class XlsRoundTrip : public ::testing::Test {
protected:
    Xls::Rows roundTrip(const Xls::Rows &rows) {
        QString error;
        EXPECT_TRUE(Xls::writeWorkbook(path, QStringLiteral("Sheet1"), rows, &error)) << error.toStdString();
        Xls::Rows back;
        EXPECT_TRUE(Xls::readWorksheet(path, QStringLiteral("Sheet1"), &back, &error)) << error.toStdString();
        return back;
    }

    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("2024-03-05.xls"));
};

TEST_F(XlsRoundTrip, KeepsCjkApostrophesAndControlCharacters) {
    const Xls::Rows rows{
        {u("序号"), u("文件名称"), u("文件大小"), u("存放路径"), u("操作状态"), u("开始时间"), u("完成时间")},
        {u("1"), u("it's.txt"), u("3 KB"), u("192.168.1.1:4321||d://x'y"), u("准备上传"),
         u("2024-03-05 10:00:00"), u("2024-03-05 10:00:02")},
        {u("2"), u("tab\there\r\nnew line"), u("''"), u("\\\\server\\share"), u("Ünïcödé ÿ"), u("😀 𠀋"),
         u("\"q\"")},
    };
    EXPECT_EQ(roundTrip(rows), rows);
}

TEST_F(XlsRoundTrip, EmptyCellsAndRowsOfDifferentLengthsComeBackPadded) {
    const Xls::Rows rows{{u("a")}, {}, {u(""), u("b"), u(""), u("c")}, {u("d"), u("")}, {u(""), u("")}};
    const Xls::Rows expected{{u("a"), u(""), u(""), u("")},
                             {u(""), u(""), u(""), u("")},
                             {u(""), u("b"), u(""), u("c")},
                             {u("d"), u(""), u(""), u("")}};
    EXPECT_EQ(roundTrip(rows), expected);
    EXPECT_EQ(roundTrip({{u(""), u("")}}), Xls::Rows());
    EXPECT_EQ(roundTrip({}), Xls::Rows());
}

TEST_F(XlsRoundTrip, LongCellsSpanningContinueRecordsStayWhole) {
    // Strings of many lengths, 8- and 16-bit, with surrogate pairs, so that record boundaries fall
    // at every kind of place inside and between them.
    Xls::Rows rows;
    rows.append({QString(32767, QChar(0x957F)), QString(32767, u'x')});
    for (int length : {1, 7, 4000, 4111, 4112, 8219, 8220, 8221, 8222, 8223, 8224, 9000}) {
        QString wide;
        while (wide.size() < length) {
            wide += (wide.size() % 3 == 0) ? u("😀") : u("中");
        }
        wide.truncate(length);
        rows.append({QString(length, QChar(0xE9)), wide, QString::number(length)});
    }
    EXPECT_EQ(roundTrip(rows), padded(rows));
}

TEST_F(XlsRoundTrip, RepeatedTextIsStoredOnceAndReadEverywhere) {
    Xls::Rows rows;
    for (int r = 0; r < 10000; ++r) {
        rows.append({QString::number(r + 1), u("文件%1.txt").arg(r), u("准备上传"),
                     r % 3 ? u("") : u("上传完成"),
                     u("2024-03-05 10:%1:00").arg(r % 60, 2, 10, QLatin1Char('0'))});
    }
    EXPECT_EQ(roundTrip(rows), rows);
    EXPECT_LT(QFile(path).size(), 10000 * 5 * 30);
}

TEST_F(XlsRoundTrip, CellsTheFormatCannotHoldAreRefusedNotCut) {
    QString error;
    ASSERT_TRUE(Xls::writeWorkbook(path, QStringLiteral("Sheet1"), {{u("old")}}, &error));

    EXPECT_FALSE(
        Xls::writeWorkbook(path, QStringLiteral("Sheet1"), {{u("a"), QString(32768, u'x')}}, &error));
    EXPECT_TRUE(error.contains(u("32767"))) << error.toStdString();
    EXPECT_FALSE(Xls::writeWorkbook(path, QStringLiteral("Sheet1"), Xls::Rows(65537, {u("r")}), &error));
    EXPECT_FALSE(Xls::writeWorkbook(path, QStringLiteral("Sheet1"), {QStringList(257, u("c"))}, &error));
    EXPECT_FALSE(Xls::writeWorkbook(path, QStringLiteral("a/b"), {{u("x")}}, &error));
    EXPECT_FALSE(Xls::writeWorkbook(path, QString(32, u'n'), {{u("x")}}, &error));

    Xls::Rows back;
    ASSERT_TRUE(Xls::readWorksheet(path, QStringLiteral("Sheet1"), &back, &error));
    EXPECT_EQ(back, Xls::Rows{{u("old")}});
}

TEST_F(XlsRoundTrip, SheetsAtTheFormatsLimitsAndOtherNamesAreWritten) {
    QString error;
    Xls::Rows back;
    const Xls::Rows tall(65536, {u("r"), u("准备上传")});
    ASSERT_TRUE(Xls::writeWorkbook(path, u("记录 2024"), tall, &error)) << error.toStdString();
    ASSERT_TRUE(Xls::readWorksheet(path, u("记录 2024"), &back, &error)) << error.toStdString();
    EXPECT_EQ(back, tall);

    const Xls::Rows wide(3, QStringList(256, u("c")));
    ASSERT_TRUE(Xls::writeWorkbook(path, u("Sheet1"), wide, &error)) << error.toStdString();
    ASSERT_TRUE(Xls::readWorksheet(path, u("Sheet1"), &back, &error)) << error.toStdString();
    EXPECT_EQ(back, wide);
}

// Record-level checks of what we write: the records Excel needs before it opens a file unrepaired.
struct RawRecord {
    quint16 type;
    qsizetype offset;
    QByteArray data;
};

QList<RawRecord> records(const QByteArray &stream, qsizetype from) {
    QList<RawRecord> out;
    for (qsizetype pos = from; pos + 4 <= stream.size();) {
        const quint16 type = qFromLittleEndian<quint16>(stream.constData() + pos);
        const quint16 length = qFromLittleEndian<quint16>(stream.constData() + pos + 2);
        out.append({type, pos, stream.mid(pos + 4, length)});
        pos += 4 + length;
        if (type == 0x000A) {
            break;
        }
    }
    return out;
}

TEST_F(XlsRoundTrip, WritesTheRecordsExcelExpects) {
    Xls::Rows rows;
    for (int r = 0; r < 3000; ++r) {
        rows.append({u("第%1行的文本").arg(r), u(""), u("x%1").arg(r)});
    }
    ASSERT_EQ(roundTrip(rows), rows);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray stream;
    QString name;
    QString error;
    ASSERT_TRUE(Xls::readCompoundFileStream(file.readAll(), {u("Workbook")}, &stream, &name, &error));

    const QList<RawRecord> globals = records(stream, 0);
    QMap<quint16, int> count;
    quint32 sheetOffset = 0;
    for (const RawRecord &r : globals) {
        ++count[r.type];
        EXPECT_LE(r.data.size(), 8224);
        if (r.type == 0x0085 && r.data.size() >= 4) {
            sheetOffset = quint32(quint8(r.data[0])) | quint32(quint8(r.data[1])) << 8 |
                          quint32(quint8(r.data[2])) << 16 | quint32(quint8(r.data[3])) << 24;
        }
    }
    EXPECT_EQ(globals.first().data.left(4), QByteArray::fromHex("00060500"));
    EXPECT_EQ(globals.at(1).data, QByteArray::fromHex("b004")); // CODEPAGE 1200
    EXPECT_EQ(count[0x003D], 1);
    EXPECT_GE(count[0x0031], 5);
    EXPECT_EQ(count[0x00E0], 16);
    EXPECT_EQ(count[0x0293], 1);
    EXPECT_EQ(count[0x00FC], 1);
    EXPECT_GE(count[0x003C], 2); // the table of 6000 strings needs CONTINUE records
    EXPECT_EQ(count[0x00FF], 1);

    const QList<RawRecord> sheet = records(stream, sheetOffset);
    ASSERT_GE(sheet.size(), 4);
    EXPECT_EQ(sheet.first().type, 0x0809);
    EXPECT_EQ(sheet.first().data.left(4), QByteArray::fromHex("00061000"));
    EXPECT_EQ(sheet.at(1).type, 0x0200);
    EXPECT_EQ(sheet.at(1).data, QByteArray::fromHex("00000000b80b0000000003000000"));
    EXPECT_EQ(sheet.at(sheet.size() - 2).type, 0x023E);
    EXPECT_EQ(sheet.last().type, 0x000A);
    int labels = 0;
    int blanks = 0;
    for (const RawRecord &r : sheet) {
        labels += r.type == 0x00FD;
        blanks += r.type == 0x0201;
    }
    EXPECT_EQ(labels, 6000);
    EXPECT_EQ(blanks, 3000);
}

} // namespace
