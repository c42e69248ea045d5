#include "StationTestBench.h"

#include "IsolatorServer.h"
#include "app/CMainFrame.h"
#include "core/common/CommandIds.h"
#include "core/common/Cp936.h"
#include "core/config/FileTypeFilter.h"
#include "core/config/SettingsStore.h"
#include "core/records/DayJournal.h"
#include "core/records/UploadRecord.h"
#include "core/station/StationParts.h"
#include "core/xls/Workbook.h"
#include "gui/dialogs/CHistoryDlg.h"
#include "gui/views/CContentView.h"
#include "gui/views/CDriveExplorerView.h"
#include "gui/views/CTableView.h"
#include "support/TestFiles.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>

using namespace UploadRecord;
using StationTest::doubleClickRow;
using StationTest::rowWithText;

namespace {

bool waitUntil(const std::function<bool()> &condition, int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > milliseconds) {
            return false;
        }
        QTest::qWait(20);
    }
    return true;
}

// A file the peer stores: the sender is done with the last block before the peer has put the file
// in place, so the file may take a moment to appear (it appears whole or not at all).
QByteArray storedByPeer(const QString &path) {
    waitUntil([&path] { return QFileInfo::exists(path); }, 10000);
    return TestFiles::read(path);
}

// The real station window over a real workspace, sending to a real isolator peer on loopback.
class StationEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        IsolatorOptions options;
        options.listenPort = 0;
        options.root = m_peerRoot.path();
        options.timeout = std::chrono::seconds(5);
        m_peer = std::make_unique<IsolatorServer>(options, [this](const ConnectionReport &report) {
            if (report.outcome == ConnectionReport::Outcome::Stored) {
                ++m_stored;
            }
        });
        QString error;
        ASSERT_TRUE(m_peer->start(&error)) << error.toStdString();
        m_workspace = std::make_unique<StationWorkspace>(m_peer->port());
    }

    std::unique_ptr<IsolatorServer> startAgainstAMutePeer();

    void openStation(std::unique_ptr<Clock> clock = nullptr) {
        m_parts = std::make_unique<StationParts>(m_workspace->dir.path(), std::move(clock));
        m_parts->job.settleTime = {}; // the test's files are written whole before they are queued
        m_parts->filter.load();
        m_frame = std::make_unique<CMainFrame>(*m_parts);
        m_frame->OnCreate();
        m_frame->OnInitialUpdates();
        m_frame->resize(1400, 800);
        m_frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_frame.get()));
        m_parts->upload.setTickInterval(40); // ticks every 2 s in service; the test need not wait that long
    }

    QStringList statuses() const {
        QStringList all;
        for (int row = 0; row < m_parts->table.rowCount(); ++row) {
            all << m_parts->table.cell(row, CellStatus);
        }
        return all;
    }

    bool uploadFolderIsEmpty() const {
        return QDir(m_workspace->path(QStringLiteral("upload")))
            .entryList(QDir::Files | QDir::Hidden)
            .isEmpty();
    }

    QString arrived(const QString &address, const QString &folder, const QString &name) const {
        return m_peerRoot.path() + QStringLiteral("/%1/d/%2/%3").arg(address, folder, name);
    }

    QTemporaryDir m_peerRoot;
    // Files the peer has put in place: a file is read only after its report.
    std::atomic<int> m_stored{0};
    std::unique_ptr<IsolatorServer> m_peer;
    std::unique_ptr<StationWorkspace> m_workspace;
    std::unique_ptr<StationParts> m_parts;
    std::unique_ptr<CMainFrame> m_frame;
    RecordingResponder m_messages;
};

