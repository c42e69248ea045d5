#include "XlsHandBuilt.h"
#include "core/xls/CellText.h"
#include "core/xls/Workbook.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

// Workbooks other programs wrote: LibreOffice's (committed fixtures; how they were made is in
// tests/fixtures/xls/README.md) and hand-built ones with the record forms Excel and others use.
namespace {

using namespace XlsHandBuilt;

QString u(const char *text) {
    return QString::fromUtf8(text);
}

QString fixture(const char *name) {
    return QStringLiteral(BRELVANTIS_FIXTURE_DIR "/xls/") + QLatin1String(name);
}

Xls::Rows read(const QString &path, const QString &sheet = QStringLiteral("Sheet1")) {
    Xls::Rows rows;
    QString error;
    EXPECT_TRUE(Xls::readWorksheet(path, sheet, &rows, &error)) << error.toStdString();
    return rows;
}

TEST(XlsLibreOffice, ReadsAWorkbookConvertedFromCsv) {
    const Xls::Rows expected{
        {u("序号"), u("文件名称"), u("文件大小"), u("数量"), u("备注")},
        {u("1"), u("it's 文件.txt"), u("3 KB"), u("42"), u("")},
        {u("2"), u("报告 \"最终\".doc"), u(""), u("2.5"), u("O'Brien")},
        {u(""), u("空行测试"), u(""), u("-7"), u("")},
        {u(""), u(""), u(""), u(""), u("")},
        {u("5"), u("多行\n文本"), u("1024 KB"), u("1234567890123"), u("'引号'")},
    };
    EXPECT_EQ(read(fixture("libreoffice-from-csv.xls")), expected);
}

TEST(XlsLibreOffice, ReadsFormulaResultsAndPicksTheSheetByName) {
    const Xls::Rows rows = read(fixture("libreoffice-formulas.xls"));
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows.at(0),
              (QStringList{u("文本"), u("3"), u("0.1"), u("文本-3"), u("7.5"), u("TRUE"), u("#DIV/0!")}));
    // A 5000-character formula text arrives in a STRING record with a CONTINUE record.
    EXPECT_EQ(rows.at(1), (QStringList{u("-12"), u("100000"), u("123.456"), QString(5000, QChar(0x957F)),
                                       u(""), u("0"), u("1E+20")}));
    EXPECT_EQ(read(fixture("libreoffice-formulas.xls"), u("封面")), Xls::Rows{{u("不是这张")}});
}

TEST(XlsLibreOffice, ReadsOurLogAfterLibreOfficeSavedIt) {
    const Xls::Rows expected{
        {u("序号"), u("文件名称"), u("文件大小"), u("存放路径"), u("操作状态"), u("开始时间"), u("完成时间")},
        {u("1"), u("it's.txt"), u("3 KB"), u("192.168.1.1:4321||d://x"), u("准备上传"), u(""), u("")},
        {u("2"), u("报告 'final'.doc"), u("120 KB"), u("10.0.0.2:4321||e://入库/文档"), u("上传完成"),
         u("2024-03-05 10:00:00"), u("2024-03-05 10:00:02")},
        {u("3"), u("两行\n名称.txt"), u("0 KB"), u("10.0.0.3:4321||f://a'b"), u("传输故障"),
         u("2024-03-05 10:01:00"), u("")},
        {u("4"), QString(300, QChar(0x957F)), u("7 KB"), u(""), u("正在上传"), u("2024-03-05 10:02:00"),
         u("")},
    };
    EXPECT_EQ(read(fixture("station-log.xls")), expected); // as our writer made it
    EXPECT_EQ(read(fixture("libreoffice-resaved.xls")), expected);
}

class XlsHandBuiltWorkbook : public ::testing::Test {
protected:
    Xls::Rows readBook(const Workbook &book, const QString &streamName = QStringLiteral("Workbook")) {
        return read(save(dir.path(), u("book.xls"), compoundFile(stream(book), streamName)));
    }

    QTemporaryDir dir;
};

TEST_F(XlsHandBuiltWorkbook, EmptyStringInTheSharedTableIsAnEmptyCell) {
    Workbook book;
    book.sst = {u32(2) + u32(2) + string16(QString(), false) + string16(u("a"), false)};
    book.sheets[0].records = labelSst(0, 0, 0) + labelSst(0, 1, 1) + labelSst(1, 0, 0);
    EXPECT_EQ(readBook(book), (Xls::Rows{{u(""), u("a")}}));
}

TEST_F(XlsHandBuiltWorkbook, StringSpanningThreeRecordsWithChangingCharacterWidth) {
    const QString first(3000, QChar(0x4E2D));
    const QString middle(3000, u'x');
    QByteArray part0 = u32(2) + u32(2) + u16(9000) + '\x01';
    QByteArray part2 = "\x01";
    for (int i = 0; i < 3000; ++i) {
        part0 += u16(0x4E2D);
        part2 += u16(0x6587);
    }
    const QByteArray part1 = '\x00' + middle.toLatin1(); // the middle third stored 8-bit
    part2 += string16(u("after"), false);

    Workbook book;
    book.sst = {part0, part1, part2};
    book.sheets[0].records = labelSst(0, 0, 0) + labelSst(0, 1, 1);
    EXPECT_EQ(readBook(book), (Xls::Rows{{first + middle + QString(3000, QChar(0x6587)), u("after")}}));
}

