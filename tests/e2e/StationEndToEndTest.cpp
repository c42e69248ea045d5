#include "StationTestBench.h"

#include "IsolatorServer.h"
#include "app/CMainFrame.h"
#include "core/common/CommandIds.h"
#include "core/records/UploadRecord.h"
#include "core/station/StationParts.h"
#include "core/xls/Workbook.h"
#include "gui/views/CContentView.h"
#include "gui/views/CDriveExplorerView.h"
#include "gui/views/CTableView.h"
#include "support/TestFiles.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
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
        m_peer = std::make_unique<IsolatorServer>(options);
        QString error;
        ASSERT_TRUE(m_peer->start(&error)) << error.toStdString();
        m_workspace = std::make_unique<StationWorkspace>(m_peer->port());
    }

    void openStation() {
        m_parts = std::make_unique<StationParts>(m_workspace->dir.path(), nullptr, m_job);
        m_parts->filter.load();
        m_frame = std::make_unique<CMainFrame>(*m_parts);
        m_frame->OnCreate();
        m_frame->OnInitialUpdates();
        m_frame->resize(1400, 800);
        m_frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_frame.get()));
        m_frame->timer()->setInterval(40); // ticks every 2 s in service; the test need not wait that long
    }

    QStringList statuses() const {
        QStringList all;
        for (int row = 0; row < m_parts->table.rowCount(); ++row) {
            all << m_parts->table.cell(row, CellStatus);
        }
        return all;
    }

    QString arrived(const QString &address, const QString &folder, const QString &name) const {
        return m_peerRoot.path() + QStringLiteral("/%1/d/%2/%3").arg(address, folder, name);
    }

    QTemporaryDir m_peerRoot;
    std::unique_ptr<IsolatorServer> m_peer;
    std::unique_ptr<StationWorkspace> m_workspace;
    TransferJob m_job;
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

    auto *folders = m_frame->document().m_pContentView;
    auto *files = m_frame->document().m_pDriveExplorerView;
    auto *table = m_frame->document().m_pTableView;
    doubleClickRow(folders, rowWithText(folders, QStringLiteral("报表")));
    ASSERT_EQ(m_frame->m_strCurrentDir, QStringLiteral("报表"));
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
    EXPECT_FALSE(m_frame->m_bUploadStopped);
    EXPECT_FALSE(m_frame->toolAction(ID_ADD_RECORD)->isVisible());
    ASSERT_TRUE(waitUntil([this] { return m_frame->m_bUploadStopped; }, 30000))
        << statuses().join(u' ').toStdString();

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
    // Sent files stay in the upload folder.
    EXPECT_TRUE(QFileInfo::exists(m_workspace->path(QStringLiteral("upload/季度报告.txt"))));

    Xls::Rows logged;
    QString error;
    ASSERT_TRUE(Xls::readWorksheet(m_parts->log.path(), QStringLiteral("Sheet1"), &logged, &error))
        << error.toStdString();
    ASSERT_EQ(logged.size(), 4);
    for (int row = 1; row < 4; ++row) {
        EXPECT_EQ(logged[row].value(CellStatus), kStatusComplete);
        EXPECT_EQ(logged[row].value(CellFinishTime), m_parts->table.cell(row - 1, CellFinishTime));
    }
    EXPECT_EQ(m_frame->m_wndProgress->value(), 100);
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

    auto *folders = m_frame->document().m_pContentView;
    doubleClickRow(folders, rowWithText(folders, QStringLiteral("图片")));
    m_frame->toolAction(ID_ADD_RECORD)->trigger();
    ASSERT_EQ(m_parts->table.rowCount(), 1)
        << (m_messages.notices.isEmpty() ? std::string() : m_messages.notices.first().text.toStdString());
    EXPECT_EQ(m_parts->table.cell(0, CellDestination), QStringLiteral("192.168.1.11:4321||d://图片/现场"));

    m_frame->toolAction(ID_START_UPLOAD)->trigger();
    ASSERT_TRUE(waitUntil([this] { return m_frame->m_bUploadStopped; }, 30000));
    EXPECT_EQ(statuses(), QStringList{kStatusComplete});
    EXPECT_EQ(
        storedByPeer(m_peerRoot.path() + QStringLiteral("/192.168.1.11_4321/d/图片/现场/现场照片 01.jpg")),
        photo);
}

TEST_F(StationEndToEnd, ARefusedConnectionIsAFaultThatTheNextTickRetries) {
    m_workspace->addTransitFile(QStringLiteral("报表/a.txt"), 5000);
    m_peer->stop(); // nobody listens on the configured port any more
    openStation();
    m_frame->setStopGraceMs(100);
    ASSERT_TRUE(m_frame->queue().AddRecord(QStringLiteral("报表")).succeeded);
    ASSERT_EQ(m_parts->table.rowCount(), 1);

    m_frame->OnStartUpload();
    ASSERT_TRUE(waitUntil([this] { return statuses() == QStringList{kStatusFault}; }, 15000));
    ASSERT_TRUE(waitUntil([this] { return statuses() == QStringList{kStatusUploading}; }, 15000));
    EXPECT_FALSE(m_frame->m_bUploadStopped);

    m_frame->OnStopUpload();
    EXPECT_TRUE(m_frame->isStopPending());
    ASSERT_TRUE(waitUntil([this] { return m_frame->m_bUploadStopped; }, 5000));
    EXPECT_TRUE(m_frame->toolAction(ID_START_UPLOAD)->isVisible());
}

// Exit confirmed while the worker waits on an isolator that never answers: the worker is abandoned
// and joined at once, and the log on disk stays whole.
TEST_F(StationEndToEnd, ExitDuringAnUploadEndsTheWorkerCleanly) {
    m_peer->stop();
    IsolatorOptions silent;
    silent.listenPort = 0;
    silent.root = m_peerRoot.path();
    silent.neverAnswer = true;
    IsolatorServer mute(silent);
    QString error;
    ASSERT_TRUE(mute.start(&error)) << error.toStdString();
    m_workspace = std::make_unique<StationWorkspace>(mute.port());
    m_workspace->addTransitFile(QStringLiteral("报表/a.txt"), 5000);
    openStation();
    ASSERT_TRUE(m_frame->queue().AddRecord(QStringLiteral("报表")).succeeded);
    m_frame->OnStartUpload();
    ASSERT_TRUE(waitUntil([this] { return m_job.bRunning.load(); }, 5000));

    m_messages.answer = true;
    QElapsedTimer clock;
    clock.start();
    m_frame->menuAction(ID_APP_EXIT)->trigger();
    EXPECT_TRUE(m_frame->m_bExitConfirmed);
    EXPECT_FALSE(m_job.bRunning.load());
    EXPECT_LT(clock.elapsed(), 3000);
    Xls::Rows logged;
    ASSERT_TRUE(Xls::readWorksheet(m_parts->log.path(), QStringLiteral("Sheet1"), &logged, &error))
        << error.toStdString();
    EXPECT_EQ(logged.value(1).value(CellStatus), kStatusUploading);
    m_frame.reset();
    mute.stop();
}

} // namespace
