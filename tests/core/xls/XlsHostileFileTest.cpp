#include "XlsHandBuilt.h"
#include "core/xls/Workbook.h"

#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

// Workbooks that claim more than they hold, or use the format's corners: each is read correctly or
// refused with a reason, and reading one never costs what it claims.
namespace {

using namespace XlsHandBuilt;

QString u(const char *text) {
    return QString::fromUtf8(text);
}

class XlsHostileFile : public ::testing::Test {
protected:
    QString save(const QByteArray &biff) {
        return XlsHandBuilt::save(dir.path(), u("book.xls"), compoundFile(biff));
    }

    bool read(const QByteArray &biff, Xls::Rows *rows, QString *error) {
        return Xls::readWorksheet(save(biff), u("Sheet1"), rows, error);
    }

    void expectRefused(const QByteArray &biff, const QString &expected) {
        Xls::Rows rows;
        QString error;
        EXPECT_FALSE(read(biff, &rows, &error));
        EXPECT_TRUE(error.contains(expected)) << error.toStdString();
    }

    static QByteArray withSheet(const QByteArray &records) {
        Workbook book;
        book.sheets[0].records = records;
        return stream(book);
    }

    QTemporaryDir dir;
};

TEST_F(XlsHostileFile, RecordsLongerThanTheFormatAllowsAreRefused) {
    // A text cell of 9000 bytes: longer than any record may be, though the stream holds all of it.
    QByteArray label = u16(0) + u16(0) + u16(15) + string16(QString(8990, u'x'), false);
    expectRefused(withSheet(record(0x0204, label)), u("more than the 8224"));

    // The sheet's BOF record claims 65535 bytes, which would swallow its cells.
    QByteArray biff = withSheet(number(0, 0, 1));
    const quint32 sheetAt = qFromLittleEndian<quint32>(biff.constData() + biff.indexOf("\x85\x00", 0) + 4);
    qToLittleEndian<quint16>(0xFFFF, biff.data() + sheetAt + 2);
    expectRefused(biff, u("BOF record of the sheet “Sheet1”"));

    // The workbook's own BOF record is too short to say what it is.
    biff = withSheet(number(0, 0, 1));
    biff = record(0x0809, u16(0x0600)) + biff.mid(4 + 16);
    expectRefused(biff, u("BOF record at byte 0 is 2 bytes long"));
}

TEST_F(XlsHostileFile, OldFormulaRecordsAreReadLikeCurrentOnes) {
    QByteArray cells = formulaNumber(0, 0, 2.5) + formulaWithString(0, 1, string16(u("总计"), true));
    // Both formula records get the old record id 0x0406.
    cells[1] = '\x04';
    cells[formulaNumber(0, 0, 2.5).size() + 1] = '\x04';
    Xls::Rows rows;
    QString error;
    ASSERT_TRUE(read(withSheet(cells), &rows, &error)) << error.toStdString();
    EXPECT_EQ(rows, Xls::Rows({{u("2.5"), u("总计")}}));
}

TEST_F(XlsHostileFile, CellsOutOfOrderComeRowByRowAndTheLaterValueWins) {
    const QByteArray cells = number(2, 1, 3) + number(0, 0, 1) + rk(1, 2, 2 << 2 | 2) + number(0, 0, 7);
    Xls::Rows rows;
    QString error;
    ASSERT_TRUE(read(withSheet(cells), &rows, &error)) << error.toStdString();
    EXPECT_EQ(rows, Xls::Rows({{u("7"), u(""), u("")}, {u(""), u(""), u("2")}, {u(""), u("3"), u("")}}));

    // A handler's reason is passed on as it is.
    error.clear();
    EXPECT_FALSE(Xls::forEachRow(
        save(withSheet(cells)), u("Sheet1"),
        [](const QStringList &, QString *reason) {
            *reason = u("stopped");
            return false;
        },
        &error));
    EXPECT_EQ(error, u("stopped"));
}

TEST_F(XlsHostileFile, ValuesBeyondTheLastColumnAreRefused) {
    expectRefused(withSheet(mulRk(0, 250, {2, 2, 2, 2, 2, 2, 2})), u("column 257 of only 256"));
}

TEST_F(XlsHostileFile, SharedStringsAreFoundInAnyPartOfTheTable) {
    // Strings start in each of three records, one runs over from the second into the third.
    Workbook book;
    const QString longText(100, u'长');
    book.sst = {u32(4) + u32(4) + string16(u("first"), false),
                string16(u("second"), true) + string16(longText, true).left(3 + 40),
                '\x01' + string16(longText, true).mid(3 + 40) + string16(u("last"), false)};
    book.sheets[0].records =
        labelSst(0, 0, 3) + labelSst(0, 1, 2) + labelSst(0, 2, 1) + labelSst(0, 3, 0) + labelSst(1, 0, 2);
    Xls::Rows rows;
    QString error;
    ASSERT_TRUE(read(stream(book), &rows, &error)) << error.toStdString();
    EXPECT_EQ(rows,
              Xls::Rows({{u("last"), longText, u("second"), u("first")}, {longText, u(""), u(""), u("")}}));
    // A long text used by many cells is held once, however many rows keep it.
    EXPECT_EQ(rows[0][1].constData(), rows[1][0].constData());
}

} // namespace
