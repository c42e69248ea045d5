#include "core/records/DayJournal.h"
#include "IsolatorServer.h"
#include "core/common/Clock.h"
#include "core/records/UploadRecord.h"
#include "core/station/StationParts.h"
#include "core/xls/Workbook.h"
#include "support/TestFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace UploadRecord;

namespace {

// The station's parts sending to an isolator peer on loopback, with the day's journal beside the log.
class DayJournalTest : public ::testing::Test {
protected:
    DayJournalTest() : m_peer(peerOptions(m_peerRoot.path())), m_parts(m_work.path()) {
        QString error;
        EXPECT_TRUE(m_peer.start(&error)) << error.toStdString();
        m_parts.settings.uploadFolder = m_work.path() + QStringLiteral("/upload/");
        m_parts.settings.recordFolder = m_work.path() + QLatin1Char('/');
        m_parts.settings.isolatorAddress = QStringLiteral("127.0.0.1");
        m_parts.settings.isolatorPort = QString::number(m_peer.port());
        m_parts.job.settleTime = {}; // the files are written whole before they are queued
        m_parts.dayJournal.open(m_parts.settings.recordFolder);
        m_parts.log.loadRecordLog(m_parts.settings.recordFolder);
    }

    static IsolatorOptions peerOptions(const QString &root) {
        IsolatorOptions options;
        options.listenPort = 0;
        options.root = root;
        options.discard = true;
        return options;
    }

    QByteArray queue(const QString &name, int size) {
        QByteArray bytes(size, '\0');
        for (int i = 0; i < size; ++i) {
            bytes[i] = char(i * 7 + i / 251);
        }
        TestFiles::write(m_parts.settings.uploadFolder + name, bytes);
        const int row = m_parts.table.appendRow(QString::number(m_parts.table.rowCount() + 1));
        m_parts.table.setCell(row, CellFileName, name);
        m_parts.table.setCell(row, CellDestination, QStringLiteral("10.0.0.2:80||d:/in"));
        m_parts.table.setCell(row, CellStatus, kStatusReady);
        return bytes;
    }

    void sendAll() {
        m_parts.upload.start();
        m_parts.upload.OnTimer();
        ASSERT_TRUE(QTest::qWaitFor([this] { return m_parts.upload.isStopped(); }, 30000));
    }

