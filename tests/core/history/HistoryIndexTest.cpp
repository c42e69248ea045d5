#include "core/history/HistoryIndex.h"
#include "core/common/Clock.h"
#include "core/history/HistoryExport.h"
#include "core/history/HistoryService.h"
#include "core/records/DayJournal.h"
#include "core/records/RecordLog.h"
#include "core/records/UploadRecord.h"
#include "core/xls/Workbook.h"
#include "support/TestFiles.h"
#include "support/Xlrd.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using namespace UploadRecord;

QString u(const char *text) {
    return QString::fromUtf8(text);
}

const QString kSha1 = u("b4cc02aefe04e0690642acf0d8f05cc90e92b74d1ee3dd0d3a04256404af6690");
const QString kSha2 = u("0f1e2d3c4b5a69788796a5b4c3d2e1f00f1e2d3c4b5a69788796a5b4c3d2e1f0");
const QString kSha3 = u("aaaa000000000000000000000000000000000000000000000000000000000003");

struct Sent {
    QString name;
    QString destination;
    QString status;
    QString time; // HH:mm:ss of the finish
    QString sha;  // journalled as completed when not empty
};

class HistoryIndexTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString folder() const { return m_dir.path() + QLatin1Char('/'); }

    // A day as the station leaves it: the log with every row, the journal with each completion.
    void writeDay(const QString &day, const QList<Sent> &sent, const QList<Sent> &journalOnly = {}) {
        Xls::Rows rows{RecordLog::kColumnNames};
        for (const Sent &file : sent) {
            rows.append({QString::number(rows.size()), file.name, u("1.5MB"), file.destination, file.status,
                         day + u(" 08:00:00"),
                         file.time.isEmpty() ? QString() : day + QLatin1Char(' ') + file.time});
        }
        ASSERT_TRUE(Xls::writeWorkbook(folder() + day + u(".xls"), RecordLog::kSheetName, rows));
        FixedClock clock(QDateTime::fromString(day + u(" 08:00:00"), u("yyyy-MM-dd HH:mm:ss")));
        DayJournal journal(clock);
        journal.open(m_dir.path());
        for (const QList<Sent> &list : {sent, journalOnly}) {
            for (const Sent &file : list) {
                if (file.sha.isEmpty()) {
                    continue;
                }
                clock.set(
                    QDateTime::fromString(day + QLatin1Char(' ') + file.time, u("yyyy-MM-dd HH:mm:ss")));
                DayJournal::Entry entry{JournalEvent::Completed,
                                        file.name,
                                        file.destination,
                                        u("10.0.0.1:4321"),
                                        QString(),
                                        1500000,
                                        0.5,
                                        file.sha};
                ASSERT_TRUE(journal.append(entry));
            }
        }
    }

    void writeTwoDays() {
        writeDay(
            u("2026-11-03"),
            {{u("合同2026-11.pdf"), u("192.168.1.10:4321||d://合同"), kStatusComplete, u("09:15:02"), kSha1},
             {u("Report.DOC"), u("192.168.1.11:4321||e://报表"), kStatusFault, QString(), QString()}},
            {{u("已删除.txt"), u("192.168.1.10:4321||d://合同"), kStatusComplete, u("10:00:00"), kSha3}});
        writeDay(u("2026-11-04"), {{u("合同2026-11.pdf"), u("192.168.1.11:4321||e://报表"), kStatusComplete,
                                    u("11:30:00"), kSha2}});
    }

    static QStringList names(const History::SearchResult &result) {
        QStringList list;
        for (const History::Entry &entry : result.entries) {
            list.append(entry.day + QLatin1Char(' ') + entry.cell(CellFileName));
        }
        return list;
    }

    QTemporaryDir m_dir;
};

