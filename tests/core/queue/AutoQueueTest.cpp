#include "core/queue/AutoQueue.h"
#include "core/common/Clock.h"
#include "core/common/Cp936.h"
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
        // The file's own time is the wall clock's: the queueing command's wait on it is left out here.
        m_queue.setSettleTime([] { return 0ms; });
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
    scanAt(0s);
    EXPECT_EQ(m_auto.waitingCount(QStringLiteral("A")), 3);
    QFile::remove(transitFile(QStringLiteral("gone.txt")));
    scanAt(4s);
    EXPECT_EQ(queued(), QStringList());
    EXPECT_EQ(m_auto.waitingCount(QStringLiteral("A")), 2) << "a file deleted while it settles is forgotten";

    for (const auto now : {5s, 10s, 15s}) {
        append(transitFile(QStringLiteral("grows.txt")), "more");
        scanAt(now);
    }
    EXPECT_EQ(queued(), QStringList{QStringLiteral("stable.txt")});
    EXPECT_EQ(m_auto.waitingCount(QStringLiteral("A")), 1);
    scanAt(20s);
    EXPECT_EQ(queued(), (QStringList{QStringLiteral("stable.txt"), QStringLiteral("grows.txt")}));
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

TEST_F(AutoQueueTest, ARefusedFileIsReportedOnceAndTriedAgainOnlyOnceItChanges) {
    QSignalSpy refused(&m_auto, &AutoQueue::refused);
    TestFiles::write(transitFile(QStringLiteral("empty.txt")), "");
    TestFiles::write(at(QStringLiteral("transit/Z/unmapped.txt")), "z");
    scanAt(0s);
    scanAt(5s);
    scanAt(10s);
    ASSERT_EQ(refused.size(), 2);
    const QList<QVariant> unmapped = refused[0][0] == QStringLiteral("Z") ? refused[0] : refused[1];
    EXPECT_EQ(unmapped,
              (QList<QVariant>{QStringLiteral("Z"), QStringLiteral("unmapped.txt"),
                               QStringLiteral("当前文件夹未配置对应内网信息，请检查内网信息配置！")}));
    EXPECT_EQ(m_auto.waitingCount(QStringLiteral("A")), 0) << "a refused file does not wait";

    TestFiles::write(transitFile(QStringLiteral("empty.txt")), "now filled");
    scanAt(11s);
    scanAt(16s);
    EXPECT_EQ(queued(), QStringList{QStringLiteral("empty.txt")});
    EXPECT_EQ(refused.size(), 2);
}

} // namespace