    QTemporaryDir m_work;
    QTemporaryDir m_peerRoot;
    IsolatorServer m_peer;
    StationParts m_parts;
};

TEST_F(DayJournalTest, EveryTransferIsALineAndACompletionCarriesTheSha256OfTheFile) {
    const QByteArray report = queue(QStringLiteral("报告.pdf"), 100000);
    sendAll();

    QFile file(m_parts.dayJournal.path());
    ASSERT_TRUE(
        m_parts.dayJournal.path().endsWith(m_parts.clock->dateText() + QStringLiteral(".journal.tsv")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines =
        QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], DayJournal::kColumns.join(QLatin1Char('\t')));
    const QStringList started = lines[1].split(QLatin1Char('\t'));
    const QStringList completed = lines[2].split(QLatin1Char('\t'));
    ASSERT_EQ(completed.size(), DayJournal::kColumns.size());
    EXPECT_EQ(started[1], QStringLiteral("开始"));
    EXPECT_EQ(completed[1], QStringLiteral("完成"));
    EXPECT_EQ(completed[2], QStringLiteral("报告.pdf"));
    EXPECT_EQ(completed[3], QStringLiteral("10.0.0.2:80||d:/in"));
    EXPECT_EQ(completed[4], QStringLiteral("127.0.0.1:%1").arg(m_peer.port()));
    EXPECT_EQ(completed[6], QStringLiteral("100000"));
    EXPECT_EQ(completed[9],
              QString::fromLatin1(QCryptographicHash::hash(report, QCryptographicHash::Sha256).toHex()));
}

TEST_F(DayJournalTest, ARowAnEarlierRunLeftUploadingIsStoppedAndItsAttemptEnded) {
    queue(QStringLiteral("a.txt"), 10);
    m_parts.table.setCell(0, CellStatus, kStatusUploading);
    ASSERT_TRUE(m_parts.log.writeRecordLog());
    m_parts.table.removeAll();

    Notice notice;
    ASSERT_TRUE(m_parts.openDay(&notice));
    EXPECT_EQ(m_parts.table.cell(0, CellStatus), kStatusStopped);
    QList<QStringList> logged;
    Failure failure;
    ASSERT_TRUE(RecordLog::readRecords(m_parts.log.path(), &logged, &failure));
    EXPECT_EQ(logged.value(0).value(CellStatus), kStatusStopped) << "the log says so too";
    QFile journal(m_parts.dayJournal.path());
    ASSERT_TRUE(journal.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(journal.readAll()).contains(QStringLiteral("\t中断\ta.txt\t")));
}

// Recording is never silently off: while the journal or the log cannot be written no transfer starts and
// the station says why; once both can be written again, the next heartbeat sends on by itself.
TEST_F(DayJournalTest, NothingIsSentWhileTheRecordsCannotBeWrittenAndSendingGoesOnWhenTheyCan) {
    bool journalWorks = false;
    bool logWorks = true;
    m_parts.dayJournal.setAppender([&](const QString &path, const QByteArray &bytes, QString *error) {
        QFile file(path);
        *error = QStringLiteral("只读文件系统");
        return journalWorks && file.open(QIODevice::Append) && file.write(bytes) == bytes.size();
    });
    m_parts.log.setWriter([&](const QString &path, const QList<QStringList> &rows, QString *error) {
        *error = QStringLiteral("Cannot write “%1”: 磁盘空间不足").arg(QDir::toNativeSeparators(path));
        return logWorks && Xls::writeWorkbook(path, RecordLog::kSheetName, rows, error);
    });
    m_parts.log.setCoalesceWindow(0); // every start writes the log, so a failing log is met at once
    QList<Failure> failures;
    int resumed = 0;
    int started = 0;
    QObject::connect(&m_parts.upload, &UploadController::recordingFailed,
                     [&](const Failure &why) { failures << why; });
    QObject::connect(&m_parts.upload, &UploadController::recordingResumed, [&] { ++resumed; });
    QObject::connect(&m_parts.upload, &UploadController::rowEvent,
                     [&](TransferScheduler::Event event, int, const TransferOutcome &) {
                         started += event == TransferScheduler::Event::Started ? 1 : 0;
                     });
    queue(QStringLiteral("a.txt"), 10);

    m_parts.upload.start();
    m_parts.upload.OnTimer();
    m_parts.upload.OnTimer();
    EXPECT_EQ(started, 0);
    EXPECT_FALSE(m_parts.job.running.load());
    EXPECT_EQ(m_parts.table.cell(0, CellStatus), kStatusReady) << "left as it was, start time too";
    EXPECT_EQ(m_parts.table.cell(0, CellStartTime), QString());
    ASSERT_EQ(failures.size(), 1) << "said once while the reason stays";
    EXPECT_EQ(
        failures[0].sentence(),
        QStringLiteral("无法写入 %1：只读文件系统").arg(QDir::toNativeSeparators(m_parts.dayJournal.path())));

    // The journal mends, the log breaks: still nothing goes, for the log's reason now.
    journalWorks = true;
    logWorks = false;
    m_parts.upload.OnTimer();
    EXPECT_EQ(started, 0);
    ASSERT_EQ(failures.size(), 2);
    EXPECT_EQ(failures[1].sentence(),
              QStringLiteral("无法写入 %1：磁盘空间不足").arg(QDir::toNativeSeparators(m_parts.log.path())));
    EXPECT_EQ(resumed, 0);

    logWorks = true;
    m_parts.upload.OnTimer();
    EXPECT_EQ(resumed, 1);
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_parts.upload.isStopped(); }, 30000));
    EXPECT_EQ(m_parts.table.cell(0, CellStatus), kStatusComplete);
    EXPECT_EQ(started, 1);
    EXPECT_EQ(TestFiles::read(m_parts.dayJournal.path()).count("\t开始\ta.txt\t"), 1);
}

