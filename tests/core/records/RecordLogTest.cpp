#include "core/records/RecordLog.h"
#include "core/common/Clock.h"
#include "core/records/UploadTable.h"
#include "core/xls/Workbook.h"

#include "support/TestFiles.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace UploadRecord;

namespace {

const QStringList kTableCells[] = {
    {"1", "a.txt", "3 KB", "192.168.1.1:4321||d://x", kStatusComplete, "2024-03-05 09:00:00",
     "2024-03-05 09:00:02"},
    {"2", "it's.txt", "0 KB", "||d://it's here", kStatusUploading, "2024-03-05 09:00:04", ""},
    {"3", "报告.doc", "1024 KB", "10.0.0.2:80||e://收件", kStatusReady, "", ""},
};

class RecordLogTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    // The record folder as the settings dialog stores it, with a trailing separator.
    QString folder() const { return m_dir.path() + QDir::separator(); }
    QString todaysFile() const { return folder() + QStringLiteral("2024-03-05.xls"); }

    void fillTable() {
        for (const QStringList &record : kTableCells) {
            const int row = m_table.appendRow(record[CellSequence]);
            for (int column = 1; column < kCellCount; ++column) {
                m_table.setCell(row, column, record[column]);
            }
        }
    }

    QList<QStringList> tableCells() const {
        QList<QStringList> rows;
        for (int row = 0; row < m_table.rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < kCellCount; ++column) {
                cells.append(m_table.cell(row, column));
            }
            rows.append(cells);
        }
        return rows;
    }

    Xls::Rows sheet(const QString &path) const {
        Xls::Rows rows;
        QString error;
        EXPECT_TRUE(Xls::readWorksheet(path, RecordLog::kSheetName, &rows, &error)) << error.toStdString();
        return rows;
    }

    QTemporaryDir m_dir;
    FixedClock m_clock{QDateTime(QDate(2024, 3, 5), QTime(23, 59, 50))};
    UploadTable m_table;
    RecordLog m_log{m_table, m_clock};
};

// A log whose driver lookup finds nothing, as on a station without workbook support.
class DriverlessRecordLog : public RecordLog {
public:
    using RecordLog::RecordLog;
    QString findExcelDriver() const override { return {}; }
};

} // namespace

TEST_F(RecordLogTest, FileIsTheRecordFolderTextFollowedByTheDate) {
    EXPECT_TRUE(m_log.path().isEmpty()) << "no file before the start-up load";
    EXPECT_TRUE(m_log.loadRecordLog(folder()));
    EXPECT_EQ(m_log.path(), todaysFile());

    // A folder typed without a separator is that folder: the file goes inside it, not beside it.
    const QString bare = m_dir.filePath(QStringLiteral("logs"));
    EXPECT_TRUE(m_log.loadRecordLog(bare));
    EXPECT_EQ(m_log.path(), bare + QDir::separator() + QStringLiteral("2024-03-05.xls"));
}

TEST_F(RecordLogTest, PathStaysOnTheStartDayAfterMidnight) {
    ASSERT_TRUE(m_log.loadRecordLog(folder()));
    m_clock.advanceSeconds(20);
    fillTable();
    ASSERT_TRUE(m_log.writeRecordLog());
    EXPECT_TRUE(QFile::exists(todaysFile()));
    EXPECT_FALSE(QFile::exists(folder() + QStringLiteral("2024-03-06.xls")));
}

TEST_F(RecordLogTest, WriteBeforeTheLoadWritesNothing) {
    fillTable();
    EXPECT_FALSE(m_log.writeRecordLog());
    EXPECT_TRUE(QDir(m_dir.path()).isEmpty());
}

TEST_F(RecordLogTest, EmptyTableWritesOnlyTheColumnNames) {
    ASSERT_TRUE(m_log.loadRecordLog(folder()));
    ASSERT_TRUE(m_log.writeRecordLog());
    EXPECT_EQ(sheet(todaysFile()), (Xls::Rows{RecordLog::kColumnNames}));
    EXPECT_EQ(RecordLog::kColumnNames[CellFinishTime], QStringLiteral("完成时间"));
}

TEST_F(RecordLogTest, WritesEveryRecordInTableOrder) {
    ASSERT_TRUE(m_log.loadRecordLog(folder()));
    fillTable();
    ASSERT_TRUE(m_log.writeRecordLog());
    Xls::Rows expected{RecordLog::kColumnNames};
    for (const QStringList &record : kTableCells) {
        expected.append(record);
    }
    EXPECT_EQ(sheet(todaysFile()), expected);

    // Rewritten from scratch: a shorter table leaves no rows of the longer one behind.
    m_table.deleteRow(0);
    ASSERT_TRUE(m_log.writeRecordLog());
    EXPECT_EQ(sheet(todaysFile()).size(), 3);
}

