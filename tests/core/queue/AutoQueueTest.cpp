#include "core/queue/AutoQueue.h"
#include "core/common/Clock.h"
#include "core/common/Cp936.h"
#include "core/common/Failure.h"
#include "core/config/FileTypeFilter.h"
#include "core/config/InnerPathMapping.h"
#include "core/records/RecordLog.h"
#include "core/records/UploadRecord.h"
#include "core/records/UploadTable.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

void append(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Subfolder A of a real transit folder is automatic, with a settle time of 5 s on a clock the test moves.
class AutoQueueTest : public ::testing::Test {
protected:
    AutoQueueTest()
        : m_clock(QDateTime(QDate(2024, 3, 5), QTime(9, 0))),
          m_filter(at(QStringLiteral("Brelvantis.filter"))), m_mapping(at(QStringLiteral("Brelvantis.path"))),
          m_log(m_table, m_clock), m_queue(m_table, m_log, m_filter, m_mapping, m_settings),
          m_auto(m_queue, m_settings) {
        m_settings.transitFolder = at(QStringLiteral("transit/"));
        m_settings.uploadFolder = at(QStringLiteral("upload"));
        TestFiles::makeFolder(at(QStringLiteral("transit/A")));
        TestFiles::makeFolder(at(QStringLiteral("transit/Z")));
        TestFiles::makeFolder(at(QStringLiteral("upload")));
        TestFiles::makeFolder(at(QStringLiteral("records")));
        TestFiles::write(m_filter.filePath(), FileTypeFilter::scramble("txt:"));
        m_filter.load();
        TestFiles::write(m_mapping.filePath(), *Cp936::encode(QStringLiteral("|A*d://a>192.168.1.1:4321|")));
        m_log.loadRecordLog(at(QStringLiteral("records/")));
        // The files are written just now by the wall clock: the queue's own settle time alone decides,
        // not the hand command's wait of 2 s on a file's time.
        m_auto.setClock([this] { return m_now; });
        AutomaticSettings automatic;
        automatic.folders = {QStringLiteral("A"), QStringLiteral("Z")};
        m_auto.configure(automatic);
    }

    QString at(const QString &relative) const { return m_dir.path() + QLatin1Char('/') + relative; }
    QString transitFile(const QString &name) const { return at(QStringLiteral("transit/A/") + name); }

    // Looks at the folders at time now and lets every ready file be queued.
    void scanAt(std::chrono::milliseconds now) {
        m_now = now;
        m_auto.scan();
        while (m_auto.isBusy()) {
            QCoreApplication::processEvents();
        }
    }
    QStringList queued() const {
        QStringList names;
        for (int row = 0; row < m_table.rowCount(); ++row) {
            names << m_table.cell(row, UploadRecord::CellFileName);
        }
        return names;
    }

    QTemporaryDir m_dir;
    FixedClock m_clock;
    SettingsRecord m_settings;
    FileTypeFilter m_filter;
    InnerPathMapping m_mapping;
    UploadTable m_table;
    RecordLog m_log;
    QueueOperations m_queue;
    AutoQueue m_auto;
    std::chrono::milliseconds m_now{0};
};

TEST_F(AutoQueueTest, AFileQueuesOnceUnchangedForTheSettleTimeAndNotWhileItGrows) {
    TestFiles::write(transitFile(QStringLiteral("stable.txt")), "whole");
    TestFiles::write(transitFile(QStringLiteral("grows.txt")), "part");
    TestFiles::write(transitFile(QStringLiteral("gone.txt")), "soon deleted");
    // A writer's usual end: the whole file renamed into the folder, already old.
    TestFiles::write(at(QStringLiteral("moved.txt")), "written elsewhere");
    ASSERT_TRUE(QFile::rename(at(QStringLiteral("moved.txt")), transitFile(QStringLiteral("moved.txt"))));
    scanAt(0s);
    EXPECT_EQ(m_auto.waitingCount(QStringLiteral("A")), 4);
    QFile::remove(transitFile(QStringLiteral("gone.txt")));
    scanAt(4s);
    EXPECT_EQ(queued(), QStringList());
    EXPECT_EQ(m_auto.waitingCount(QStringLiteral("A")), 3) << "a file deleted while it settles is forgotten";

    for (const auto now : {5s, 10s, 15s}) {
        append(transitFile(QStringLiteral("grows.txt")), "more");
        scanAt(now);
    }
    EXPECT_EQ(queued(), (QStringList{QStringLiteral("moved.txt"), QStringLiteral("stable.txt")}));
    EXPECT_EQ(m_auto.waitingCount(QStringLiteral("A")), 1);
    scanAt(20s);
    EXPECT_EQ(queued(), (QStringList{QStringLiteral("moved.txt"), QStringLiteral("stable.txt"),
                                     QStringLiteral("grows.txt")}))
        << "each file queued once";
    EXPECT_EQ(TestFiles::read(at(QStringLiteral("upload/grows.txt"))), QByteArray("partmoremoremore"));
    EXPECT_EQ(m_auto.waitingCount(QStringLiteral("A")), 0);
}

// A real writer: another process holds the file open for writing until it is killed.
TEST_F(AutoQueueTest, AFileHeldOpenForWritingWaitsUntilItsWriterIsDone) {
    TestFiles::write(transitFile(QStringLiteral("w.txt")), "first ");
    QProcess writer;
    writer.start(QStringLiteral("sh"),
                 {QStringLiteral("-c"),
                  QStringLiteral("exec 3>>\"$1\"; printf rest >&3; echo ready; exec sleep 60"),
                  QStringLiteral("sh"), transitFile(QStringLiteral("w.txt"))});
    ASSERT_TRUE(writer.waitForReadyRead(10000));
    scanAt(0s);
    scanAt(60s);
    EXPECT_EQ(queued(), QStringList());
    EXPECT_EQ(m_auto.waitingCount(QStringLiteral("A")), 1);

    writer.kill();
    ASSERT_TRUE(writer.waitForFinished(10000));
    scanAt(61s);
    EXPECT_EQ(queued(), QStringList{QStringLiteral("w.txt")});
    EXPECT_EQ(TestFiles::read(at(QStringLiteral("upload/w.txt"))), QByteArray("first rest"));
}

// A refusal about the file holds until the file or the rules change; one about a condition around it is
// tried again at every periodic look. Either is reported once for its reason.
TEST_F(AutoQueueTest, RefusalsAreReportedOnceAndOnlyThoseOfAConditionAreTriedAgainByThemselves) {
    QSignalSpy refused(&m_auto, &AutoQueue::refused);
    TestFiles::write(transitFile(QStringLiteral("empty.txt")), "");
    TestFiles::write(transitFile(QStringLiteral("report.doc")), "doc");
    TestFiles::write(transitFile(QStringLiteral("twin.txt")), "new twin");
    TestFiles::write(at(QStringLiteral("upload/twin.txt")), "twin still to send");
    TestFiles::write(at(QStringLiteral("transit/Z/unmapped.txt")), "z");
    TestFiles::write(at(QStringLiteral("transit/Z/unmapped2.txt")),
                     "z2"); // the subfolder's refusal is said once
    for (const auto now : {0s, 5s, 10s, 15s}) {
        scanAt(now);
    }
    QStringList reasons;
    for (const QList<QVariant> &signal : std::as_const(refused)) {
        reasons << signal[1].toString() + QLatin1Char(' ') + signal[2].toString();
    }
    reasons.sort();
    EXPECT_EQ(
        reasons,
        (QStringList{
            QStringLiteral("empty.txt 文件为空（0 字节），不能上传。"),
            QStringLiteral("report.doc 不能上传该类型文件！\n“report.doc”的类型：doc；允许上传的类型：txt"),
            QStringLiteral("twin.txt 上传目录中已有同名文件“twin.txt”等待上传，请等它上传完成后再添加。"),
            QStringLiteral("unmapped.txt 当前文件夹未配置对应内网信息，请检查内网信息配置！")}));
    EXPECT_EQ(m_auto.waitingCount(QStringLiteral("A")), 0) << "a refused file does not wait";

    // The conditions clear: the files go at the next look, unchanged.
    QFile::remove(at(QStringLiteral("upload/twin.txt")));
    TestFiles::write(m_mapping.filePath(),
                     *Cp936::encode(QStringLiteral("|A*d://a>192.168.1.1:4321|Z*d://z>192.168.1.1:4321|")));
    scanAt(20s);
    EXPECT_EQ(queued(), (QStringList{QStringLiteral("twin.txt"), QStringLiteral("unmapped.txt"),
                                     QStringLiteral("unmapped2.txt")}));

    // The rules change: a file refused for its type waits to be judged again, then goes.
    TestFiles::write(m_filter.filePath(), FileTypeFilter::scramble("txt:doc:"));
    m_filter.load();
    scanAt(30s);
    EXPECT_EQ(queued().size(), 3);
    m_auto.judgeAgain();
    scanAt(31s);
    EXPECT_EQ(queued().last(), QStringLiteral("report.doc"));

    // A file refused for what it is goes once it changes.
    TestFiles::write(transitFile(QStringLiteral("empty.txt")), "now filled");
    scanAt(32s);
    scanAt(37s);
    EXPECT_EQ(queued().last(), QStringLiteral("empty.txt"));
    EXPECT_EQ(refused.size(), 4);
}

// A share that drops: said once, what settled is kept, and it is watched again once it is back.
TEST_F(AutoQueueTest, ASubfolderThatGoesIsReportedOnceAndResumesWhenItIsBack) {
    QSignalSpy unavailable(&m_auto, &AutoQueue::folderUnavailable);
    QSignalSpy back(&m_auto, &AutoQueue::folderBack);
    TestFiles::write(transitFile(QStringLiteral("kept.txt")), "kept");
    scanAt(0s);
    const QString away = at(QStringLiteral("transit/A.away"));
    ASSERT_TRUE(QDir().rename(at(QStringLiteral("transit/A")), away));
    for (const auto now : {3s, 6s, 9s}) {
        scanAt(now);
    }
    ASSERT_EQ(unavailable.size(), 1);
    EXPECT_EQ(unavailable[0][0].toString(), QStringLiteral("A"));
    EXPECT_EQ(unavailable[0][1].value<Failure>().sentence(),
              QStringLiteral("无法使用文件夹 %1：文件或文件夹不存在").arg(at(QStringLiteral("transit/A"))));
    EXPECT_EQ(m_auto.unavailableFolders(), QStringList{QStringLiteral("A")});
    EXPECT_EQ(m_auto.waitingCount(QStringLiteral("A")), 1);
    EXPECT_EQ(queued(), QStringList());

    ASSERT_TRUE(QDir().rename(away, at(QStringLiteral("transit/A"))));
    scanAt(10s);
    EXPECT_EQ(back.size(), 1);
    EXPECT_EQ(queued(), QStringList{QStringLiteral("kept.txt")}) << "settled before it went";

    // The system's notice of a new file brings a look long before the periodic one (5 s of real time).
    QSignalSpy looked(&m_auto, &AutoQueue::waitingChanged);
    TestFiles::write(transitFile(QStringLiteral("new.txt")), "new");
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_auto.waitingCount(QStringLiteral("A")) == 1; }, 4000));
    EXPECT_EQ(unavailable.size(), 1);
}

// Thousands of files never hold the event loop for one long turn.
TEST_F(AutoQueueTest, OneTurnOfTheEventLoopQueuesOneBatchAtMost) {
    m_auto.setWriterCheck(
        [](const QList<FileProbe::Stamp> &stamps) { return QList<bool>(stamps.size(), false); });
    const int files = AutoQueue::kBatchSize * 2 + 50;
    for (int i = 0; i < files; ++i) {
        TestFiles::write(transitFile(QStringLiteral("f%1.txt").arg(i)), "x");
    }
    QList<int> rowsAtEachTurn;
    QObject::connect(&m_auto, &AutoQueue::waitingChanged, [&] { rowsAtEachTurn << m_table.rowCount(); });
    scanAt(0s);
    scanAt(5s);
    ASSERT_EQ(m_table.rowCount(), files);
    for (qsizetype i = 1; i < rowsAtEachTurn.size(); ++i) {
        EXPECT_LE(rowsAtEachTurn[i] - rowsAtEachTurn[i - 1], AutoQueue::kBatchSize);
    }
}

} // namespace