// A new record folder takes the day's table at once, and the journal goes on beside it.
TEST_F(DayJournalTest, ANewRecordFolderTakesTheLogAndTheJournalAtOnce) {
    queue(QStringLiteral("a.txt"), 10);
    ASSERT_TRUE(m_parts.log.writeRecordLog());
    const QString moved = m_work.path() + QStringLiteral("/moved/");
    const QString day = m_parts.clock->dateText();
    TestFiles::write(moved + day + QStringLiteral(".xls"), "another station's log");

    m_parts.settings.recordFolder = moved;
    m_parts.followRecordFolder();
    EXPECT_EQ(m_parts.log.path(), moved + day + QStringLiteral(".xls"));
    QList<QStringList> logged;
    Failure failure;
    ASSERT_TRUE(RecordLog::readRecords(m_parts.log.path(), &logged, &failure))
        << failure.sentence().toStdString();
    EXPECT_EQ(logged.value(0).value(CellFileName), QStringLiteral("a.txt"));
    const QStringList kept = QDir(moved).entryList({day + QStringLiteral("-replaced-*.xls")});
    ASSERT_EQ(kept.size(), 1) << "the file that stood there is kept, not overwritten";
    EXPECT_EQ(TestFiles::read(moved + kept[0]), "another station's log");

    sendAll();
    EXPECT_EQ(m_parts.dayJournal.path(), moved + day + QStringLiteral(".journal.tsv"));
    EXPECT_TRUE(QString::fromUtf8(TestFiles::read(m_parts.dayJournal.path()))
                    .contains(QStringLiteral("\t完成\ta.txt\t")));
    EXPECT_FALSE(QFile::exists(m_work.path() + QLatin1Char('/') + day + QStringLiteral(".journal.tsv")));
}

// A real read-only record folder: a small tmpfs remounted read-only (root only; skipped elsewhere).
TEST_F(DayJournalTest, AReadOnlyRecordFolderHoldsTheSendingUntilItTakesWritesAgain) {
    QTemporaryDir disk;
    const auto mount = [&disk](QStringList arguments) {
        return QProcess::execute(QStringLiteral("mount"), arguments << disk.path()) == 0;
    };
    if (::geteuid() != 0 || !mount({QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                    QStringLiteral("size=256k"), QStringLiteral("tmpfs")})) {
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    }
    const auto unmount = qScopeGuard([&disk] { QProcess::execute(QStringLiteral("umount"), {disk.path()}); });
    m_parts.settings.recordFolder = disk.path() + QLatin1Char('/');
    m_parts.followRecordFolder();
    queue(QStringLiteral("a.txt"), 10);

    ASSERT_TRUE(mount({QStringLiteral("-o"), QStringLiteral("remount,ro")}));
    m_parts.upload.start();
    m_parts.upload.OnTimer();
    EXPECT_FALSE(m_parts.job.running.load());
    EXPECT_EQ(m_parts.table.cell(0, CellStatus), kStatusReady);
    EXPECT_EQ(m_parts.upload.recordingFailure().reason, QStringLiteral("磁盘只读，不能写入"));

    ASSERT_TRUE(mount({QStringLiteral("-o"), QStringLiteral("remount,rw")}));
    m_parts.upload.OnTimer();
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_parts.upload.isStopped(); }, 30000));
    EXPECT_EQ(m_parts.table.cell(0, CellStatus), kStatusComplete);
}

