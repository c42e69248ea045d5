#include "core/queue/QueueOperations.h"
#include "TestArchives.h"
#include "core/common/Clock.h"
#include "core/common/Cp936.h"
#include "core/config/FileTypeFilter.h"
#include "core/config/InnerPathMapping.h"
#include "core/config/SettingsRecord.h"
#include "core/inspection/ContentCheck.h"
#include "core/inspection/FileInspection.h"
#include "core/records/RecordLog.h"
#include "core/records/UploadRecord.h"
#include "core/records/UploadTable.h"
#include "core/xls/Workbook.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace UploadRecord;

namespace {

// A real workspace in a temporary folder: transit folder with subfolder A, upload and record
// folders, the mapping and filter files, a table and its log.
class QueueTest : public ::testing::Test {
protected:
    QueueTest()
        : m_clock(QDateTime(QDate(2024, 3, 5), QTime(9, 0))),
          m_filter(at(QStringLiteral("Brelvantis.filter"))), m_mapping(at(QStringLiteral("Brelvantis.path"))),
          m_log(m_table, m_clock), m_queue(m_table, m_log, m_filter, m_mapping, m_settings) {
        m_settings.transitFolder = at(QStringLiteral("transit/"));
        m_settings.uploadFolder = at(QStringLiteral("upload"));
        TestFiles::makeFolder(at(QStringLiteral("transit/A")));
        TestFiles::makeFolder(at(QStringLiteral("upload")));
        TestFiles::makeFolder(at(QStringLiteral("records")));
        writeFilter("txt:pdf:");
        writeMapping(QStringLiteral("|A*d://广告>192.168.1.1:4321|B*>|"));
        m_log.loadRecordLog(at(QStringLiteral("records/")));
        m_queue.setSettleTime([] { return std::chrono::milliseconds(0); }); // files are written whole
    }

    QString at(const QString &relative) const { return m_dir.path() + QLatin1Char('/') + relative; }
    QString transitFile(const QString &name) const { return at(QStringLiteral("transit/A/") + name); }
    QString uploadFile(const QString &name) const { return at(QStringLiteral("upload/") + name); }

    void writeFilter(const QByteArray &plain) {
        TestFiles::write(m_filter.filePath(), FileTypeFilter::scramble(plain));
        m_filter.load();
    }
    void writeMapping(const QString &text) { TestFiles::write(m_mapping.filePath(), *Cp936::encode(text)); }

    QStringList column(int cell) const {
        QStringList values;
        for (int row = 0; row < m_table.rowCount(); ++row) {
            values << m_table.cell(row, cell);
        }
        return values;
    }
    int loggedRows() const {
        Xls::Rows rows;
        QString error;
        return Xls::readWorksheet(m_log.path(), QStringLiteral("Sheet1"), &rows, &error)
                   ? int(rows.size()) - 1
                   : -1;
    }

