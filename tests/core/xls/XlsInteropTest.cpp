#include "XlsHandBuilt.h"
#include "core/xls/Workbook.h"
#include "support/Xlrd.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Our workbooks as xlrd sees them (support/Xlrd.h).
namespace {

QString u(const char *text) {
    return QString::fromUtf8(text);
}

// Every written cell is there: text cells as text, empty ones as blanks.
void expectSameCells(const QJsonObject &seen, const Xls::Rows &rows) {
    const QJsonArray seenRows = seen.value(u("rows")).toArray();
    ASSERT_EQ(seenRows.size(), rows.size());
    for (qsizetype r = 0; r < rows.size(); ++r) {
        const QJsonArray seenRow = seenRows.at(r).toArray();
        for (qsizetype c = 0; c < rows.at(r).size(); ++c) {
            ASSERT_LT(c, seenRow.size()) << "row " << r;
            const QJsonArray cell = seenRow.at(c).toArray();
            const QString &text = rows.at(r).at(c);
            EXPECT_EQ(cell.at(0).toInt(), text.isEmpty() ? 6 : 1) << "type of cell " << r << "," << c;
            ASSERT_EQ(cell.at(1).toString(), text) << "cell " << r << "," << c;
        }
    }
}

class XlsInterop : public ::testing::Test {
protected:
    void SetUp() override {
        if (Xlrd::python().isEmpty()) {
            GTEST_SKIP() << "python3 with xlrd (Debian package python3-xlrd) is not installed";
        }
    }

    QTemporaryDir dir;
};

TEST_F(XlsInterop, XlrdReadsEveryCellWeWrite) {
    Xls::Rows rows{
        {u("序号"), u("文件名称"), u("文件大小"), u("存放路径"), u("操作状态"), u("开始时间"), u("完成时间")},
        {u("1"), u("it's.txt"), u("3 KB"), u("192.168.1.1:4321||d://x"), u("准备上传"), u(""), u("")},
        {u("2"), u("tab\tand\r\nlines"), u("é ÿ"), u("😀"), u("")},
        {},
        {QString(32767, QChar(0x957F)), QString(32767, u'a'), QString(9000, QChar(0x4E2D))},
    };
    for (int r = 0; r < 3000; ++r) {
        rows.append({QString::number(r), u("文件%1.txt").arg(r), u(""), u("状态%1").arg(r % 7)});
    }
    const QString path = dir.filePath(u("log.xls"));
    QString error;
    ASSERT_TRUE(Xls::writeWorkbook(path, u("Sheet1"), rows, &error)) << error.toStdString();

    const QJsonObject seen = Xlrd::read(path, u("Sheet1"));
    EXPECT_EQ(seen.value(u("sheets")).toArray(), QJsonArray{u("Sheet1")});
    expectSameCells(seen, rows);
}

TEST_F(XlsInterop, XlrdReadsTenThousandRows) {
    Xls::Rows rows;
    for (int r = 0; r < 10000; ++r) {
        rows.append({QString::number(r + 1), u("第%1个文件.txt").arg(r), u("%1 KB").arg(r * 7),
                     u("10.0.0.1:4321||d://入库"), u("上传完成"), u("2024-03-05 10:00:00"),
                     u("2024-03-05 10:00:%1").arg(r % 60)});
    }
    const QString path = dir.filePath(u("big.xls"));
    ASSERT_TRUE(Xls::writeWorkbook(path, u("Sheet1"), rows));
    expectSameCells(Xlrd::read(path, u("Sheet1")), rows);
}

TEST_F(XlsInterop, SmallWorkbookInTheMiniStreamReadsAlikeInBoth) {
    using namespace XlsHandBuilt;
    Workbook book;
    book.sst = {u32(2) + u32(2) + string16(u("小"), true) + string16(u("tiny"), false)};
    book.sheets[0].records = labelSst(0, 0, 0) + labelSst(0, 1, 1) + labelSst(1, 1, 0);
    const QByteArray biff = stream(book);
    ASSERT_LT(biff.size(), 4096); // below the cutoff: the compound file keeps it in its mini stream
    const QString path = save(dir.path(), u("mini.xls"), compoundFile(biff));

    const Xls::Rows expected{{u("小"), u("tiny")}, {u(""), u("小")}};
    Xls::Rows rows;
    QString error;
    ASSERT_TRUE(Xls::readWorksheet(path, u("Sheet1"), &rows, &error)) << error.toStdString();
    EXPECT_EQ(rows, expected);
    const QJsonArray seen = Xlrd::read(path, u("Sheet1"), false).value(u("rows")).toArray();
    ASSERT_EQ(seen.size(), 2);
    EXPECT_EQ(seen.at(1).toArray().at(1).toArray().at(1).toString(), u("小"));
}

} // namespace