TEST_F(HistoryIndexTest, FindsByNameDestinationOrShaAcrossDaysNewestFirst) {
    writeTwoDays();
    HistoryIndex index;
    QString error;
    ASSERT_TRUE(index.open(folder(), &error)) << error.toStdString();
    EXPECT_EQ(index.indexPath(), folder() + HistoryIndex::kFileName);
    ASSERT_TRUE(index.update({}, &error)) << error.toStdString();

    History::SearchResult found = index.search(u("合同2026"));
    ASSERT_EQ(names(found), QStringList({u("2026-11-04 合同2026-11.pdf"), u("2026-11-03 合同2026-11.pdf")}));
    const History::Entry &earlier = found.entries.at(1);
    EXPECT_EQ(earlier.time(), u("09:15:02"));
    EXPECT_EQ(earlier.cell(CellStatus), kStatusComplete);
    EXPECT_EQ(earlier.cell(CellDestination), u("192.168.1.10:4321||d://合同"));
    EXPECT_EQ(earlier.cell(CellFileSize), u("1.5MB"));
    EXPECT_EQ(earlier.cell(CellStartTime), u("2026-11-03 08:00:00"));
    EXPECT_EQ(earlier.sha256, kSha1);
    EXPECT_FALSE(earlier.journalOnly);

    // Case is ignored in names, destinations and SHA-256s (which match from their start).
    EXPECT_EQ(names(index.search(u("report.doc"))), QStringList{u("2026-11-03 Report.DOC")});
    EXPECT_EQ(names(index.search(u("E://报表"))),
              QStringList({u("2026-11-04 合同2026-11.pdf"), u("2026-11-03 Report.DOC")}));
    EXPECT_EQ(names(index.search(kSha2.left(12).toUpper())), QStringList{u("2026-11-04 合同2026-11.pdf")});
    EXPECT_TRUE(index.search(kSha2.mid(8, 12)).entries.isEmpty());
    EXPECT_TRUE(index.search(u("没有这个文件")).entries.isEmpty());

    // A completion whose record was deleted from the log is still found, from the journal.
    found = index.search(u("已删除"));
    ASSERT_EQ(found.entries.size(), 1);
    EXPECT_TRUE(found.entries.at(0).journalOnly);
    EXPECT_EQ(found.entries.at(0).sha256, kSha3);

    // The limit keeps the newest and says more matched.
    found = index.search(u(".pdf"), 1);
    EXPECT_TRUE(found.truncated);
    EXPECT_EQ(names(found), QStringList{u("2026-11-04 合同2026-11.pdf")});

    const QList<History::Day> days = index.days();
    ASSERT_EQ(days.size(), 2);
    EXPECT_EQ(days.at(0).day, u("2026-11-04"));
    EXPECT_EQ(days.at(1).entryCount, 3);
    EXPECT_EQ(index.dayEntries(u("2026-11-03")).at(1).cell(CellFileName), u("Report.DOC"));
}

TEST_F(HistoryIndexTest, ReindexesOnlyWhatChangedAndKeepsTheIndexBetweenRuns) {
    writeTwoDays();
    {
        HistoryIndex index;
        QString error;
        ASSERT_TRUE(index.open(folder(), &error));
        EXPECT_EQ(index.staleDays(), QStringList({u("2026-11-04"), u("2026-11-03")}));
        ASSERT_TRUE(index.update());
    }
    HistoryIndex index;
    QString error;
    ASSERT_TRUE(index.open(folder(), &error));
    EXPECT_TRUE(index.staleDays().isEmpty());

    writeDay(u("2026-11-03"), {{u("新文件.zip"), u("192.168.1.10:4321||d://合同"), kStatusReady, {}, {}}});
    ASSERT_TRUE(QFile::remove(folder() + u("2026-11-04.xls")));
    ASSERT_TRUE(QFile::remove(folder() + u("2026-11-04.journal.tsv")));
    EXPECT_EQ(index.staleDays(), QStringList{u("2026-11-03")});
    ASSERT_TRUE(index.update());
    EXPECT_EQ(names(index.search(u("新文件"))), QStringList{u("2026-11-03 新文件.zip")});
    // The rewritten log's old rows and the removed day are gone; what the journal says was sent stays.
    EXPECT_TRUE(index.search(u("report")).entries.isEmpty());
    const History::SearchResult sent = index.search(u("合同2026"));
    EXPECT_EQ(names(sent), QStringList{u("2026-11-03 合同2026-11.pdf")});
    EXPECT_TRUE(sent.entries.value(0).journalOnly);
    ASSERT_EQ(index.days().size(), 1);
}