TEST_F(StationEndToEnd, FilesTravelFromTheTransitFolderToTheIsolator) {
    const QByteArray report = m_workspace->addTransitFile(QStringLiteral("报表/季度报告.txt"), 3000);
    const QByteArray summary = m_workspace->addTransitFile(QStringLiteral("报表/年度汇总.pdf"), 200000);
    const QByteArray detail = m_workspace->addTransitFile(QStringLiteral("报表/明细.txt"), 8193);
    m_workspace->addTransitFile(QStringLiteral("报表/tool.exe"), 10);
    const QByteArray photo = m_workspace->addTransitFile(QStringLiteral("图片/现场照片 01.jpg"), 100000);
    openStation();

    auto *folders = m_frame->findChild<CContentView *>(QStringLiteral("contentView"));
    auto *files = m_frame->findChild<CDriveExplorerView *>(QStringLiteral("driveExplorerView"));
    auto *table = m_frame->findChild<CTableView *>(CTableView::kObjectName);
    doubleClickRow(folders, rowWithText(folders, QStringLiteral("报表")));
    ASSERT_EQ(m_frame->findChild<CContentView *>(QStringLiteral("contentView"))->currentDir(),
              QStringLiteral("报表"));
    ASSERT_EQ(files->rowCount(), 4);

    // One file by double-click, the rest of the folder by the toolbar's add command.
    doubleClickRow(files, rowWithText(files, QStringLiteral("季度报告.txt")));
    ASSERT_EQ(m_parts->table.rowCount(), 1);
    EXPECT_EQ(files->rowCount(), 3);
    m_frame->toolAction(ID_ADD_RECORD)->trigger();
    ASSERT_EQ(m_parts->table.rowCount(), 3);
    EXPECT_TRUE(QFileInfo::exists(m_workspace->path(QStringLiteral("transit/报表/tool.exe"))));
    EXPECT_EQ(folders->item(rowWithText(folders, QStringLiteral("报表")), 1)->text(), QStringLiteral("1"));

    // Deleting a record before it is sent returns its file to the current subfolder.
    StationTest::clickRow(table, rowWithText(table, QStringLiteral("明细.txt"), CellFileName));
    m_frame->toolAction(ID_DELETE_RECORD)->trigger();
    ASSERT_EQ(m_parts->table.rowCount(), 2);
    EXPECT_EQ(TestFiles::read(m_workspace->path(QStringLiteral("transit/报表/明细.txt"))), detail);

    doubleClickRow(folders, rowWithText(folders, QStringLiteral("图片")));
    m_frame->menuAction(ID_ADD_RECORD)->trigger();
    ASSERT_EQ(m_parts->table.rowCount(), 3);
    EXPECT_TRUE(m_messages.notices.isEmpty());

    m_frame->toolAction(ID_START_UPLOAD)->trigger();
    EXPECT_FALSE(m_parts->upload.isStopped());
    ASSERT_TRUE(waitUntil([this] { return m_parts->upload.isStopped(); }, 30000))
        << statuses().join(u' ').toStdString();
    ASSERT_TRUE(waitUntil([this] { return m_stored == 3; }, 10000));

    EXPECT_EQ(statuses(), QStringList(3, kStatusComplete));
    for (int row = 0; row < 3; ++row) {
        EXPECT_FALSE(m_parts->table.cell(row, CellStartTime).isEmpty());
        EXPECT_FALSE(m_parts->table.cell(row, CellFinishTime).isEmpty());
    }
    EXPECT_EQ(storedByPeer(arrived(QStringLiteral("192.168.1.10_4321"), QStringLiteral("报表"),
                                   QStringLiteral("季度报告.txt"))),
              report);
    EXPECT_EQ(storedByPeer(arrived(QStringLiteral("192.168.1.10_4321"), QStringLiteral("报表"),
                                   QStringLiteral("年度汇总.pdf"))),
              summary);
    EXPECT_EQ(storedByPeer(arrived(QStringLiteral("192.168.1.11_4321"), QStringLiteral("图片"),
                                   QStringLiteral("现场照片 01.jpg"))),
              photo);
    EXPECT_FALSE(QFileInfo::exists(
        arrived(QStringLiteral("192.168.1.10_4321"), QStringLiteral("报表"), QStringLiteral("明细.txt"))));
    // Sent files leave the upload folder for the completion folder's folder of the day (on the mover's
    // thread, so the last one may still be on its way).
    EXPECT_TRUE(waitUntil([this] { return uploadFolderIsEmpty(); }, 10000));
    const QString today = m_workspace->path(QStringLiteral("done/") + m_parts->clock->dateText() + u'/');
    EXPECT_EQ(TestFiles::read(today + QStringLiteral("季度报告.txt")), report);
    EXPECT_EQ(TestFiles::read(today + QStringLiteral("现场照片 01.jpg")), photo);

    Xls::Rows logged;
    QString error;
    ASSERT_TRUE(Xls::readWorksheet(m_parts->log.path(), QStringLiteral("Sheet1"), &logged, &error))
        << error.toStdString();
    ASSERT_EQ(logged.size(), 4);
    for (int row = 1; row < 4; ++row) {
        EXPECT_EQ(logged[row].value(CellStatus), kStatusComplete);
        EXPECT_EQ(logged[row].value(CellFinishTime), m_parts->table.cell(row - 1, CellFinishTime));
    }
    EXPECT_EQ(m_frame->findChild<QProgressBar *>(QStringLiteral("uploadProgress"))->value(), 100);
}