TEST_F(XlsHandBuiltWorkbook, RichTextAndPhoneticDataAreSkippedAlsoAcrossRecords) {
    // Byte offsets: "甲" 0-5, the rich string 5-40 (characters end at 18, runs 18-34, phonetic
    // 34-40), "乙" 40-45, "丙" 45-50. Cuts inside the runs, inside the phonetic data and between two
    // strings: none of them repeats an option byte.
    const QByteArray strings = string16(u("甲"), true) + string16(u("富文"), true, 4, 6) +
                               string16(u("乙"), true) + string16(u("丙"), true);
    Workbook book;
    book.sst = {u32(4) + u32(4) + strings.left(23), strings.mid(23, 14), strings.mid(37, 8), strings.mid(45)};
    book.sheets[0].records = labelSst(0, 0, 0) + labelSst(0, 1, 1) + labelSst(0, 2, 2) + labelSst(0, 3, 3);
    EXPECT_EQ(readBook(book), (Xls::Rows{{u("甲"), u("富文"), u("乙"), u("丙")}}));
}

TEST_F(XlsHandBuiltWorkbook, NumberBooleanFormulaAndOldTextCellsReadAsShown) {
    const QByteArray rstring =
        record(0x00D6, u16(2) + u16(5) + u16(15) + string16(u("富"), true) + u16(1) + u32(0));
    const QByteArray mulBlank = record(0x00BE, u16(1) + u16(4) + u16(15) + u16(15) + u16(5));
    Workbook book;
    book.sheets[0].records = number(0, 0, 2.5) + number(0, 1, 1.0) + rk(0, 2, (42 << 2) | 2) +
                             rk(0, 3, (123 << 2) | 3) + rk(0, 4, 0x40040000) +
                             mulRk(1, 0, {(1 << 2) | 2, quint32(-5 * 4) | 2, (150 << 2) | 3}) + blank(1, 3) +
                             mulBlank + formulaNumber(2, 0, 7.5) +
                             formulaWithString(2, 1, string16(u("公式结果"), true)) +
                             boolErr(2, 2, 1, false) + boolErr(2, 3, 0x2A, true) +
                             record(0x0204, u16(2) + u16(4) + u16(15) + string16(u("标签"), true)) + rstring;
    const Xls::Rows expected{
        {u("2.5"), u("1"), u("42"), u("1.23"), u("2.5"), u("")},
        {u("1"), u("-5"), u("1.5"), u(""), u(""), u("")},
        {u("7.5"), u("公式结果"), u("TRUE"), u("#N/A"), u("标签"), u("富")},
    };
    EXPECT_EQ(readBook(book), expected);
}

TEST_F(XlsHandBuiltWorkbook, FindsTheWorksheetByExactNameAndSkipsEmbeddedCharts) {
    Workbook book;
    book.sst = {u32(2) + u32(2) + string16(u("right"), false) + string16(u("wrong"), false)};
    Sheet chart{u("Sheet1"), labelSst(0, 0, 1), 2};
    Sheet other{u("sheet1"), labelSst(0, 0, 1), 0};
    Sheet wanted{u("Sheet1"), {}, 0};
    // An embedded chart's substream inside the worksheet holds records that are no cells of it.
    wanted.records = record(0x0809, u16(0x0600) + u16(0x0020) + u32(0) + u32(0) + u32(0)) + number(5, 5, 1) +
                     record(0x000A, {}) + labelSst(0, 0, 0);
    book.sheets = {chart, other, wanted};
    EXPECT_EQ(readBook(book), Xls::Rows{{u("right")}});
}

TEST_F(XlsHandBuiltWorkbook, BookStreamIsReadWhenBiff8AndRefusedWhenExcel95) {
    Workbook book;
    book.sheets[0].records = number(0, 0, 3);
    EXPECT_EQ(readBook(book, u("Book")), Xls::Rows{{u("3")}});

    book.version = 0x0500;
    const QString path = save(dir.path(), u("old.xls"), compoundFile(stream(book), u("Book")));
    Xls::Rows rows;
    QString error;
    EXPECT_FALSE(Xls::readWorksheet(path, u("Sheet1"), &rows, &error));
    EXPECT_TRUE(error.contains(u("BIFF5"))) << error.toStdString();
}

TEST(XlsCellText, NumbersLookAsInTheGeneralFormat) {
    using Xls::CellText::fromNumber;
    EXPECT_EQ(fromNumber(1), u("1"));
    EXPECT_EQ(fromNumber(2.5), u("2.5"));
    EXPECT_EQ(fromNumber(-12), u("-12"));
    EXPECT_EQ(fromNumber(-0.0), u("0"));
    EXPECT_EQ(fromNumber(0.1), u("0.1"));
    EXPECT_EQ(fromNumber(1.0 / 3), u("0.333333333333333"));
    EXPECT_EQ(fromNumber(123456789012345), u("123456789012345"));
    EXPECT_EQ(fromNumber(1e20), u("1E+20"));
    EXPECT_EQ(fromNumber(0.1 + 0.2), u("0.3"));
}

} // namespace