TEST_F(HistoryIndexTest, UnreadableDayFilesAreListedWithTheirReasonAndHideNothingElse) {
    writeTwoDays();
    TestFiles::write(folder() + u("2026-11-05.xls"), "not a workbook");
    // The journal of the unreadable log's day still tells what was sent that day.
    QFile::copy(folder() + u("2026-11-04.journal.tsv"), folder() + u("2026-11-05.journal.tsv"));
    TestFiles::write(folder() + u("2026-11-06.journal.tsv"), "\xEF\xBB\xBFsomething else\r\n");
    // An index file that is not a database is only a cache: it is built again.
    TestFiles::write(folder() + HistoryIndex::kFileName, QByteArray(8192, 'x'));

    HistoryIndex index;
    QString error;
    ASSERT_TRUE(index.open(folder(), &error)) << error.toStdString();
    EXPECT_TRUE(index.storageProblem().isEmpty()) << index.storageProblem().toStdString();
    ASSERT_TRUE(index.update({}, &error)) << error.toStdString();

    const QList<History::Day> days = index.days();
    ASSERT_EQ(days.size(), 4);
    EXPECT_EQ(days.at(0).day, u("2026-11-06"));
    EXPECT_EQ(days.at(0).journalFailure.sentence(),
              u("无法识别 ") + QDir::toNativeSeparators(folder() + u("2026-11-06.journal.tsv")) +
                  u("：第一行没有“时间”列，不是传输日志"))
        << days.at(0).journalFailure.sentence().toStdString();
    // The workbook reader's English stays out of the sentence, on a line of its own.
    EXPECT_EQ(days.at(1).logFailure.sentence(),
              u("无法识别 ") + QDir::toNativeSeparators(folder() + u("2026-11-05.xls")) +
                  u("：不是可读的记录表\nThe file is not an Excel 97-2003 workbook: it is no OLE2 compound "
                    "file (No OLE2 signature)."));
    EXPECT_FALSE(days.at(1).journalFailure.failed());
    EXPECT_FALSE(days.at(2).unreadable());
    EXPECT_EQ(names(index.search(u("合同2026"))),
              QStringList({u("2026-11-05 合同2026-11.pdf"), u("2026-11-04 合同2026-11.pdf"),
                           u("2026-11-03 合同2026-11.pdf")}));
}

TEST_F(HistoryIndexTest, AFolderThatCannotHoldTheIndexGetsOneInMemory) {
    writeTwoDays();
    HistoryIndex index;
    QString error;
    // The index's name is taken by a folder.
    TestFiles::makeFolder(folder() + HistoryIndex::kFileName);
    ASSERT_TRUE(index.open(folder(), &error)) << error.toStdString();
    EXPECT_TRUE(index.indexPath().isEmpty());
    EXPECT_FALSE(index.storageProblem().isEmpty());
    ASSERT_TRUE(index.update());
    EXPECT_EQ(index.search(u("report")).entries.size(), 1);
}