    QTemporaryDir m_dir;
    FixedClock m_clock;
    SettingsRecord m_settings;
    FileTypeFilter m_filter;
    InnerPathMapping m_mapping;
    UploadTable m_table;
    RecordLog m_log;
    QueueOperations m_queue;
};

TEST_F(QueueTest, QueueingOneFileMovesItAndAppendsAReadyRecord) {
    TestFiles::write(transitFile(QStringLiteral("报告.txt")), QByteArray(3000, 'r'));
    const auto outcome = m_queue.queueTransitFile(QStringLiteral("报告.txt"), QStringLiteral("A"));
    EXPECT_TRUE(outcome.succeeded);
    EXPECT_TRUE(outcome.notice.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(transitFile(QStringLiteral("报告.txt"))));
    EXPECT_EQ(TestFiles::read(uploadFile(QStringLiteral("报告.txt"))), QByteArray(3000, 'r'));
    ASSERT_EQ(m_table.rowCount(), 1);
    EXPECT_EQ(m_table.cell(0, CellSequence), QStringLiteral("1"));
    EXPECT_EQ(m_table.cell(0, CellFileName), QStringLiteral("报告.txt"));
    EXPECT_EQ(m_table.cell(0, CellFileSize), QStringLiteral("2 KB"));
    EXPECT_EQ(m_table.cell(0, CellDestination), QStringLiteral("192.168.1.1:4321||d://广告"));
    EXPECT_EQ(m_table.cell(0, CellStatus), kStatusReady);
    EXPECT_EQ(m_table.cell(0, CellStartTime), QString());
    EXPECT_EQ(loggedRows(), 1);

    // Already gone from the subfolder: a second double-click does nothing.
    const auto again = m_queue.queueTransitFile(QStringLiteral("报告.txt"), QStringLiteral("A"));
    EXPECT_FALSE(again.succeeded);
    EXPECT_TRUE(again.notice.isEmpty());
    EXPECT_EQ(m_table.rowCount(), 1);
}

TEST_F(QueueTest, ChecksComeInOrderWithTheirMessagesAndChangeNothing) {
    TestFiles::write(transitFile(QStringLiteral("empty.txt")), QByteArray());
    TestFiles::write(transitFile(QStringLiteral("tool.exe")), "x");
    auto text = [this](const QString &name, const QString &folder) {
        return m_queue.queueTransitFile(name, folder).notice.text;
    };
    EXPECT_EQ(m_queue.queueTransitFile(QStringLiteral("a.txt"), QString()).notice.caption,
              QStringLiteral("提示"));
    EXPECT_EQ(text(QStringLiteral("a.txt"), QString()),
              QStringLiteral("确认中转目录下的当前子文件夹已双击选中"));
    // Mapping checks come before the file checks, even for an empty file.
    EXPECT_EQ(text(QStringLiteral("empty.txt"), QStringLiteral("Z")),
              QStringLiteral("当前文件夹未配置对应内网信息，请检查内网信息配置！"));
    EXPECT_EQ(text(QStringLiteral("empty.txt"), QStringLiteral("B")),
              QStringLiteral("当前文件夹对应内网路径配置不正确，请检查内网路径配置！"));
    writeMapping(QStringLiteral("|A*d://a>1.2.3.4:5"));
    EXPECT_EQ(text(QStringLiteral("empty.txt"), QStringLiteral("A")),
              QStringLiteral("当前文件夹对应内网IP配置不正确，请检查内网IP配置！"));
    writeMapping(QStringLiteral("|A*d://a>|"));
    EXPECT_EQ(text(QStringLiteral("empty.txt"), QStringLiteral("A")),
              QStringLiteral("文件为空（0 字节），不能上传。"));
    // The refusal keeps its first line and adds the file's type and the allowed ones.
    const QStringList refusal = text(QStringLiteral("tool.exe"), QStringLiteral("A")).split(u'\n');
    ASSERT_EQ(refusal.size(), 2);
    EXPECT_EQ(refusal[0], QStringLiteral("不能上传该类型文件！"));
    EXPECT_TRUE(refusal[1].contains(QStringLiteral("exe"))) << refusal[1].toStdString();
    EXPECT_TRUE(refusal[1].contains(QStringLiteral("txt、pdf"))) << refusal[1].toStdString();
    EXPECT_EQ(m_queue.queueTransitFile(QStringLiteral("tool.exe"), QStringLiteral("A")).notice.caption,
              QStringLiteral("错误"));
    QFile::remove(m_mapping.filePath());
    EXPECT_EQ(text(QStringLiteral("tool.exe"), QStringLiteral("A")),
              QStringLiteral("没有找到与本文件夹对应的内网路径，请检查内网路径配置"));
    EXPECT_EQ(m_queue.addRecord(QStringLiteral("A")).notice.text,
              QStringLiteral("当前文件夹未配置对应内网路径，请检查内网路径配置！"));
    EXPECT_EQ(m_queue.addRecord(QString()).notice.text,
              QStringLiteral("请确认中转目录下的当前子文件夹已双击选中。"));

    EXPECT_EQ(m_table.rowCount(), 0);
    EXPECT_TRUE(QFileInfo::exists(transitFile(QStringLiteral("tool.exe"))));
    EXPECT_TRUE(QFileInfo::exists(transitFile(QStringLiteral("empty.txt"))));
}

TEST_F(QueueTest, AddRecordQueuesOnlyPermittedNonEmptyFiles) {
    writeFilter("txt:");
    TestFiles::write(transitFile(QStringLiteral("a.txt")), "aaa");
    TestFiles::write(transitFile(QStringLiteral("b.exe")), "bbb");
    TestFiles::write(transitFile(QStringLiteral("c.txt")), QByteArray());
    TestFiles::makeFolder(transitFile(QStringLiteral("d")));
    TestFiles::write(transitFile(QStringLiteral("e.exe")), "eee");
    TestFiles::write(transitFile(QStringLiteral("README")), "no dot");

    const auto outcome = m_queue.addRecord(QStringLiteral("A"));
    EXPECT_TRUE(outcome.succeeded);
    EXPECT_TRUE(outcome.notice.isEmpty());
    EXPECT_EQ(outcome.summary,
              QStringLiteral("“A”：已添加 1 个文件；跳过：类型不允许 3 个（exe、无扩展名），空文件 1 个，"
                             "文件夹 1 个"));
    EXPECT_EQ(column(CellFileName), QStringList{QStringLiteral("a.txt")});
    EXPECT_EQ(column(CellFileSize), QStringList{QStringLiteral("0 KB")});
    EXPECT_TRUE(QFileInfo::exists(uploadFile(QStringLiteral("a.txt"))));
    for (const char *left : {"b.exe", "c.txt", "d", "e.exe", "README"}) {
        EXPECT_TRUE(QFileInfo::exists(transitFile(QString::fromLatin1(left)))) << left;
    }
    EXPECT_EQ(loggedRows(), 1);

    // Nothing left to queue: still a success, and the log is written all the same.
    QFile::remove(m_log.path());
    EXPECT_TRUE(m_queue.addRecord(QStringLiteral("A")).succeeded);
    EXPECT_EQ(loggedRows(), 1);
}

TEST_F(QueueTest, AFileWaitingUnderTheSameNameIsNeverReplaced) {
    TestFiles::write(transitFile(QStringLiteral("a.txt")), "first");
    ASSERT_TRUE(m_queue.queueTransitFile(QStringLiteral("a.txt"), QStringLiteral("A")).succeeded);
    TestFiles::write(transitFile(QStringLiteral("a.txt")), "second");
    TestFiles::write(transitFile(QStringLiteral("b.txt")), "bbb");

    const auto one = m_queue.queueTransitFile(QStringLiteral("a.txt"), QStringLiteral("A"));
    EXPECT_FALSE(one.succeeded);
    EXPECT_NE(one.notice.text.indexOf(QStringLiteral("a.txt")), -1);
    const auto all = m_queue.addRecord(QStringLiteral("A"));
    EXPECT_NE(all.notice.text.indexOf(QStringLiteral("a.txt")), -1);
    EXPECT_EQ(column(CellFileName), (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt")}));
    EXPECT_EQ(TestFiles::read(uploadFile(QStringLiteral("a.txt"))), QByteArray("first"));
    EXPECT_EQ(TestFiles::read(transitFile(QStringLiteral("a.txt"))), QByteArray("second"));

    // Sent, but its move to the completion folder failed: the sent copy is never replaced either, and
    // the operator is offered to try that move again.
    m_table.setCell(0, CellStatus, kStatusComplete);
    const auto sent = m_queue.queueTransitFile(QStringLiteral("a.txt"), QStringLiteral("A"));
    EXPECT_FALSE(sent.succeeded);
    EXPECT_EQ(sent.retryMoveOf, QStringLiteral("a.txt"));
    EXPECT_EQ(sent.notice.text,
              QStringLiteral("上传目录中已有同名文件“a.txt”：它已上传完成，但未能移到回收目录，"
                             "不能再添加同名文件。\n是否现在再试一次把它移到回收目录？"));
    EXPECT_EQ(TestFiles::read(uploadFile(QStringLiteral("a.txt"))), QByteArray("first"));

    // Once it has left the upload folder the name is free again.
    ASSERT_TRUE(QFile::remove(uploadFile(QStringLiteral("a.txt"))));
    ASSERT_TRUE(m_queue.queueTransitFile(QStringLiteral("a.txt"), QStringLiteral("A")).succeeded);
    EXPECT_EQ(TestFiles::read(uploadFile(QStringLiteral("a.txt"))), QByteArray("second"));
    EXPECT_EQ(m_table.rowCount(), 3);
}

TEST_F(QueueTest, AnUnrecordedFileInTheUploadFolderIsNeverReplaced) {
    TestFiles::write(uploadFile(QStringLiteral("left.txt")), "left behind");
    TestFiles::write(transitFile(QStringLiteral("left.txt")), "new");
    EXPECT_FALSE(m_queue.queueTransitFile(QStringLiteral("left.txt"), QStringLiteral("A")).succeeded);
    EXPECT_EQ(TestFiles::read(uploadFile(QStringLiteral("left.txt"))), QByteArray("left behind"));
    EXPECT_EQ(m_table.rowCount(), 0);
}

TEST_F(QueueTest, NamesAndInnerAddressesAtTheirLimits) {
    // A name the file system allows but that is no plain name on the other side.
    TestFiles::write(transitFile(QStringLiteral("a\\b.txt")), "x");
    EXPECT_FALSE(m_queue.queueTransitFile(QStringLiteral("a\\b.txt"), QStringLiteral("A")).succeeded);
    EXPECT_TRUE(QFileInfo::exists(transitFile(QStringLiteral("a\\b.txt"))));

    // The inner address may take 47 bytes, not 48.
    const QString address47 = QString(44, QLatin1Char('1')) + QStringLiteral(":80");
    writeMapping(QStringLiteral("|A*d://x>%1|").arg(address47));
    TestFiles::write(transitFile(QStringLiteral("ok.txt")), "x");
    EXPECT_TRUE(m_queue.queueTransitFile(QStringLiteral("ok.txt"), QStringLiteral("A")).succeeded);
    writeMapping(QStringLiteral("|A*d://x>1%1|").arg(address47));
    TestFiles::write(transitFile(QStringLiteral("long.txt")), "x");
    EXPECT_FALSE(m_queue.queueTransitFile(QStringLiteral("long.txt"), QStringLiteral("A")).succeeded);
}

TEST_F(QueueTest, AMoveThatFailsAddsNoRecord) {
    TestFiles::write(transitFile(QStringLiteral("a.txt")), "aaa");
    m_settings.uploadFolder = at(QStringLiteral("no-such-folder"));
    const auto outcome = m_queue.queueTransitFile(QStringLiteral("a.txt"), QStringLiteral("A"));
    EXPECT_FALSE(outcome.succeeded);
    EXPECT_FALSE(outcome.notice.isEmpty());
    EXPECT_EQ(m_table.rowCount(), 0);
    EXPECT_TRUE(QFileInfo::exists(transitFile(QStringLiteral("a.txt"))));
    EXPECT_FALSE(m_queue.addRecord(QStringLiteral("A")).notice.isEmpty());
    EXPECT_EQ(m_table.rowCount(), 0);
}

TEST_F(QueueTest, NamesAndDestinationsTheHeaderCannotCarryAreRefused) {
    const QString emoji = QStringLiteral("照片😀.txt");
    TestFiles::write(transitFile(emoji), "x");
    EXPECT_FALSE(m_queue.queueTransitFile(emoji, QStringLiteral("A")).notice.isEmpty());
    const auto all = m_queue.addRecord(QStringLiteral("A"));
    EXPECT_NE(all.notice.text.indexOf(emoji), -1);
    EXPECT_EQ(m_table.rowCount(), 0);
    EXPECT_TRUE(QFileInfo::exists(transitFile(emoji)));

    TestFiles::write(transitFile(QStringLiteral("ok.txt")), "x");
    writeMapping(QStringLiteral("|A*d://x>%1|").arg(QString(48, QLatin1Char('1'))));
    EXPECT_FALSE(m_queue.queueTransitFile(QStringLiteral("ok.txt"), QStringLiteral("A")).notice.isEmpty());
    writeMapping(QStringLiteral("|A*%1>1.2.3.4:5|").arg(QString(254, QLatin1Char('p'))));
    EXPECT_FALSE(m_queue.queueTransitFile(QStringLiteral("ok.txt"), QStringLiteral("A")).notice.isEmpty());
    EXPECT_EQ(m_table.rowCount(), 0);
}

TEST_F(QueueTest, LinksPipesAndNamesThatCannotTravelAreRefusedWithTheirReason) {
    const QString outside = at(QStringLiteral("outside.txt"));
    TestFiles::write(outside, "not the operator's to send");
    ASSERT_TRUE(QFile::link(outside, transitFile(QStringLiteral("link.txt"))));
    ASSERT_EQ(::mkfifo(QFile::encodeName(transitFile(QStringLiteral("pipe.txt"))).constData(), 0600), 0);
    TestFiles::write(transitFile(QStringLiteral("a\tb.txt")), "tab");
    const QByteArray undecodable = QFile::encodeName(transitFile(QString())) + "caf\xe9.txt";
    const int fd = ::open(undecodable.constData(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "latin-1", 7), 7);
    ::close(fd);

    auto text = [this](const QString &name) {
        return m_queue.queueTransitFile(name, QStringLiteral("A")).notice.text;
    };
    EXPECT_EQ(text(QStringLiteral("link.txt")),
              QStringLiteral("文件“link.txt”是符号链接，不会被跟随，不能上传。"));
    EXPECT_EQ(text(QStringLiteral("pipe.txt")),
              QStringLiteral("文件“pipe.txt”不是普通文件（文件夹、管道、套接字或设备），不能上传。"));
    EXPECT_EQ(text(QStringLiteral("a\tb.txt")),
              QStringLiteral("文件名“a\\x09b.txt”含有控制字符，不能上传。"));
    // The list shows such a name decoded, with U+FFFD where its bytes are not UTF-8.
    EXPECT_EQ(text(QFile::decodeName("caf\xe9.txt")),
              QStringLiteral("文件名“caf\\xE9.txt”不是有效的 UTF-8 编码，不能上传。"));

    TestFiles::write(transitFile(QStringLiteral("c\nd.txt")), "newline");
    const auto all = m_queue.addRecord(QStringLiteral("A"));
    EXPECT_EQ(all.notice.text, QStringLiteral("以下文件未添加，仍留在中转目录中：\n"
                                              "文件名“a\\x09b.txt”含有控制字符\n"
                                              "文件名“c\\x0Ad.txt”含有控制字符\n"
                                              "文件名“caf\\xE9.txt”不是有效的 UTF-8 编码\n"
                                              "文件“link.txt”是符号链接，不会被跟随\n"
                                              "文件“pipe.txt”不是普通文件（文件夹、管道、套接字或设备）"))
        << all.notice.text.toStdString();
    EXPECT_EQ(m_table.rowCount(), 0);
    EXPECT_EQ(TestFiles::read(outside), QByteArray("not the operator's to send"));
    ::unlink(undecodable.constData()); // the temporary folder knows its names only decoded
    EXPECT_EQ(
        QDir(at(QStringLiteral("upload"))).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
        QStringList());
}

// A real writer: another process that holds the file open for writing until it is killed.
TEST_F(QueueTest, AFileStillBeingWrittenWaitsAndQueuesWholeOnceItsWriterIsDone) {
    TestFiles::write(transitFile(QStringLiteral("w.txt")), "first ");
    TestFiles::write(transitFile(QStringLiteral("done.txt")), "done");
    QProcess writer;
    writer.start(QStringLiteral("sh"),
                 {QStringLiteral("-c"),
                  QStringLiteral("exec 3>>\"$1\"; printf rest >&3; echo ready; exec sleep 60"),
                  QStringLiteral("sh"), transitFile(QStringLiteral("w.txt"))});
    ASSERT_TRUE(writer.waitForReadyRead(10000));

    const auto one = m_queue.queueTransitFile(QStringLiteral("w.txt"), QStringLiteral("A"));
    EXPECT_FALSE(one.succeeded);
    EXPECT_TRUE(one.notice.isEmpty()) << "a wait, not a refusal";
    EXPECT_EQ(one.summary, QStringLiteral("等待文件写完：w.txt"));
    const auto all = m_queue.addRecord(QStringLiteral("A"));
    EXPECT_EQ(all.summary, QStringLiteral("“A”：已添加 1 个文件；跳过：等待文件写完：w.txt"));
    EXPECT_EQ(column(CellFileName), QStringList{QStringLiteral("done.txt")});
    EXPECT_TRUE(QFileInfo::exists(transitFile(QStringLiteral("w.txt"))));

    writer.kill();
    ASSERT_TRUE(writer.waitForFinished(10000));
    ASSERT_TRUE(m_queue.queueTransitFile(QStringLiteral("w.txt"), QStringLiteral("A")).succeeded);
    EXPECT_EQ(TestFiles::read(uploadFile(QStringLiteral("w.txt"))), QByteArray("first rest"));

    // A file changed less than the settle time ago waits too.
    m_queue.setSettleTime([] { return std::chrono::milliseconds(std::chrono::hours(1)); });
    TestFiles::write(transitFile(QStringLiteral("fresh.txt")), "fresh");
    EXPECT_EQ(m_queue.queueTransitFile(QStringLiteral("fresh.txt"), QStringLiteral("A")).summary,
              QStringLiteral("等待文件写完：fresh.txt"));
    EXPECT_EQ(m_table.rowCount(), 2);
}

TEST_F(QueueTest, MovesWorkAcrossFileSystems) {
    QTemporaryDir other(QStringLiteral("/dev/shm/brelvantis-XXXXXX"));
    struct stat here {};
    struct stat there {};
    if (!other.isValid() || ::stat(QFile::encodeName(m_dir.path()).constData(), &here) != 0 ||
        ::stat(QFile::encodeName(other.path()).constData(), &there) != 0 || here.st_dev == there.st_dev) {
        GTEST_SKIP() << "no second file system to move across";
    }
    m_settings.uploadFolder = other.path();
    TestFiles::write(transitFile(QStringLiteral("a.txt")), QByteArray(5 << 20, 'z'));
    ASSERT_TRUE(m_queue.queueTransitFile(QStringLiteral("a.txt"), QStringLiteral("A")).succeeded);
    EXPECT_FALSE(QFileInfo::exists(transitFile(QStringLiteral("a.txt"))));
    EXPECT_EQ(TestFiles::read(other.filePath(QStringLiteral("a.txt"))), QByteArray(5 << 20, 'z'));
    EXPECT_TRUE(QDir(other.path()).entryList(QDir::Files | QDir::Hidden).size() == 1);
}

// The content checks as the station runs them: real libmagic and libarchive, switched on in the settings.
class ContentCheckTest : public QueueTest {
protected:
    ContentCheckTest() {
        writeFilter("txt:zip:");
        m_settings.checkContent = m_settings.openArchives = QStringLiteral("1");
        m_queue.setInspection([this] {
            ++m_commands;
            const auto inspect = FileInspection::inspectorFor(InspectionSettings::from(m_settings), m_filter);
            return [this, inspect](const QString &path, const std::atomic<bool> *cancel) {
                ++m_checks;
                return inspect(path, cancel);
            };
        });
        TestFiles::write(transitFile(QStringLiteral("伪装.txt")),
                         TestFiles::read(QCoreApplication::applicationFilePath()).left(8192));
        TestFiles::write(transitFile(QStringLiteral("资料.zip")),
                         TestArchives::make(QStringLiteral("zip"), {{QStringLiteral("setup.exe"), "MZ"}}));
        TestFiles::write(transitFile(QStringLiteral("good.txt")), "季度报告\n");
    }

    int m_commands = 0;
    int m_checks = 0;
};

TEST_F(ContentCheckTest, ARefusedFileStaysWithItsReasonAndAGoodOneIsQueued) {
    const auto disguised = m_queue.queueTransitFile(QStringLiteral("伪装.txt"), QStringLiteral("A"));
    EXPECT_FALSE(disguised.succeeded);
    EXPECT_EQ(disguised.notice.text,
              QStringLiteral("不能上传该类型文件！\n内容是 ELF 可执行程序，与扩展名 .txt 不符"));
    EXPECT_EQ(m_queue.queueTransitFile(QStringLiteral("资料.zip"), QStringLiteral("A")).notice.text,
              QStringLiteral("不能上传该类型文件！\n压缩包内的“setup.exe”是不允许上传的类型"));
    EXPECT_TRUE(QFileInfo::exists(transitFile(QStringLiteral("伪装.txt"))));
    EXPECT_TRUE(QFileInfo::exists(transitFile(QStringLiteral("资料.zip"))));
    EXPECT_EQ(m_table.rowCount(), 0);

    // The whole folder: content refusals are counted apart from the types the list does not allow.
    TestFiles::write(transitFile(QStringLiteral("tool.exe")), "MZ");
    const auto all = m_queue.addRecord(QStringLiteral("A"));
    EXPECT_EQ(all.summary,
              QStringLiteral("“A”：已添加 1 个文件；跳过：类型不允许 1 个（exe），内容检查未通过 2 个"));
    EXPECT_EQ(all.notice.text, QStringLiteral("以下文件未添加，仍留在中转目录中：\n"
                                              "“伪装.txt”：内容是 ELF 可执行程序，与扩展名 .txt 不符\n"
                                              "“资料.zip”：压缩包内的“setup.exe”是不允许上传的类型"));
    EXPECT_EQ(column(CellFileName), QStringList{QStringLiteral("good.txt")});
    EXPECT_TRUE(QFileInfo::exists(uploadFile(QStringLiteral("good.txt"))));

    // Switched off again: nothing is looked at by content.
    m_settings.checkContent.clear();
    m_settings.openArchives.clear();
    const int checks = m_checks;
    m_queue.setInspection(
        [this] { return FileInspection::inspectorFor(InspectionSettings::from(m_settings), m_filter); });
    EXPECT_TRUE(m_queue.queueTransitFile(QStringLiteral("伪装.txt"), QStringLiteral("A")).succeeded);
    EXPECT_EQ(m_checks, checks);
}

// A check that cannot be made passes nothing.
TEST_F(ContentCheckTest, WithoutTheTypeDatabaseEveryFileIsRefused) {
    qputenv("MAGIC", at(QStringLiteral("no-such.mgc")).toUtf8());
    const auto broken = std::make_shared<const ContentCheck>();
    qunsetenv("MAGIC");
    ASSERT_FALSE(broken->ready());
    const FileInspection inspection(InspectionSettings::from(m_settings), m_filter, broken);
    m_queue.setInspection([&inspection] {
        return [&inspection](const QString &path, const std::atomic<bool> *cancel) {
            return inspection.refusal(path, cancel);
        };
    });
    EXPECT_EQ(m_queue.queueTransitFile(QStringLiteral("good.txt"), QStringLiteral("A")).notice.text,
              QStringLiteral("不能上传该类型文件！\n无法检查文件的真实类型：文件类型数据库未能加载（%1）")
                  .arg(broken->loadError()));
    EXPECT_TRUE(QFileInfo::exists(transitFile(QStringLiteral("good.txt"))));
}

// The two halves of a command around its check: a file that changes between them is checked again, and
// a cancelled check queues nothing.
TEST_F(ContentCheckTest, AFileChangedAfterItsCheckIsCheckedAgainAndACancelledCheckQueuesNothing) {
    QueueOperations::Batch batch;
    EXPECT_TRUE(m_queue.queueTransitFile(QStringLiteral("good.txt"), QStringLiteral("A"), &batch).needsCheck);
    QueueOperations::check(batch);
    EXPECT_EQ(m_checks, 1);
    TestFiles::write(transitFile(QStringLiteral("good.txt")),
                     TestFiles::read(QCoreApplication::applicationFilePath()).left(4096));
    EXPECT_TRUE(m_queue.queueTransitFile(QStringLiteral("good.txt"), QStringLiteral("A"), &batch).needsCheck);
    QueueOperations::check(batch);
    EXPECT_EQ(m_checks, 2);
    EXPECT_EQ(m_queue.queueTransitFile(QStringLiteral("good.txt"), QStringLiteral("A"), &batch).notice.text,
              QStringLiteral("不能上传该类型文件！\n内容是 ELF 可执行程序，与扩展名 .txt 不符"));
    EXPECT_EQ(m_commands, 1) << "the settings are read once per command";

    QueueOperations::Batch cancelled;
    ASSERT_TRUE(m_queue.addRecord(QStringLiteral("A"), &cancelled).needsCheck);
    const std::atomic<bool> cancel{true};
    QueueOperations::check(cancelled, &cancel);
    const auto outcome = m_queue.addRecord(QStringLiteral("A"), &cancelled);
    EXPECT_FALSE(outcome.succeeded);
    EXPECT_EQ(outcome.summary, QStringLiteral("已取消检查“A”中的文件，未添加文件。"));
    EXPECT_EQ(m_table.rowCount(), 0);
}

class DeleteTest : public QueueTest {
protected:
    void SetUp() override {
        for (const char *name : {"1.txt", "2.txt", "3.txt", "4.txt", "5.txt"}) {
            TestFiles::write(transitFile(QString::fromLatin1(name)), name);
        }
        ASSERT_TRUE(m_queue.addRecord(QStringLiteral("A")).succeeded);
        ASSERT_EQ(m_table.rowCount(), 5);
    }
};

TEST_F(DeleteTest, SelectedRowsGoAndTheirFilesReturnToTheirOwnSubfolder) {
    writeMapping(QStringLiteral("|A*d://广告>192.168.1.1:4321|B*d://b>192.168.1.2:4321|"));
    TestFiles::write(at(QStringLiteral("transit/B/6.txt")), "6.txt");
    ASSERT_TRUE(m_queue.queueTransitFile(QStringLiteral("6.txt"), QStringLiteral("B")).succeeded);
    const auto outcome = m_queue.deleteRecord({5, 3, 1});
    ASSERT_TRUE(outcome.succeeded);
    EXPECT_TRUE(outcome.notice.isEmpty());
    EXPECT_EQ(column(CellFileName),
              (QStringList{QStringLiteral("1.txt"), QStringLiteral("3.txt"), QStringLiteral("5.txt")}));
    EXPECT_EQ(column(CellSequence),
              (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));
    EXPECT_EQ(TestFiles::read(transitFile(QStringLiteral("2.txt"))), QByteArray("2.txt"));
    EXPECT_EQ(TestFiles::read(transitFile(QStringLiteral("4.txt"))), QByteArray("4.txt"));
    EXPECT_EQ(TestFiles::read(at(QStringLiteral("transit/B/6.txt"))), QByteArray("6.txt"));
    EXPECT_FALSE(QFileInfo::exists(uploadFile(QStringLiteral("2.txt"))));
    EXPECT_EQ(loggedRows(), 3);
}

TEST_F(DeleteTest, AFileWithNoCertainHomeOrWhoseNameIsTakenThereStaysAndTheOperatorIsTold) {
    TestFiles::write(transitFile(QStringLiteral("1.txt")), "operator's own");
    m_table.setCell(3, CellDestination, QStringLiteral("10.0.0.1:1||d://gone"));
    const auto stayed = m_queue.deleteRecord({0, 3});
    ASSERT_TRUE(stayed.succeeded);
    EXPECT_EQ(stayed.notice.caption, QStringLiteral("提示"));
    EXPECT_EQ(stayed.notice.text,
              QStringLiteral("中转子目录“A”中已有同名文件“1.txt”，文件留在上传目录中：%1\n"
                             "记录“4.txt”的目的地“10.0.0.1:1||d://gone”没有对应的中转子目录，"
                             "文件留在上传目录中：%2")
                  .arg(uploadFile(QStringLiteral("1.txt")), uploadFile(QStringLiteral("4.txt"))));
    EXPECT_EQ(TestFiles::read(transitFile(QStringLiteral("1.txt"))), QByteArray("operator's own"));
    EXPECT_EQ(TestFiles::read(uploadFile(QStringLiteral("1.txt"))), QByteArray("1.txt"));
    EXPECT_TRUE(QFileInfo::exists(uploadFile(QStringLiteral("4.txt"))));
    EXPECT_EQ(column(CellFileName),
              (QStringList{QStringLiteral("2.txt"), QStringLiteral("3.txt"), QStringLiteral("5.txt")}));

    // Two subfolders go to the same place: which one the file came from is not known.
    TestFiles::makeFolder(at(QStringLiteral("transit/B")));
    writeMapping(QStringLiteral("|A*d://广告>192.168.1.1:4321|B*d://广告>192.168.1.1:4321|"));
    EXPECT_EQ(m_queue.deleteRecord({0}).notice.text,
              QStringLiteral("记录“2.txt”的目的地“192.168.1.1:4321||d://广告”对应多个中转子目录（A、B），"
                             "无法确定文件来自哪一个，文件留在上传目录中：%1")
                  .arg(uploadFile(QStringLiteral("2.txt"))));
    EXPECT_TRUE(QFileInfo::exists(uploadFile(QStringLiteral("2.txt"))));
}

TEST_F(DeleteTest, UploadingAndCompleteRecordsStay) {
    m_table.setCell(0, CellStatus, kStatusUploading);
    m_table.setCell(1, CellStatus, kStatusComplete);
    const auto outcome = m_queue.deleteRecord({0, 1, 2});
    ASSERT_TRUE(outcome.succeeded);
    EXPECT_EQ(outcome.notice.text, QStringLiteral("该文件正在上传，不能删除。请先停止上传。"));
    EXPECT_EQ(column(CellFileName), (QStringList{QStringLiteral("1.txt"), QStringLiteral("2.txt"),
                                                 QStringLiteral("4.txt"), QStringLiteral("5.txt")}));
    EXPECT_TRUE(QFileInfo::exists(uploadFile(QStringLiteral("1.txt"))));
    EXPECT_TRUE(QFileInfo::exists(uploadFile(QStringLiteral("2.txt"))));
    EXPECT_TRUE(QFileInfo::exists(transitFile(QStringLiteral("3.txt"))));
}

TEST_F(DeleteTest, NothingSelectedIsAHintAndAMissingFileNeverDestroysTheOperatorsFile) {
    const auto none = m_queue.deleteRecord({});
    EXPECT_EQ(none.notice.caption, QStringLiteral("提示"));
    EXPECT_EQ(none.notice.text, QStringLiteral("未选中文件。请选择文件后再点击删除按钮。"));
    EXPECT_EQ(m_table.rowCount(), 5);

    // The record's file has gone from the upload folder; the operator's own file of that name stays.
    QFile::remove(uploadFile(QStringLiteral("1.txt")));
    TestFiles::write(transitFile(QStringLiteral("1.txt")), "operator's own");
    ASSERT_TRUE(m_queue.deleteRecord({0}).succeeded);
    EXPECT_EQ(TestFiles::read(transitFile(QStringLiteral("1.txt"))), QByteArray("operator's own"));
    EXPECT_EQ(m_table.rowCount(), 4);
}

TEST_F(DeleteTest, MovesAreJournalledAtTheNewPlaceAndReachTheLog) {
    QList<QPair<JournalEvent, QString>> heard;
    m_queue.setObserver([&](JournalEvent event, int row) {
        heard.append({event, m_table.cell(row, CellFileName)});
    });
    EXPECT_EQ(m_queue.moveUp(2), 1);
    EXPECT_EQ(m_queue.moveDown(3), 4);
    EXPECT_EQ(m_queue.moveUp(0), -1) << "no row above the first";
    EXPECT_EQ(m_queue.moveDown(4), -1) << "no row below the last";
    EXPECT_EQ(column(CellFileName),
              (QStringList{QStringLiteral("1.txt"), QStringLiteral("3.txt"), QStringLiteral("2.txt"),
                           QStringLiteral("5.txt"), QStringLiteral("4.txt")}));
    EXPECT_EQ(heard,
              (QList<QPair<JournalEvent, QString>>{{JournalEvent::MovedUp, QStringLiteral("3.txt")},
                                                   {JournalEvent::MovedDown, QStringLiteral("4.txt")}}));
    QList<QStringList> logged;
    Failure failure;
    ASSERT_TRUE(RecordLog::readRecords(m_log.path(), &logged, &failure)) << failure.sentence().toStdString();
    EXPECT_EQ(logged.at(1).at(CellFileName), QStringLiteral("3.txt"));

    // While a file is sent: its row stays put, and no row still to send goes above a sent one.
    m_table.setCell(0, CellStatus, kStatusComplete);
    m_table.setCell(2, CellStatus, kStatusUploading);
    QString refusal;
    EXPECT_EQ(m_queue.moveUp(2, &refusal), -1);
    EXPECT_EQ(refusal, QStringLiteral("该文件正在上传，不能移动。请先停止上传。"));
    EXPECT_EQ(m_queue.moveUp(1, &refusal), -1);
    EXPECT_EQ(refusal, QStringLiteral("未上传完成的记录不能移到上传完成的记录之上。"));
    EXPECT_EQ(m_queue.moveUp(3), 2) << "a row to send passes the one being sent";
    EXPECT_EQ(m_table.cell(3, CellStatus), kStatusUploading);
}

} // namespace
