#include "XlsHandBuilt.h"
#include "core/xls/Workbook.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Files that are no readable workbook: each read fails with a reason and leaves no rows, and none
// crashes or reads past its data (the suite also runs under AddressSanitizer).
namespace {

using namespace XlsHandBuilt;

QString u(const char *text) {
    return QString::fromUtf8(text);
}

class XlsBadInput : public ::testing::Test {
protected:
    // Reads path, expecting a failure whose reason contains expected.
    void expectRefused(const QString &path, const QString &expected, const QString &sheet = u("Sheet1")) {
        Xls::Rows rows{{u("left over")}};
        QString error;
        EXPECT_FALSE(Xls::readWorksheet(path, sheet, &rows, &error));
        EXPECT_TRUE(rows.isEmpty());
        EXPECT_TRUE(error.contains(expected, Qt::CaseInsensitive)) << error.toStdString();
    }

    QString book(const Workbook &workbook) {
        return save(m_dir.path(), u("book.xls"), compoundFile(stream(workbook)));
    }

    // A sound workbook: two shared strings, one split over a CONTINUE record, and a few cells.
    static Workbook soundBook() {
        Workbook book;
        const QByteArray strings = string16(u("准备上传"), true) + string16(u("it's.txt"), false);
        book.sst = {u32(3) + u32(2) + strings.left(7), '\x01' + strings.mid(7)};
        book.sheets[0].records =
            labelSst(0, 0, 0) + labelSst(0, 1, 1) + number(1, 0, 2.5) + labelSst(1, 1, 0);
        return book;
    }

    QTemporaryDir m_dir;
};

TEST_F(XlsBadInput, FilesThatAreNoWorkbook) {
    expectRefused(m_dir.filePath(u("2024-03-05.xls")), u("文件不存在"));
    expectRefused(m_dir.path(), u("不是普通文件"));
#ifdef Q_OS_UNIX
    expectRefused(u("/dev/zero"), u("不是普通文件"));
#endif
    expectRefused(save(m_dir.path(), u("empty.xls"), {}), u("compound file"));
    expectRefused(save(m_dir.path(), u("text.xls"), "序号,文件名称\n1,a.txt\n"), u("compound file"));
    expectRefused(save(m_dir.path(), u("other.xls"), compoundFile(stream(soundBook()), u("WordDocument"))),
                  u("Workbook"));
}

TEST_F(XlsBadInput, WorkbookWithoutTheSheet) {
    Workbook workbook = soundBook();
    workbook.sheets[0].name = u("Sheet2");
    expectRefused(book(workbook), u("no sheet named “Sheet1” (its sheets: Sheet2)"));
}

TEST_F(XlsBadInput, TruncatedFiles) {
    Xls::Rows rows;
    for (int r = 0; r < 500; ++r) {
        rows.append({QString::number(r), u("文件%1.txt").arg(r), u("准备上传")});
    }
    const QString path = m_dir.filePath(u("full.xls"));
    ASSERT_TRUE(Xls::writeWorkbook(path, u("Sheet1"), rows));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    for (qsizetype size = 0; size < bytes.size(); size += (size < 2048 ? 97 : 511)) {
        expectRefused(save(m_dir.path(), u("cut.xls"), bytes.left(size)), u(""));
    }
}

TEST_F(XlsBadInput, DamagedRecords) {
    Workbook workbook = soundBook();
    workbook.sheets[0].records += u16(0x00FD) + u16(0xFFFF) + QByteArray(10, '\0');
    expectRefused(book(workbook), u("claims 65535 bytes"));

    workbook = soundBook();
    workbook.sheets[0].records += labelSst(2, 0, 7);
    expectRefused(book(workbook), u("shared string 8 of only 2"));

    workbook = soundBook();
    workbook.sst.removeLast(); // the second half of the first string is missing
    expectRefused(book(workbook), u("string 1 of its shared string table"));

    workbook = soundBook();
    workbook.sheets[0].records += record(0x0203, u16(2) + u16(0)); // a number cell without its number
    expectRefused(book(workbook), u("cut short"));

    workbook = soundBook();
    workbook.globalsExtra = record(0x002F, u16(1) + QByteArray(52, '\0'));
    expectRefused(book(workbook), u("password"));

    QByteArray biff = stream(soundBook());
    biff.truncate(biff.size() - 4); // the sheet's EOF record is gone
    expectRefused(save(m_dir.path(), u("noeof.xls"), compoundFile(biff)), u("damaged"));
    biff[2] = '\x02'; // the first record is no longer the BOF it claims to be
    expectRefused(save(m_dir.path(), u("nobof.xls"), compoundFile(biff.mid(4))), u("BOF"));
}

TEST_F(XlsBadInput, SheetEntryPointingAnywhere) {
    QByteArray biff = stream(soundBook());
    const qsizetype field = biff.indexOf(QByteArray::fromHex("8500")) + 4;
    for (quint32 offset : {0u, 4u, quint32(biff.size()), 0xFFFFFFF0u}) {
        biff.replace(field, 4, u32(offset));
        expectRefused(save(m_dir.path(), u("offset.xls"), compoundFile(biff)), u("damaged"));
    }
}

TEST_F(XlsBadInput, OneCellFarAwayIsReadRowByRow) {
    // The last cell of the grid makes a sheet of 65536 rows by 256 columns: read, one row at a time.
    Workbook workbook = soundBook();
    workbook.sheets[0].records = number(65535, 255, 1);
    qsizetype count = 0;
    QString last;
    QString error;
    ASSERT_TRUE(Xls::forEachRow(
        book(workbook), u("Sheet1"),
        [&](const QStringList &row, QString *) {
            EXPECT_EQ(row.size(), 256);
            last = row.join(u'|');
            return ++count < 70000;
        },
        &error))
        << error.toStdString();
    EXPECT_EQ(count, 65536);
    EXPECT_EQ(last, QString(255, u'|') + u("1"));
}

TEST_F(XlsBadInput, RandomDamageNeverCrashes) {
    // Bytes flipped in the records and in the compound file around them. Whatever the outcome, a
    // failure comes with a reason and a success with rows of equal width.
    QRandomGenerator random(20240305);
    const QByteArray biff = stream(soundBook());
    const QByteArray container = compoundFile(biff);
    for (int round = 0; round < 600; ++round) {
        const bool inRecords = round % 3 != 0;
        QByteArray bytes = inRecords ? biff : container;
        for (int flips = 1 + random.bounded(4); flips > 0; --flips) {
            bytes[random.bounded(bytes.size())] = char(random.bounded(256));
        }
        const QString path = save(m_dir.path(), u("fuzz.xls"), inRecords ? compoundFile(bytes) : bytes);
        Xls::Rows rows;
        QString error;
        if (Xls::readWorksheet(path, u("Sheet1"), &rows, &error)) {
            for (const QStringList &row : rows) {
                ASSERT_EQ(row.size(), rows.first().size());
            }
        } else {
            ASSERT_FALSE(error.isEmpty());
            ASSERT_TRUE(rows.isEmpty());
        }
    }
}

} // namespace