TEST_F(HistoryIndexTest, ExportsReadBackAsWritten) {
    writeTwoDays();
    HistoryIndex index;
    QString error;
    ASSERT_TRUE(index.open(folder(), &error));
    ASSERT_TRUE(index.update());
    QList<History::Entry> entries = index.search(u("192.168")).entries;
    ASSERT_EQ(entries.size(), 4);
    entries[0].cells[CellFileName] = u("=HYPERLINK(\"x\"),1.pdf");
    entries[1].cells[CellFileName] = u("' ＋1.pdf"); // its own apostrophe: one more, so it can be told apart

    const QString csv = m_dir.filePath(u("结果.csv"));
    Failure failure;
    ASSERT_TRUE(HistoryExport::writeCsv(csv, entries, &failure)) << failure.sentence().toStdString();
    const QByteArray bytes = TestFiles::read(csv);
    EXPECT_TRUE(bytes.startsWith(
        "\xEF\xBB\xBF日期,时间,操作状态,文件名称,存放路径,文件大小,字节数（约）,SHA-256\r\n"));
    // Beside the size in kilobytes, the bytes as a number (of the deleted record's 1,500,000 journalled).
    EXPECT_TRUE(bytes.contains(",1464,1499136,")) << bytes.toStdString();
    // A name a spreadsheet would take for a formula stays text, quoted for its comma and quotes.
    EXPECT_TRUE(bytes.contains(u(",\"'=HYPERLINK(\"\"x\"\"),1.pdf\",").toUtf8()));
    EXPECT_TRUE(bytes.contains(u(",'' ＋1.pdf,").toUtf8()));
    EXPECT_TRUE(bytes.contains(kSha1.toUtf8()));
    // A file that cannot be written gives the system's reason once, never the path twice.
    const QString nowhere = m_dir.filePath(u("没有/结果.xls"));
    ASSERT_FALSE(HistoryExport::writeXls(nowhere, entries, &failure));
    EXPECT_EQ(failure.sentence(),
              u("无法写入 ") + QDir::toNativeSeparators(nowhere) + u("：文件或文件夹不存在"))
        << failure.sentence().toStdString();

    if (Xlrd::python().isEmpty()) {
        GTEST_SKIP() << "python3 with xlrd (Debian package python3-xlrd) is not installed";
    }
    const QString xls = m_dir.filePath(u("结果.xls"));
    ASSERT_TRUE(HistoryExport::writeXls(xls, entries, &failure)) << failure.sentence().toStdString();
    const QJsonArray rows = Xlrd::read(xls, u("查找结果"), false).value(u("rows")).toArray();
    ASSERT_EQ(rows.size(), entries.size() + 1);
    for (qsizetype r = 0; r < rows.size(); ++r) {
        const QStringList expected =
            r == 0 ? HistoryExport::exportColumnNames() : HistoryExport::exportCells(entries.at(r - 1));
        const QJsonArray row = rows.at(r).toArray();
        for (qsizetype c = 0; c < expected.size(); ++c) {
            // The bytes are a number a spreadsheet can sum; everything else is text.
            const QJsonValue cell = row.at(c).toArray().at(1);
            EXPECT_EQ(cell.isDouble() ? QString::number(cell.toInteger()) : cell.toString(), expected.at(c))
                << r << "," << c;
        }
        // xlrd's cell types: 1 text, 2 number, 0 nothing (a size of a unit the station never writes).
        const int type = r == 0 ? 1 : expected.at(6).isEmpty() ? 0 : 2;
        EXPECT_EQ(row.at(6).toArray().at(0).toInt(), type) << "row " << r;
    }
}