// A first start in an empty folder: the operator sets the folders and the isolator in the settings
// dialog, maps the subfolders in the inner path dialog opened from it, queues a folder and sends it.
TEST_F(StationEndToEnd, TheOperatorSetsTheStationUpInItsDialogsAndSendsAFolder) {
    m_workspace = std::make_unique<StationWorkspace>(m_peer->port(), false);
    const QByteArray photo = m_workspace->addTransitFile(QStringLiteral("图片/现场照片 01.jpg"), 70000);
    for (const char *folder : {"upload", "records", "done"}) {
        TestFiles::makeFolder(m_workspace->path(QString::fromLatin1(folder)));
    }
    auto edit = [](QWidget *dialog, const char *name) {
        return dialog->findChild<QLineEdit *>(QLatin1String(name));
    };
    auto button = [](QWidget *dialog, const char *name) {
        return dialog->findChild<QAbstractButton *>(QLatin1String(name));
    };
    bool mapped = false;
    auto mapFolders = [&] {
        QWidget *dialog = QApplication::activeModalWidget();
        ASSERT_EQ(dialog->objectName(), QStringLiteral("innerPathDialog"));
        auto *list = dialog->findChild<QAbstractItemView *>(QStringLiteral("mappingList"));
        StationTest::clickRow(list, rowWithText(list, QStringLiteral("图片")));
        StationTest::typeInto(edit(dialog, "innerPathEdit"), QStringLiteral("d://图片/现场"));
        StationTest::typeInto(edit(dialog, "innerAddressEdit"), QStringLiteral("192.168.1.11:4321"));
        QTest::mouseClick(button(dialog, "modifyButton"), Qt::LeftButton);
        QTest::mouseClick(button(dialog, "okButton"), Qt::LeftButton);
        mapped = true;
    };
    bool configured = false;
    auto configure = [&] {
        QWidget *dialog = QApplication::activeModalWidget();
        ASSERT_EQ(dialog->objectName(), QStringLiteral("settingsDialog"));
        StationTest::typeInto(edit(dialog, "transitFolderEdit"),
                              m_workspace->path(QStringLiteral("transit/")));
        StationTest::typeInto(edit(dialog, "uploadFolderEdit"), m_workspace->path(QStringLiteral("upload/")));
        StationTest::typeInto(edit(dialog, "completionFolderEdit"),
                              m_workspace->path(QStringLiteral("done/")));
        StationTest::typeInto(edit(dialog, "recordFolderEdit"),
                              m_workspace->path(QStringLiteral("records/")));
        StationTest::typeInto(edit(dialog, "isolatorAddressEdit"), QStringLiteral("127.0.0.1"));
        StationTest::typeInto(edit(dialog, "isolatorPortEdit"), QString::number(m_peer->port()));
        QTest::mouseClick(button(dialog, "okButton"), Qt::LeftButton);
        configured = true;
    };
    // No settings file: the settings dialog comes up before the window.
    QTimer::singleShot(0, configure);
    openStation();
    ASSERT_TRUE(configured);
    EXPECT_TRUE(QFileInfo::exists(m_workspace->path(QStringLiteral("Berlvantis.ini"))));

    // The mapping is made from the settings command; the panes refresh afterwards.
    QTimer::singleShot(0, [&] {
        QWidget *dialog = QApplication::activeModalWidget();
        QTimer::singleShot(0, mapFolders);
        QTest::mouseClick(button(dialog, "innerPathButton"), Qt::LeftButton);
        QTest::mouseClick(button(dialog, "okButton"), Qt::LeftButton);
    });
    m_frame->menuAction(ID_SETTINGS)->trigger();
    ASSERT_TRUE(mapped);

    auto *folders = m_frame->findChild<CContentView *>(QStringLiteral("contentView"));
    doubleClickRow(folders, rowWithText(folders, QStringLiteral("图片")));
    m_frame->toolAction(ID_ADD_RECORD)->trigger();
    ASSERT_EQ(m_parts->table.rowCount(), 1)
        << (m_messages.notices.isEmpty() ? std::string() : m_messages.notices.first().text.toStdString());
    EXPECT_EQ(m_parts->table.cell(0, CellDestination), QStringLiteral("192.168.1.11:4321||d://图片/现场"));

    m_frame->toolAction(ID_START_UPLOAD)->trigger();
    ASSERT_TRUE(waitUntil([this] { return m_parts->upload.isStopped(); }, 30000));
    ASSERT_TRUE(waitUntil([this] { return m_stored == 1; }, 10000));
    EXPECT_EQ(statuses(), QStringList{kStatusComplete});
    EXPECT_EQ(
        storedByPeer(m_peerRoot.path() + QStringLiteral("/192.168.1.11_4321/d/图片/现场/现场照片 01.jpg")),
        photo);
}