TEST_F(RecordLogTest, NoFileForTodayLeavesTheTableAlone) {
    fillTable();
    Notice notice;
    EXPECT_TRUE(m_log.loadRecordLog(folder(), &notice));
    EXPECT_EQ(tableCells().size(), 3);
    EXPECT_TRUE(notice.isEmpty());
}

TEST_F(RecordLogTest, ReloadGivesBackWhatWasWritten) {
    ASSERT_TRUE(m_log.loadRecordLog(folder()));
    fillTable();
    ASSERT_TRUE(m_log.writeRecordLog());
    const QList<QStringList> written = tableCells();

    UploadTable restarted;
    RecordLog restartedLog(restarted, m_clock);
    ASSERT_TRUE(restartedLog.loadRecordLog(folder()));
    ASSERT_EQ(restarted.rowCount(), 3);
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < kCellCount; ++column) {
            EXPECT_EQ(restarted.cell(row, column), written[row][column]) << row << "/" << column;
        }
    }
}

TEST_F(RecordLogTest, ReloadRenumbersInFileOrderAndFindsColumnsByName) {
    // As an operator might leave it: columns shuffled, an extra column, stale sequence numbers.
    const Xls::Rows rows{
        {"备注", "完成时间", "序号", "操作状态", "文件名称", "开始时间", "存放路径", "文件大小"},
        {"x", "", "7", kStatusUploading, "b.txt", "2024-03-05 08:00:00", "1.2.3.4:5||f", "2 KB"},
        {"y", "2024-03-05 08:01:00", "", kStatusComplete, "c.txt", "2024-03-05 08:00:30", "||g", "9 KB"},
        {"z", "", "3", kStatusFault, "d.txt", "2024-03-05 08:02:00", "||h", "0 KB"},
    };
    ASSERT_TRUE(Xls::writeWorkbook(todaysFile(), RecordLog::kSheetName, rows));
    fillTable();

    ASSERT_TRUE(m_log.loadRecordLog(folder()));
    EXPECT_EQ(
        tableCells(),
        (QList<QStringList>{
            {"1", "b.txt", "2 KB", "1.2.3.4:5||f", kStatusUploading, "2024-03-05 08:00:00", ""},
            {"2", "c.txt", "9 KB", "||g", kStatusComplete, "2024-03-05 08:00:30", "2024-03-05 08:01:00"},
            {"3", "d.txt", "0 KB", "||h", kStatusFault, "2024-03-05 08:02:00", ""},
        }));

    // An older or foreign log without the optional columns reads them as empty.
    ASSERT_TRUE(Xls::writeWorkbook(todaysFile(), RecordLog::kSheetName,
                                   {{"存放路径", "文件名称", "操作状态"}, {"||f", "e.txt", kStatusReady}}));
    ASSERT_TRUE(m_log.loadRecordLog(folder()));
    EXPECT_EQ(tableCells(), (QList<QStringList>{{"1", "e.txt", "", "||f", kStatusReady, "", ""}}));
}

TEST_F(RecordLogTest, UnreadableLogsAreDatabaseErrorsAndKeepTheTable) {
    fillTable();
    const QList<QStringList> before = tableCells();
    const QString file = QDir::toNativeSeparators(todaysFile());
    const QString keptAside =
        QStringLiteral("\n原记录文件将保留为“%1”。")
            .arg(QDir::toNativeSeparators(folder() + QStringLiteral("2024-03-05-unreadable-235950.xls")));
    const auto expectDatabaseError = [&](const char *what, const QString &text) {
        Notice notice;
        EXPECT_FALSE(m_log.loadRecordLog(folder(), &notice)) << what;
        EXPECT_TRUE(notice.caption.isEmpty()) << what << ": the application name is the caption";
        EXPECT_EQ(notice.text, text) << what << ": " << notice.text.toStdString();
        EXPECT_EQ(tableCells(), before) << what;
        ASSERT_TRUE(QDir().remove(todaysFile()) || QDir().rmdir(todaysFile()));
    };

    QStringList noStatus = RecordLog::kColumnNames;
    noStatus.removeAt(CellStatus);
    ASSERT_TRUE(Xls::writeWorkbook(todaysFile(), RecordLog::kSheetName,
                                   {noStatus, {"1", "a.txt", "1 KB", "||x", "", ""}}));
    expectDatabaseError(
        "missing column",
        QStringLiteral("数据库错误: 无法识别 %1：工作表 Sheet1 中没有“操作状态”列").arg(file) + keptAside);

    TestFiles::write(todaysFile(), "序号,文件名称\n1,a.txt\n");
    // The workbook reader's own words come last, on a line of their own.
    expectDatabaseError("not a workbook",
                        QStringLiteral("数据库错误: 无法识别 %1：不是可读的记录表").arg(file) + keptAside +
                            QStringLiteral("\nThe file is not an Excel 97-2003 workbook: it is no OLE2 "
                                           "compound file (No OLE2 signature)."));

    ASSERT_TRUE(Xls::writeWorkbook(todaysFile(), QStringLiteral("Sheet2"), {RecordLog::kColumnNames}));
    expectDatabaseError(
        "no Sheet1", QStringLiteral("数据库错误: 无法识别 %1：不是可读的记录表").arg(file) + keptAside +
                         QStringLiteral("\nThe workbook has no sheet named “Sheet1” (its sheets: Sheet2)."));

    // Neither a folder nor a pipe (without a writer, opening it would wait for one) is read.
    const QString notAFile =
        QStringLiteral("数据库错误: 无法读取 %1：不是普通文件（文件夹、管道、套接字或设备）").arg(file);
    ASSERT_TRUE(QDir().mkdir(todaysFile()));
    expectDatabaseError("a folder of that name", notAFile);
    ASSERT_EQ(::mkfifo(QFile::encodeName(todaysFile()).constData(), 0600), 0);
    expectDatabaseError("a pipe", notAFile);
    // A link is followed to a regular file, but never read past the workbook cap: this one claims to be
    // empty and never ends.
    ASSERT_TRUE(QFile::link(QStringLiteral("/proc/self/pagemap"), todaysFile()));
    expectDatabaseError("an endless procfs file",
                        QStringLiteral("数据库错误: 文件过大，无法读取 %1：超过 268435456 字节").arg(file) +
                            keptAside);
}