TEST_F(HistoryIndexTest, AnIndexOfAnotherVersionIsBuiltAgainAndEveryFailureOfItsOwnSaysWhy) {
    writeTwoDays();
    const auto tamper = [this](const QString &statement) {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u("QSQLITE"), u("tamper"));
            db.setDatabaseName(folder() + HistoryIndex::kFileName);
            ASSERT_TRUE(db.open());
            QSqlQuery query(db);
            ASSERT_TRUE(query.exec(statement)) << query.lastError().text().toStdString();
        }
        QSqlDatabase::removeDatabase(u("tamper"));
    };
    {
        HistoryIndex index;
        QString error;
        ASSERT_TRUE(index.open(folder(), &error));
        ASSERT_TRUE(index.update());
    }
    tamper(u("PRAGMA user_version=2"));
    HistoryIndex index;
    QString error;
    ASSERT_TRUE(index.open(folder(), &error));
    EXPECT_EQ(index.indexPath(), folder() + HistoryIndex::kFileName);
    EXPECT_TRUE(index.storageProblem().isEmpty()) << index.storageProblem().toStdString();
    EXPECT_TRUE(index.days().isEmpty());
    ASSERT_TRUE(index.update({}, &error)) << error.toStdString();
    EXPECT_EQ(names(index.search(u("report"))), QStringList{u("2026-11-03 Report.DOC")});

    // The index's tables gone under it: each reader says so instead of finding nothing.
    tamper(u("DROP TABLE names"));
    const History::SearchResult found = index.search(u("合同"));
    EXPECT_TRUE(found.entries.isEmpty());
    EXPECT_TRUE(found.error.startsWith(u("no such table: names"))) << found.error.toStdString();
    tamper(u("DROP TABLE days"));
    EXPECT_TRUE(index.staleDays(&error).isEmpty());
    EXPECT_TRUE(error.startsWith(u("no such table: days"))) << error.toStdString();
    error.clear();
    EXPECT_TRUE(index.days(&error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    EXPECT_FALSE(index.update({}, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(HistoryIndexTest, TheIndexHoldsWhatAStationCanHaveSentEachNameOnce) {
    const QString tooLong(32767, QChar(0x540D)); // a cell no transfer header can carry
    const QString longest = u("Big-") + QString(1984, u'X') + u(".PDF"); // 1,992 bytes: the most it can
    const auto row = [](const QString &name) {
        return QStringList{QString(), name, u("1KB"), u("10.0.0.2:4321||d://合同"), kStatusComplete};
    };
    Xls::Rows amplifier{RecordLog::kColumnNames};
    Xls::Rows longNames{RecordLog::kColumnNames};
    for (int i = 0; i < 10000; ++i) {
        amplifier.append(row(tooLong));
    }
    for (int i = 0; i < 2000; ++i) {
        longNames.append(row(longest));
    }
    // Rows a spreadsheet left empty above one cell far down are no records.
    longNames.resize(5000, QStringList(RecordLog::kColumnNames.size()));
    longNames.append(row(u("末行.txt")));
    // Names come back as they were, with capitals where they had them.
    const QStringList cased{u("ÄRGER_1.txt"), QString(200, u'x') + u("AbC"), u("合同ABc中D.pdf"),
                            u("ＦＵＬＬ.txt"), u("İstanbul.DOC")};
    for (const QString &name : cased) {
        longNames.append(row(name));
    }
    ASSERT_TRUE(Xls::writeWorkbook(folder() + u("2026-11-01.xls"), RecordLog::kSheetName, amplifier));
    ASSERT_TRUE(Xls::writeWorkbook(folder() + u("2026-11-02.xls"), RecordLog::kSheetName, longNames));
    // A journal line longer than any the station writes is passed over, not held.
    const QByteArray completion = u("2026-11-03 10:00:00\t完成\ta.txt\tx||y\t\t\t1\t\t\t\r\n").toUtf8();
    TestFiles::write(folder() + u("2026-11-03.journal.tsv"),
                     "\xEF\xBB\xBF" + DayJournal::kColumns.join(u'\t').toUtf8() + "\r\n" + completion +
                         completion.left(22) + QByteArray(1 << 20, 'x') + "\r\n" + completion);
    {
        HistoryIndex index;
        QString error;
        ASSERT_TRUE(index.open(folder(), &error));
        EXPECT_TRUE(index.storageProblem().isEmpty()) << index.storageProblem().toStdString();
        ASSERT_TRUE(index.update({}, &error)) << error.toStdString();
        const QList<History::Day> days = index.days();
        ASSERT_EQ(days.size(), 3);
        EXPECT_EQ(
            days.at(2).logFailure.sentence(),
            u("无法识别 ") + QDir::toNativeSeparators(folder() + u("2026-11-01.xls")) +
                u("：有 10000 条记录的文件名或存放路径超过传输所能携带的长度，不可能由本站发送，未收入历史"));
        EXPECT_EQ(days.at(2).entryCount, 0);
        EXPECT_FALSE(days.at(1).unreadable());
        EXPECT_EQ(days.at(1).entryCount, 2006);
        QStringList back;
        for (const History::Entry &entry : index.dayEntries(u("2026-11-02")).mid(2001)) {
            back.append(entry.cell(CellFileName));
        }
        EXPECT_EQ(back, cased);
        EXPECT_FALSE(days.at(0).unreadable());
        EXPECT_EQ(days.at(0).entryCount, 2);
        const History::SearchResult found = index.search(u("big-xxx"));
        EXPECT_EQ(found.entries.size(), 2000);
        EXPECT_EQ(found.entries.value(0).cell(CellFileName), longest);
        EXPECT_EQ(names(index.search(u("末行"))), QStringList{u("2026-11-02 末行.txt")});
        EXPECT_EQ(names(index.search(u("ärger_"))), QStringList{u("2026-11-02 ÄRGER_1.txt")});
    }
    // 2,000 names of 1,992 bytes are 4 MB: stored twice they would make 8.
    const qint64 size = QFileInfo(folder() + HistoryIndex::kFileName).size() +
                        QFileInfo(folder() + HistoryIndex::kFileName + u("-wal")).size();
    EXPECT_LT(size, 6'000'000);
}

TEST_F(HistoryIndexTest, ANearlyFullDiskOrABusyIndexHaltsTheUpdateAndTheSearchGoesOn) {
    writeTwoDays();
    {
        HistoryIndex first;
        QString error;
        ASSERT_TRUE(first.open(folder(), &error));
        ASSERT_TRUE(first.update());
    }
    writeDay(u("2026-11-05"), {{u("新文件.zip"), u("192.168.1.10:4321||d://合同"), kStatusReady, {}, {}}});
    HistoryIndex index;
    HistoryIndex::DiskSpace space{500'000'000, 100'000'000'000};
    index.setSpaceProbe([&space](const QString &) { return space; });
    QString error;
    ASSERT_TRUE(index.open(folder(), &error));
    EXPECT_FALSE(index.update({}, &error));
    EXPECT_TRUE(index.halted());
    EXPECT_EQ(error, u("记录文件夹所在的磁盘只剩 500 MB 可用（不足 1 GB 或 5%），历史索引暂停更新；"
                       "腾出空间后再打开历史记录即可继续。"));
    const History::SearchResult found = index.search(u("合同"));
    EXPECT_TRUE(found.error.isEmpty());
    EXPECT_EQ(found.entries.size(), 3);
    space = {2'000'000'000, 100'000'000'000}; // more than 1 GB, but 2 %
    EXPECT_FALSE(index.update());
    EXPECT_EQ(index.days().size(), 2);
    space = {50'000'000'000, 100'000'000'000};
    ASSERT_TRUE(index.update());
    EXPECT_FALSE(index.halted());
    EXPECT_EQ(index.days().size(), 3);

    // Another program writing to the index (the station, another find): this one waits its turn for a
    // while, then searches what is there.
    writeDay(u("2026-11-06"), {{u("更新.zip"), u("192.168.1.10:4321||d://合同"), kStatusReady, {}, {}}});
    {
        QSqlDatabase other = QSqlDatabase::addDatabase(u("QSQLITE"), u("other"));
        other.setDatabaseName(folder() + HistoryIndex::kFileName);
        ASSERT_TRUE(other.open());
        QSqlQuery writing(other);
        ASSERT_TRUE(writing.exec(u("BEGIN IMMEDIATE")));
        HistoryIndex second;
        second.setBusyTimeout(100);
        ASSERT_TRUE(second.open(folder(), &error));
        EXPECT_EQ(second.indexPath(), folder() + HistoryIndex::kFileName);
        EXPECT_FALSE(second.update({}, &error));
        EXPECT_TRUE(second.halted());
        EXPECT_EQ(error, u("历史索引正被另一程序更新，等了 0.1 秒仍未轮到；本次只在已收录的记录中查找。"));
        EXPECT_EQ(names(second.search(u("新文件"))), QStringList{u("2026-11-05 新文件.zip")});
        ASSERT_TRUE(writing.exec(u("ROLLBACK")));
        ASSERT_TRUE(second.update({}, &error)) << error.toStdString();
        EXPECT_EQ(names(second.search(u("更新"))), QStringList{u("2026-11-06 更新.zip")});
    }
    QSqlDatabase::removeDatabase(u("other"));
}

TEST_F(HistoryIndexTest, TheServiceAnswersFromItsOwnThread) {
    writeTwoDays();
    HistoryService service;
    QSignalSpy progress(&service, &HistoryService::indexProgress);
    QSignalSpy searched(&service, &HistoryService::searchFinished);
    QSignalSpy shown(&service, &HistoryService::dayShown);
    service.setRecordFolder(m_dir.path());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !progress.isEmpty() && progress.last().at(0) == 2 && progress.last().at(1) == 2; },
        30000));

    // Only the latest of two searches in a row counts; an earlier one may be skipped.
    service.search(u("合同"));
    const int latest = service.search(u("report"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !searched.isEmpty() && searched.last().at(0).toInt() == latest; }, 30000));
    const auto result = searched.last().at(1).value<History::SearchResult>();
    ASSERT_EQ(result.entries.size(), 1);
    EXPECT_EQ(result.entries.at(0).cell(CellStatus), kStatusFault);

    service.showDay(u("2026-11-03"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !shown.isEmpty(); }, 30000));
    EXPECT_EQ(shown.last().at(1).value<QList<History::Entry>>().size(), 3);
    const auto journal = shown.last().at(2).value<QList<QStringList>>();
    ASSERT_EQ(journal.size(), 2);
    EXPECT_EQ(journal.at(1).at(2), u("已删除.txt"));
}

} // namespace