// Journals as files hold them: today's layout, a newer station's, and no journal at all.
TEST(DayJournalReading, ColumnsAreFoundByNameAndAnUnknownOneIsIgnored) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("2026-11-03.journal.tsv"));
    QList<QStringList> lines;
    Failure failure;

    // Today's layout, with a last line cut short by a crash: its missing fields read as empty.
    const QString today =
        DayJournal::kColumns.join(QLatin1Char('\t')) +
        QStringLiteral("\r\n2026-11-03 09:00:00\t完成\ta.txt\t||d\t10.0.0.1:9\t\t100\t0.500\t0.00\tab12"
                       "\r\n2026-11-03 09:00:01\t开始\tb.txt\r\n");
    TestFiles::write(path, "\xEF\xBB\xBF" + today.toUtf8());
    ASSERT_TRUE(DayJournal::readFile(path, &lines, &failure)) << failure.sentence().toStdString();
    EXPECT_EQ(lines, (QList<QStringList>{
                         {"2026-11-03 09:00:00", "完成", "a.txt", "||d", "10.0.0.1:9", "", "100", "0.500",
                          "0.00", "ab12"},
                         {"2026-11-03 09:00:01", "开始", "b.txt", "", "", "", "", "", "", ""},
                     }));

    // A newer station's: a column of its own in the middle, others moved or left out.
    TestFiles::write(path, QStringLiteral("\xFEFF时间\t文件名\t事件\t优先级\t目的地\tSHA-256\r\n"
                                          "2026-11-03 09:00:00\ta.txt\t完成\t高\t||d\tab12\r\n")
                               .toUtf8());
    ASSERT_TRUE(DayJournal::readFile(path, &lines, &failure)) << failure.sentence().toStdString();
    EXPECT_EQ(lines, (QList<QStringList>{
                         {"2026-11-03 09:00:00", "完成", "a.txt", "||d", "", "", "", "", "", "ab12"}}));

    TestFiles::write(path, QStringLiteral("时间\t事件\t目的地\r\n").toUtf8());
    EXPECT_FALSE(DayJournal::readFile(path, &lines, &failure));
    EXPECT_EQ(failure.sentence(), QStringLiteral("无法识别 %1：第一行没有“文件名”列，不是传输日志")
                                      .arg(QDir::toNativeSeparators(path)));
}

// A text a spreadsheet program would take for a formula is written as text, with an apostrophe, and
// every text reads back as it was: also one with apostrophes of its own in front of such a text.
TEST(DayJournalReading, FormulaLikeTextsAreKeptAsTextAndReadBackAsTheyWere) {
    QTemporaryDir dir;
    const FixedClock clock(QDateTime(QDate(2026, 11, 3), QTime(9, 0)));
    DayJournal journal(clock);
    journal.open(dir.path());
    const QStringList texts{"=1+1.txt", "  @SUM(A1).txt", "＝a", "＋b", "－c", "＠d", "-",
                            "'=e",      "''+f",           "'g",  "a=b", "1-2", ""};
    for (const QString &text : texts) {
        DayJournal::Entry entry;
        entry.fileName = entry.destination = entry.isolator = entry.reason = text;
        entry.bytes = 5;
        entry.seconds = 0.5;
        ASSERT_TRUE(journal.append(entry));
    }
    const QString written = QString::fromUtf8(TestFiles::read(journal.path()));
    EXPECT_TRUE(written.contains(u"\t'=1+1.txt\t'=1+1.txt\t")) << written.toStdString();
    EXPECT_TRUE(written.contains(u"\t'＠d\t")) << written.toStdString();
    EXPECT_TRUE(written.contains(u"\t'''+f\t")) << written.toStdString();
    EXPECT_TRUE(written.contains(u"\t'g\t'g\t")) << written.toStdString();

    QList<QStringList> lines;
    Failure failure;
    ASSERT_TRUE(DayJournal::readFile(journal.path(), &lines, &failure)) << failure.sentence().toStdString();
    ASSERT_EQ(lines.size(), texts.size());
    for (qsizetype i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(lines[i].mid(2, 4), QStringList(4, texts[i])) << i;
        EXPECT_EQ(lines[i][6], QStringLiteral("5")) << "numbers are never touched";
    }
}

} // namespace