TEST_F(RecordLogTest, AnUnreadableLogIsKeptAsideBeforeTheFirstRewrite) {
    const QByteArray unreadable = "序号,文件名称\n1,a.txt\n";
    QFile text(todaysFile());
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write(unreadable);
    text.close();

    Notice notice;
    ASSERT_FALSE(m_log.loadRecordLog(folder(), &notice));
    const QString aside = m_log.keptAsidePath();
    EXPECT_EQ(aside, folder() + QStringLiteral("2024-03-05-unreadable-235950.xls"));
    EXPECT_TRUE(notice.text.contains(QDir::toNativeSeparators(aside))) << "the operator learns where";
    EXPECT_FALSE(QFileInfo::exists(aside)) << "loading alone changes nothing on disk";

    fillTable();
    ASSERT_TRUE(m_log.writeRecordLog());
    QFile kept(aside);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), unreadable);
    EXPECT_EQ(sheet(todaysFile()).size(), 4) << "the day's file holds the table again";

    ASSERT_TRUE(m_log.writeRecordLog());
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files).size(), 2) << "set aside once, not at every write";

    // A second station start the same day with another unreadable file does not take the same name.
    ASSERT_TRUE(QFile::remove(todaysFile()));
    ASSERT_TRUE(QFile::copy(aside, todaysFile()));
    ASSERT_FALSE(m_log.loadRecordLog(folder()));
    EXPECT_EQ(m_log.keptAsidePath(), folder() + QStringLiteral("2024-03-05-unreadable-235950-2.xls"));
}

TEST_F(RecordLogTest, AnUnreadableLogThatCannotBeMovedAsideIsNeverOverwritten) {
    const QByteArray unreadable = "not a workbook";
    TestFiles::write(todaysFile(), unreadable);
    ASSERT_FALSE(m_log.loadRecordLog(folder()));
    // Something already holds the kept-aside name (a folder): the rename fails.
    TestFiles::makeFolder(m_log.keptAsidePath() + QStringLiteral("/x"));
    fillTable();
    EXPECT_FALSE(m_log.writeRecordLog());
    EXPECT_EQ(TestFiles::read(todaysFile()), unreadable);
}

TEST_F(RecordLogTest, AFolderUnderTheLogsNameIsAnErrorNotAnEmptyDay) {
    TestFiles::makeFolder(todaysFile() + QStringLiteral("/inside"));
    Notice notice;
    EXPECT_FALSE(m_log.loadRecordLog(folder(), &notice));
    EXPECT_FALSE(notice.text.isEmpty());
    fillTable();
    EXPECT_FALSE(m_log.writeRecordLog());
    EXPECT_TRUE(QFileInfo(todaysFile() + QStringLiteral("/inside")).isDir()) << "nothing of it destroyed";
}

TEST_F(RecordLogTest, WithoutWorkbookSupportTheLogIsNotRead) {
    EXPECT_FALSE(m_log.findExcelDriver().isEmpty()) << "the station brings its own";

    DriverlessRecordLog driverless(m_table, m_clock);
    EXPECT_TRUE(driverless.loadRecordLog(folder())) << "no file, nothing to read";

    ASSERT_TRUE(Xls::writeWorkbook(todaysFile(), RecordLog::kSheetName, {RecordLog::kColumnNames}));
    fillTable();
    Notice notice;
    EXPECT_FALSE(driverless.loadRecordLog(folder(), &notice));
    EXPECT_EQ(notice.text, QStringLiteral("没有安装Excel驱动!"));
    EXPECT_TRUE(notice.caption.isEmpty());
    EXPECT_EQ(m_table.rowCount(), 3);
}