// The README's steps in the order a new operator may take them: the first-start settings cancelled, the
// settings made later (with the slips of a first try), the filter written only after that, then the
// queue filled from the keyboard and sent. Every slip is answered, and sent files leave the upload folder.
TEST_F(StationEndToEnd, ACancelledFirstStartSetUpLaterEndsWithFilesSentAndTheUploadFolderEmpty) {
    m_workspace = std::make_unique<StationWorkspace>(m_peer->port(), false);
    QFile::remove(m_workspace->path(QStringLiteral("Brelvantis.filter")));
    const QByteArray photo = m_workspace->addTransitFile(QStringLiteral("图片/现场照片.jpg"), 70000);
    const QByteArray notes = m_workspace->addTransitFile(QStringLiteral("图片/说明.txt"), 3000);
    m_workspace->addTransitFile(QStringLiteral("图片/setup.exe"), 100);
    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    openStation();

    auto *folders = m_frame->findChild<CContentView *>(QStringLiteral("contentView"));
    auto *files = m_frame->findChild<CDriveExplorerView *>(QStringLiteral("driveExplorerView"));
    auto *table = m_frame->findChild<CTableView *>(CTableView::kObjectName);
    ASSERT_FALSE(m_frame->isConfigured());
    EXPECT_TRUE(folders->hint().contains(QStringLiteral("软件设置")));
    auto *notice = m_frame->findChild<QLabel *>(QStringLiteral("statusNoticeText"));
    EXPECT_EQ(notice->text(), folders->hint());
    // Each command refuses with the message it has always given in that state, the hint beneath it.
    m_frame->toolAction(ID_ADD_RECORD)->trigger();
    m_frame->toolAction(ID_DELETE_RECORD)->trigger();
    emit files->fileActivated(QStringLiteral("说明.txt"));
    m_frame->toolAction(ID_START_UPLOAD)->trigger();
    const QString hint = folders->hint();
    EXPECT_EQ(m_messages.notices.size(), 4);
    EXPECT_EQ(m_messages.notices.value(0).text,
              QStringLiteral("请确认中转目录下的当前子文件夹已双击选中。\n") + hint);
    EXPECT_EQ(m_messages.notices.value(1).text,
              QStringLiteral("未选中文件。请选择文件后再点击删除按钮。\n") + hint);
    EXPECT_EQ(m_messages.notices.value(2).text,
              QStringLiteral("确认中转目录下的当前子文件夹已双击选中\n") + hint);
    EXPECT_EQ(m_messages.notices.value(3).text, hint);
    EXPECT_EQ(hint, QStringLiteral("尚未完成软件设置：请点击菜单“操作 → 软件设置”或工具栏上的“配置”按钮，"
                                   "填写各目录、隔离器地址和端口以及允许上传的文件类型。"));
    EXPECT_TRUE(m_parts->upload.isStopped());
    EXPECT_TRUE(m_parts->log.path().isEmpty()) << "no log before there is a record folder";

    // First try: a blank before the address and no file types. Second: fixed; the record folder is
    // typed without its separator.
    QStringList refusals;
    std::function<void(const QString &, const QString &)> configure = [&](const QString &address,
                                                                          const QString &types) {
        QWidget *dialog = QApplication::activeModalWidget();
        ASSERT_EQ(dialog->objectName(), QStringLiteral("settingsDialog"));
        const auto edit = [dialog](const char *name) {
            return dialog->findChild<QLineEdit *>(QLatin1String(name));
        };
        StationTest::typeInto(edit("transitFolderEdit"), m_workspace->path(QStringLiteral("transit/")));
        StationTest::typeInto(edit("uploadFolderEdit"), m_workspace->path(QStringLiteral("upload/")));
        StationTest::typeInto(edit("completionFolderEdit"), m_workspace->path(QStringLiteral("done/")));
        StationTest::typeInto(edit("recordFolderEdit"), m_workspace->path(QStringLiteral("records")));
        StationTest::typeInto(edit("isolatorAddressEdit"), address);
        StationTest::typeInto(edit("isolatorPortEdit"), QString::number(m_peer->port()));
        StationTest::typeInto(edit("allowedTypesEdit"), types);
        dialog->findChild<QAbstractButton *>(QStringLiteral("okButton"))->click();
        for (const Notice &notice : std::as_const(m_messages.notices)) {
            refusals << notice.text;
        }
        m_messages.notices.clear();
        if (dialog->isVisible()) {
            QTimer::singleShot(0, [&] { configure(QStringLiteral(" 127.0.0.1"), QStringLiteral("txt")); });
        }
    };
    m_messages.notices.clear();
    QTimer::singleShot(0, [&] { configure(QStringLiteral("127.0.0.1:17001"), QString()); });
    m_frame->menuAction(ID_SETTINGS)->trigger();
    ASSERT_TRUE(m_frame->isConfigured()) << refusals.join(u'\n').toStdString();
    ASSERT_EQ(refusals.size(), 1);
    EXPECT_TRUE(refusals[0].contains(QStringLiteral("隔离器地址")));
    EXPECT_TRUE(folders->hint().isEmpty());
    EXPECT_EQ(m_parts->settings.isolatorAddress, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(m_parts->log.path(), m_workspace->path(QStringLiteral("records/")) +
                                       m_parts->clock->dateText() + QStringLiteral(".xls"));

    // The mapping, then the filter rewritten as brelvantis-filter does: the window refresh takes it.
    TestFiles::write(m_workspace->path(QStringLiteral("Brelvantis.path")),
                     *Cp936::encode(QStringLiteral("|图片*d://图片>192.168.1.11:4321|")));
    ASSERT_EQ(FileTypeFilter(m_workspace->path(QStringLiteral("Brelvantis.filter")))
                  .write(QStringLiteral("jpg:"))
                  .outcome,
              FileTypeFilter::WriteResult::Outcome::Written);
    m_frame->menuAction(ID_REFRESH)->trigger();
    EXPECT_TRUE(m_parts->filter.permits(QStringLiteral("a.jpg")));

    // Enter on a file queues it; 添加记录 queues the rest and says what it skipped.
    doubleClickRow(folders, rowWithText(folders, QStringLiteral("图片")));
    files->setFocus();
    files->setCurrentCell(rowWithText(files, QStringLiteral("现场照片.jpg")), 0);
    QTest::keyClick(files, Qt::Key_Return);
    ASSERT_EQ(m_parts->table.rowCount(), 1);
    files->setCurrentCell(rowWithText(files, QStringLiteral("setup.exe")), 0);
    QTest::keyClick(files, Qt::Key_Return);
    ASSERT_EQ(m_messages.notices.size(), 1);
    EXPECT_TRUE(m_messages.notices[0].text.startsWith(QStringLiteral("不能上传该类型文件！\n")));
    m_frame->menuAction(ID_ADD_RECORD)->trigger();
    EXPECT_EQ(m_parts->table.rowCount(), 1);
    EXPECT_TRUE(notice->text().contains(QStringLiteral("类型不允许 2 个"))) << notice->text().toStdString();

    // Delete on a selected record deletes it: the file goes back to its subfolder.
    ASSERT_EQ(FileTypeFilter(m_workspace->path(QStringLiteral("Brelvantis.filter")))
                  .write(QStringLiteral("jpg:txt:"))
                  .outcome,
              FileTypeFilter::WriteResult::Outcome::Written);
    m_frame->menuAction(ID_REFRESH)->trigger();
    m_frame->menuAction(ID_ADD_RECORD)->trigger();
    ASSERT_EQ(m_parts->table.rowCount(), 2);
    StationTest::clickRow(table, rowWithText(table, QStringLiteral("说明.txt"), CellFileName));
    QTest::keyClick(table, Qt::Key_Delete);
    ASSERT_EQ(m_parts->table.rowCount(), 1);
    EXPECT_EQ(TestFiles::read(m_workspace->path(QStringLiteral("transit/图片/说明.txt"))), notes);

    m_frame->toolAction(ID_START_UPLOAD)->trigger();
    ASSERT_TRUE(waitUntil([this] { return m_parts->upload.isStopped(); }, 30000));
    EXPECT_EQ(statuses(), QStringList{kStatusComplete});
    EXPECT_EQ(storedByPeer(m_peerRoot.path() + QStringLiteral("/192.168.1.11_4321/d/图片/现场照片.jpg")),
              photo);
    EXPECT_TRUE(waitUntil([this] { return uploadFolderIsEmpty(); }, 10000));
    EXPECT_EQ(TestFiles::read(m_workspace->path(QStringLiteral("done/") + m_parts->clock->dateText() +
                                                QStringLiteral("/现场照片.jpg"))),
              photo);
}

// The system's clock, some days back: a station that ran on an earlier day.
class EarlierClock : public Clock {
public:
    QDateTime now() const override { return Clock::now().addDays(-3); }
};

// What an operator is asked days later: did the file go, where to, and is what arrived what was sent?
TEST_F(StationEndToEnd, AFileSentOnAnEarlierDayIsFoundInTheHistoryWindowAndByTheTool) {
    const QByteArray contract = m_workspace->addTransitFile(QStringLiteral("报表/合同2026-11.pdf"), 150000);
    openStation(std::make_unique<EarlierClock>());
    auto *folders = m_frame->findChild<CContentView *>(QStringLiteral("contentView"));
    doubleClickRow(folders, rowWithText(folders, QStringLiteral("报表")));
    m_frame->toolAction(ID_ADD_RECORD)->trigger();
    m_frame->toolAction(ID_START_UPLOAD)->trigger();
    ASSERT_TRUE(waitUntil([this] { return m_parts->upload.isStopped() && m_stored == 1; }, 30000));
    const QString sha256 =
        QString::fromLatin1(QCryptographicHash::hash(contract, QCryptographicHash::Sha256).toHex());
    const QString day = m_parts->clock->dateText();
    ASSERT_NE(day, Clock().dateText());

    m_frame->menuAction(ID_VIEW_HISTORY)->trigger();
    CHistoryDlg *history = m_frame->historyWindow();
    ASSERT_NE(history, nullptr);
    QTest::keyClicks(history->findChild<QLineEdit *>(QStringLiteral("searchEdit")),
                     QStringLiteral("2026-11.PDF"));
    auto *results = history->findChild<QTableView *>(QStringLiteral("searchResults"));
    ASSERT_TRUE(waitUntil([results] { return results->model()->rowCount() == 1; }, 30000));
    const QStringList expected{day, kStatusComplete, QStringLiteral("合同2026-11.pdf"),
                               QStringLiteral("192.168.1.10:4321||d://报表"), sha256};
    QStringList shown;
    for (int column = 0; column < results->model()->columnCount(); ++column) {
        shown << results->model()->index(0, column).data().toString();
    }
    for (const QString &text : expected) {
        EXPECT_TRUE(shown.contains(text))
            << text.toStdString() << " not in " << shown.join(u'|').toStdString();
    }

    QProcess tool;
    tool.start(
        QStringLiteral(BRELVANTIS_BIN_DIR "/brelvantis-log"),
        {QStringLiteral("find"), sha256.left(16), QStringLiteral("--workdir"), m_workspace->dir.path()});
    ASSERT_TRUE(tool.waitForFinished(60000));
    EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    const QStringList lines =
        QString::fromUtf8(tool.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines.at(1).startsWith(day + u'\t')) << lines.at(1).toStdString();
    EXPECT_TRUE(lines.at(1).endsWith(u'\t' + sha256)) << lines.at(1).toStdString();
}

TEST_F(StationEndToEnd, ARefusedConnectionIsAFaultThatTheNextTickRetries) {
    m_workspace->addTransitFile(QStringLiteral("报表/a.txt"), 5000);
    m_peer->stop(); // nobody listens on the configured port any more
    openStation();
    m_parts->upload.setStopGraceMs(100);
    ASSERT_TRUE(m_parts->queue.addRecord(QStringLiteral("报表")).succeeded);
    ASSERT_EQ(m_parts->table.rowCount(), 1);

    // The row is 正在上传 only for the instant a refused connect takes, so count the events instead.
    int starts = 0;
    int faults = 0;
    QObject::connect(&m_parts->upload, &UploadController::rowEvent, m_frame.get(),
                     [&](TransferScheduler::Event event, int, const TransferOutcome &) {
                         starts += event == TransferScheduler::Event::Started ? 1 : 0;
                         faults += event == TransferScheduler::Event::Failed ? 1 : 0;
                     });
    m_frame->OnStartUpload();
    ASSERT_TRUE(waitUntil([&] { return faults >= 1; }, 15000));
    EXPECT_EQ(statuses(), QStringList{kStatusFault});
    ASSERT_TRUE(waitUntil([&] { return starts >= 2; }, 15000));
    EXPECT_FALSE(m_parts->upload.isStopped());

    m_frame->OnStopUpload();
    EXPECT_TRUE((m_parts->upload.state() == UploadState::Stopping));
    ASSERT_TRUE(waitUntil([this] { return m_parts->upload.isStopped(); }, 5000));
    EXPECT_TRUE(m_frame->toolAction(ID_START_UPLOAD)->isVisible());
}

// An isolator that reads the header and never acknowledges; the station starts sending a.txt to it.
std::unique_ptr<IsolatorServer> StationEndToEnd::startAgainstAMutePeer() {
    m_peer->stop();
    IsolatorOptions silent;
    silent.listenPort = 0;
    silent.root = m_peerRoot.path();
    silent.neverAnswer = true;
    auto mute = std::make_unique<IsolatorServer>(silent);
    QString error;
    EXPECT_TRUE(mute->start(&error)) << error.toStdString();
    m_workspace = std::make_unique<StationWorkspace>(mute->port());
    m_workspace->addTransitFile(QStringLiteral("报表/a.txt"), 5000);
    openStation();
    EXPECT_TRUE(m_parts->queue.addRecord(QStringLiteral("报表")).succeeded);
    m_frame->OnStartUpload();
    EXPECT_TRUE(waitUntil([this] { return m_parts->job.running.load(); }, 5000));
    return mute;
}

TEST_F(StationEndToEnd, StopDuringAHungAcknowledgementEndsStoppedWithinTheGrace) {
    const auto mute = startAgainstAMutePeer();
    m_parts->upload.setStopGraceMs(200);
    m_frame->OnStopUpload();
    EXPECT_EQ(statuses(), QStringList{kStatusStopped});
    m_parts->upload.OnTimer(); // a tick in the grace restarts nothing
    EXPECT_EQ(statuses(), QStringList{kStatusStopped});
    ASSERT_TRUE(waitUntil([this] { return m_parts->upload.isStopped(); }, 5000));
    EXPECT_FALSE(m_parts->job.running.load()) << "the hung transfer is cut when the grace ends";
    EXPECT_EQ(statuses(), QStringList{kStatusStopped});
}

// With the content check on, a double-clicked file is checked on another thread: the window says so,
// refuses the same file meanwhile, and then refuses a disguised program or queues a good file.
TEST_F(StationEndToEnd, AQueuedFileIsCheckedOffTheWindowThread) {
    TestFiles::write(m_workspace->path(QStringLiteral("transit/报表/伪装.txt")),
                     TestFiles::read(QCoreApplication::applicationFilePath()).left(8192));
    TestFiles::write(m_workspace->path(QStringLiteral("transit/报表/good.txt")), "季度报告\n");
    openStation();
    m_parts->settings.checkContent = QStringLiteral("1"); // counts from the next command, unsaved
    auto *folders = m_frame->findChild<CContentView *>(QStringLiteral("contentView"));
    auto *files = m_frame->findChild<CDriveExplorerView *>(QStringLiteral("driveExplorerView"));
    doubleClickRow(folders, rowWithText(folders, QStringLiteral("报表")));

    auto *notice = m_frame->findChild<QLabel *>(QStringLiteral("statusNoticeText"));
    emit files->fileActivated(QStringLiteral("伪装.txt"));
    EXPECT_EQ(notice->text(), QStringLiteral("正在检查 伪装.txt…"));
    emit files->fileActivated(QStringLiteral("伪装.txt"));
    EXPECT_EQ(notice->text(), QStringLiteral("“伪装.txt”正在检查，请等检查结束后再添加。"));
    ASSERT_TRUE(waitUntil([this] { return !m_messages.notices.isEmpty(); }, 10000));
    EXPECT_EQ(m_messages.notices.size(), 1);
    EXPECT_EQ(m_messages.notices.last().text,
              QStringLiteral("不能上传该类型文件！\n内容是 ELF 可执行程序，与扩展名 .txt 不符"));
    EXPECT_TRUE(QFileInfo::exists(m_workspace->path(QStringLiteral("transit/报表/伪装.txt"))));

    emit files->fileActivated(QStringLiteral("good.txt"));
    ASSERT_TRUE(waitUntil([this] { return m_parts->table.rowCount() == 1; }, 10000));
    EXPECT_EQ(m_parts->table.cell(0, CellFileName), QStringLiteral("good.txt"));
    EXPECT_EQ(files->rowCount(), 1) << "the file list follows";
}

// While a.txt is sent, files are queued below it; its row refuses deletion, and the stop finds it after a
// row has moved above it.
TEST_F(StationEndToEnd, FilesAreQueuedWhileAFileIsSentAndItsRowStaysPut) {
    const auto mute = startAgainstAMutePeer();
    m_workspace->addTransitFile(QStringLiteral("报表/b.txt"), 100);
    m_workspace->addTransitFile(QStringLiteral("报表/c.txt"), 100);
    auto *folders = m_frame->findChild<CContentView *>(QStringLiteral("contentView"));
    auto *files = m_frame->findChild<CDriveExplorerView *>(QStringLiteral("driveExplorerView"));
    auto *table = m_frame->findChild<CTableView *>(CTableView::kObjectName);
    doubleClickRow(folders, rowWithText(folders, QStringLiteral("报表")));
    doubleClickRow(files, rowWithText(files, QStringLiteral("b.txt")));
    ASSERT_TRUE(m_frame->toolAction(ID_ADD_RECORD)->isVisible());
    m_frame->toolAction(ID_ADD_RECORD)->trigger();
    EXPECT_EQ(statuses(), (QStringList{kStatusUploading, kStatusReady, kStatusReady}));
    EXPECT_TRUE(m_messages.notices.isEmpty());

    StationTest::clickRow(table, 0);
    m_frame->toolAction(ID_DELETE_RECORD)->trigger();
    ASSERT_EQ(m_messages.notices.size(), 1);
    EXPECT_EQ(m_messages.notices.last().text, QStringLiteral("该文件正在上传，不能删除。请先停止上传。"));
    EXPECT_EQ(m_parts->table.rowCount(), 3);

    ASSERT_EQ(m_parts->queue.moveUp(1), 0);
    m_parts->upload.setStopGraceMs(100);
    m_frame->OnStopUpload();
    EXPECT_EQ(statuses(), (QStringList{kStatusReady, kStatusStopped, kStatusReady}));
    EXPECT_EQ(m_parts->table.cell(1, CellFileName), QStringLiteral("a.txt"));
    ASSERT_TRUE(waitUntil([this] { return m_parts->upload.isStopped(); }, 5000));
}

// Exit confirmed while the worker waits on an isolator that never answers: the worker is abandoned
// and joined at once, and the log on disk stays whole.
TEST_F(StationEndToEnd, ExitDuringAnUploadEndsTheWorkerCleanly) {
    const auto mute = startAgainstAMutePeer();
    QString error;
    m_messages.answer = true;
    QElapsedTimer clock;
    clock.start();
    m_frame->menuAction(ID_APP_EXIT)->trigger();
    EXPECT_TRUE(m_frame->isExitConfirmed());
    ASSERT_FALSE(m_messages.questions.isEmpty());
    EXPECT_TRUE(m_messages.questions.last().contains(QStringLiteral("正在上传“a.txt”")))
        << "the question names the file";
    EXPECT_FALSE(m_parts->job.running.load());
    EXPECT_LT(clock.elapsed(), 3000);
    Xls::Rows logged;
    ASSERT_TRUE(Xls::readWorksheet(m_parts->log.path(), QStringLiteral("Sheet1"), &logged, &error))
        << error.toStdString();
    EXPECT_EQ(logged.value(1).value(CellStatus), kStatusUploading);
    m_frame.reset();
    mute->stop();
}

// An automatic subfolder with uploading on at start: a complete file goes to the isolator by itself, one
// of a type not allowed stays in the transit folder, journalled and said in the status bar.
TEST_F(StationEndToEnd, AnAutomaticSubfolderSendsItsFilesByThemselvesAndSaysWhatItRefuses) {
    const SettingsStore store(m_workspace->path(QStringLiteral("Berlvantis.ini")));
    SettingsRecord settings;
    ASSERT_TRUE(store.load(settings));
    settings.autoFolders = {QStringLiteral("报表")};
    settings.settleSeconds = QStringLiteral("1");
    settings.startUploading = QStringLiteral("1");
    ASSERT_EQ(store.save(settings).outcome, SettingsStore::SaveResult::Outcome::Saved);
    const QByteArray report = m_workspace->addTransitFile(QStringLiteral("报表/月报.txt"), 5000);
    m_workspace->addTransitFile(QStringLiteral("报表/安装.exe"), 10);
    openStation();

    ASSERT_TRUE(waitUntil([this] { return m_stored == 1; }, 30000)) << statuses().join(u' ').toStdString();
    EXPECT_EQ(storedByPeer(arrived(QStringLiteral("192.168.1.10_4321"), QStringLiteral("报表"),
                                   QStringLiteral("月报.txt"))),
              report);
    EXPECT_EQ(m_parts->table.rowCount(), 1);
    EXPECT_TRUE(QFileInfo::exists(m_workspace->path(QStringLiteral("transit/报表/安装.exe"))));
    const QString reason =
        QStringLiteral("不能上传该类型文件！ “安装.exe”的类型：exe；允许上传的类型：txt、pdf、jpg");
    EXPECT_EQ(m_frame->findChild<QLabel *>(QStringLiteral("statusNoticeText"))->text(),
              QStringLiteral("“报表”中的“安装.exe”未自动加入队列：") + reason);
    QList<QStringList> lines;
    Failure failure;
    ASSERT_TRUE(DayJournal::readFile(m_parts->dayJournal.path(), &lines, &failure));
    QStringList refusals;
    for (const QStringList &line : std::as_const(lines)) {
        if (line.at(1) == QStringLiteral("拒绝")) {
            refusals << line.at(2) + QLatin1Char(' ') + line.at(5);
        }
    }
    EXPECT_EQ(refusals, QStringList{QStringLiteral("安装.exe ") + reason});

    // The drained queue ended the upload; uploading is still on, so the next file starts it again. After
    // 停止上传 a new file waits in the queue for 开始上传.
    ASSERT_TRUE(waitUntil([this] { return m_parts->upload.isStopped(); }, 30000));
    m_workspace->addTransitFile(QStringLiteral("报表/周报.txt"), 100);
    ASSERT_TRUE(waitUntil([this] { return m_stored == 2; }, 30000)) << statuses().join(u' ').toStdString();
    ASSERT_TRUE(waitUntil([this] { return m_parts->upload.isStopped(); }, 30000));
    EXPECT_TRUE(m_frame->menuAction(ID_STOP_UPLOAD)->isEnabled()) << "uploading is still on";
    EXPECT_FALSE(m_frame->menuAction(ID_START_UPLOAD)->isEnabled());
    EXPECT_EQ(m_frame->findChild<QLabel *>(QStringLiteral("uploadStatusText"))->text(),
              QStringLiteral("空闲：等待自动上传的文件（上传队列已发送完毕，本次共发送 1 个文件）"));
    m_frame->OnStopUpload();
    EXPECT_TRUE(m_frame->menuAction(ID_START_UPLOAD)->isEnabled());
    m_workspace->addTransitFile(QStringLiteral("报表/日报.txt"), 100);
    ASSERT_TRUE(waitUntil([this] { return m_parts->table.rowCount() == 3; }, 30000));
    EXPECT_TRUE(m_parts->upload.isStopped());
    EXPECT_EQ(m_parts->table.cell(2, CellStatus), kStatusReady);
}

} // namespace
