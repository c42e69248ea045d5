#include "app/CMainFrame.h"
#include "app/CBrelvantisApp.h"
#include "app/WindowMemory.h"
#include "core/common/CommandIds.h"
#include "core/records/DayJournal.h"
#include "core/records/UploadRecord.h"
#include "core/station/StationParts.h"
#include "gui/dialogs/CHistoryDlg.h"
#include "gui/views/CTableView.h"
#include "gui/widgets/OperatorMessages.h"
#include "gui/widgets/StatusLabel.h"
#include "support/RecordingResponder.h"

#include <QAction>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QSettings>
#include <QSignalSpy>
#include <QSplitter>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <gtest/gtest.h>

namespace {

class MainFrameTest : public ::testing::Test {
protected:
    MainFrameTest() : m_parts(m_dir.path()), m_frame(m_parts) {
        // The day's log goes to the temporary folder, not the working directory.
        SettingsRecord settings;
        settings.completionFolder = settings.transitFolder = settings.uploadFolder = settings.recordFolder =
            m_dir.path() + QLatin1Char('/');
        m_parts.settingsStore.save(settings);
        m_frame.OnCreate();
        m_frame.OnInitialUpdates();
        m_frame.resize(1200, 700);
        m_frame.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&m_frame));
    }

    template <typename Widget> Widget *child(const char *name) const {
        return m_frame.findChild<Widget *>(QLatin1String(name));
    }

    // A command is available when its menu item is enabled and its toolbar button shown.
    bool available(int id) const {
        return m_frame.menuAction(id)->isEnabled() && m_frame.toolAction(id)->isVisible();
    }

    RecordingResponder m_answers;
    QTemporaryDir m_dir;
    StationParts m_parts;
    CMainFrame m_frame;
};

TEST_F(MainFrameTest, CaptionMenuAndToolbarReadAsTheOperatorKnowsThem) {
    EXPECT_EQ(m_frame.windowTitle(), QStringLiteral("Vellorix900 外网上传软件 - Brelvantis"));
    QStringList menus;
    for (QAction *menu : m_frame.menuBar()->actions()) {
        menus << menu->text();
    }
    EXPECT_EQ(menus, (QStringList{QStringLiteral("文件(&F)"), QStringLiteral("查看(&V)"),
                                  QStringLiteral("操作(&E)"), QStringLiteral("帮助(&H)")}));
    QStringList operations;
    for (QAction *item : m_frame.menuBar()->actions()[2]->menu()->actions()) {
        operations << (item->isSeparator() ? QStringLiteral("-") : item->text());
    }
    EXPECT_EQ(
        operations,
        (QStringList{QStringLiteral("-"), QStringLiteral("软件设置(&C)"), QStringLiteral("-"),
                     QStringLiteral("窗口刷新(&R)"), QStringLiteral("-"), QStringLiteral("开始上传(&S)"),
                     QStringLiteral("停止上传(&T)"), QStringLiteral("-"), QStringLiteral("记录上移(&U)"),
                     QStringLiteral("记录下移(&D)"), QStringLiteral("删除记录(&L)"),
                     QStringLiteral("添加记录(&A)"), QStringLiteral("-"), QStringLiteral("立即重试(&N)")}));
    // In the menu bar and in every menu an access key leads to one item only; a tab in an item's text
    // would hide its shortcut.
    QList<QList<QAction *>> menuLists{m_frame.menuBar()->actions()};
    for (QAction *menu : m_frame.menuBar()->actions()) {
        menuLists.append(menu->menu()->actions());
    }
    for (const QList<QAction *> &items : std::as_const(menuLists)) {
        QSet<QChar> keys;
        for (const QAction *item : items) {
            const qsizetype amp = item->text().indexOf(QLatin1Char('&'));
            if (amp >= 0) {
                EXPECT_FALSE(keys.contains(item->text().at(amp + 1).toUpper())) << item->text().toStdString();
                keys.insert(item->text().at(amp + 1).toUpper());
            }
            EXPECT_FALSE(!item->shortcut().isEmpty() && item->text().contains(QLatin1Char('\t')));
        }
    }

    QStringList tips;
    for (QAction *button : child<QToolBar>("mainToolBar")->actions()) {
        if (!button->isSeparator() && button->data().isValid()) {
            tips << button->toolTip();
            EXPECT_EQ(child<QToolBar>("mainToolBar")->widgetForAction(button)->size().width() >= 55, true);
        }
    }
    EXPECT_EQ(
        tips,
        (QStringList{QStringLiteral("开始上传"), QStringLiteral("停止上传"), QStringLiteral("上移记录"),
                     QStringLiteral("下移记录"), QStringLiteral("添加记录"), QStringLiteral("删除记录"),
                     QStringLiteral("刷新中转文件夹"), QStringLiteral("配置"), QStringLiteral("历史记录")}));
    // The progress bar lives in the toolbar, so it moves and hides with it.
    EXPECT_TRUE(child<QToolBar>("mainToolBar")->isAncestorOf(child<QProgressBar>("uploadProgress")));
    EXPECT_EQ(child<QProgressBar>("uploadProgress")->minimum(), 0);
    EXPECT_EQ(child<QProgressBar>("uploadProgress")->maximum(), 100);
    m_frame.menuAction(ID_VIEW_TOOLBAR)->trigger();
    EXPECT_FALSE(child<QProgressBar>("uploadProgress")->isVisible());
    // The status bar's progress and text stay for the operator who hid the toolbar.
    EXPECT_TRUE(child<QProgressBar>("statusProgress")->isVisible());
    EXPECT_EQ(child<QLabel>("uploadStatusText")->text(), QStringLiteral("空闲：未在上传"));
    m_frame.menuAction(ID_VIEW_TOOLBAR)->trigger();
    EXPECT_TRUE(child<QProgressBar>("uploadProgress")->isVisible());

    // 查看 → 历史记录 opens the one history window, also while uploading.
    QAction *history = m_frame.menuAction(ID_VIEW_HISTORY);
    ASSERT_NE(history, nullptr);
    EXPECT_EQ(history->text(), QStringLiteral("历史记录(&H)..."));
    EXPECT_TRUE(m_frame.menuBar()->actions()[1]->menu()->actions().contains(history));
    m_frame.OnStartUpload();
    EXPECT_TRUE(available(ID_VIEW_HISTORY));
    m_frame.toolAction(ID_VIEW_HISTORY)->trigger();
    history->trigger();
    ASSERT_NE(m_frame.historyWindow(), nullptr);
    EXPECT_TRUE(m_frame.historyWindow()->isVisible());
    EXPECT_EQ(m_frame.findChildren<CHistoryDlg *>().size(), 1);
    m_frame.historyWindow()->close();
    m_frame.OnStopUpload();

    // 帮助 → 使用说明 (F1) shows the manual the program carries.
    QAction *manual = m_frame.findChild<QAction *>(QStringLiteral("manualAction"));
    ASSERT_NE(manual, nullptr);
    EXPECT_EQ(manual->shortcut(), QKeySequence(QKeySequence::HelpContents));
    manual->trigger();
    auto *text = m_frame.findChild<QTextBrowser *>(QStringLiteral("manualText"));
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->toPlainText().startsWith(QStringLiteral("使用说明")));
    EXPECT_TRUE(text->toPlainText().contains(QStringLiteral("暂停开始新的发送")));
}

TEST_F(MainFrameTest, PanesKeepTheirProportionsAndTheOperatorsSplitterPositions) {
    for (const QSize size : {QSize(1200, 700), QSize(900, 600)}) {
        m_frame.resize(size);
        QTest::qWait(20);
        const QList<int> outer = child<QSplitter>("outerSplitter")->sizes();
        const int width = child<QSplitter>("outerSplitter")->width();
        EXPECT_NEAR(outer[0], 2 * width / 3, 8) << size.width();
        const QList<int> inner = child<QSplitter>("rightSplitter")->sizes();
        const int height = child<QSplitter>("rightSplitter")->height();
        EXPECT_NEAR(inner[0], 2 * height / 3, 8) << size.height();
    }
    // A splitter the operator moved stays where it was put: a resize does not lay the panes out again.
    auto *outer = child<QSplitter>("outerSplitter");
    outer->setSizes({200, outer->width() - 200});
    m_frame.resize(1000, 650);
    QTest::qWait(20);
    EXPECT_LT(outer->sizes()[0], outer->width() / 3);
}

TEST_F(MainFrameTest, TabAndF6GoFromPaneToPaneAndEachShortcutReachesItsCommand) {
    m_frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_frame));
    QWidget *const queue = child<QWidget>("uploadTable");
    QWidget *const files = child<QWidget>("driveExplorerView");
    QWidget *const folders = child<QWidget>("contentView");
    const auto press = [](Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    };
    // Rows to move between: a table takes Tab for its cells when it has some.
    m_parts.table.appendRow(QStringLiteral("1"));
    m_parts.table.appendRow(QStringLiteral("2"));
    queue->setFocus();
    const QList<std::pair<Qt::Key, Qt::KeyboardModifiers>> moves{
        {Qt::Key_Tab, Qt::NoModifier}, {Qt::Key_Tab, Qt::NoModifier}, {Qt::Key_Tab, Qt::ShiftModifier},
        {Qt::Key_F6, Qt::NoModifier},  {Qt::Key_F6, Qt::NoModifier},  {Qt::Key_F6, Qt::ShiftModifier}};
    const QList<QWidget *> expected{files, folders, files, folders, queue, folders};
    for (qsizetype i = 0; i < moves.size(); ++i) {
        press(moves[i].first, moves[i].second);
        EXPECT_EQ(QApplication::focusWidget(), expected[i]) << "step " << i;
    }

    const auto triggers = [&](int id, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QSignalSpy spy(m_frame.menuAction(id), &QAction::triggered);
        press(key, modifiers);
        return spy.count() == 1;
    };
    EXPECT_TRUE(triggers(ID_REFRESH, Qt::Key_F5));
    files->setFocus();
    EXPECT_FALSE(triggers(ID_DELETE_RECORD, Qt::Key_Delete)) << "Delete in the file list deletes nothing";
    queue->setFocus();
    EXPECT_TRUE(triggers(ID_DELETE_RECORD, Qt::Key_Delete));
    EXPECT_TRUE(triggers(ID_VIEW_HISTORY, Qt::Key_H, Qt::ControlModifier));
    ASSERT_NE(m_frame.historyWindow(), nullptr);
    m_frame.historyWindow()->close();
    m_frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_frame));

    // Ctrl+Enter starts; Esc stops, but never from a text field, whose Esc is its own.
    m_parts.upload.setStopGraceMs(50);
    for (const Qt::Key stop : {Qt::Key_Escape, Qt::Key_Period}) {
        queue->setFocus();
        EXPECT_TRUE(triggers(ID_START_UPLOAD, Qt::Key_Return, Qt::ControlModifier));
        ASSERT_FALSE(m_parts.upload.isStopped());
        if (stop == Qt::Key_Escape) {
            auto *field = new QLineEdit(m_frame.statusBar());
            field->show();
            field->setFocus();
            EXPECT_FALSE(triggers(ID_STOP_UPLOAD, Qt::Key_Escape));
            delete field;
            queue->setFocus();
        }
        EXPECT_TRUE(
            triggers(ID_STOP_UPLOAD, stop, stop == Qt::Key_Period ? Qt::ControlModifier : Qt::NoModifier));
        ASSERT_TRUE(QTest::qWaitFor([this] { return m_parts.upload.isStopped(); }));
    }
}

// The station of a second start in the same working folder.
struct NextStart {
    explicit NextStart(const QString &folder) : parts(folder), frame(parts) {
        frame.OnCreate();
        frame.OnInitialUpdates();
        frame.showAsRemembered();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&frame));
    }
    StationParts parts;
    CMainFrame frame;
};

TEST_F(MainFrameTest, TheOperatorsLayoutComesBackAtTheNextStartAndADamagedOneIsLeftOut) {
    m_frame.showNormal();
    m_frame.setGeometry(40, 50, 700, 500);
    QTest::qWait(20);
    child<QSplitter>("outerSplitter")->setSizes({250, 440});
    child<QSplitter>("rightSplitter")->setSizes({120, 300});
    child<QTableView>("uploadTable")->setColumnWidth(1, 222);
    child<QTableView>("contentView")->setColumnWidth(0, 111);
    m_frame.OnViewHistory();
    m_frame.historyWindow()->setGeometry(60, 70, 600, 400);
    const QList<int> outer = child<QSplitter>("outerSplitter")->sizes();
    const QList<int> inner = child<QSplitter>("rightSplitter")->sizes();
    m_frame.close();
    {
        NextStart next(m_dir.path());
        EXPECT_EQ(next.frame.geometry(), QRect(40, 50, 700, 500));
        EXPECT_EQ(next.frame.findChild<QSplitter *>(QStringLiteral("outerSplitter"))->sizes(), outer);
        EXPECT_EQ(next.frame.findChild<QSplitter *>(QStringLiteral("rightSplitter"))->sizes(), inner);
        EXPECT_EQ(next.frame.findChild<QTableView *>(QStringLiteral("uploadTable"))->columnWidth(1), 222);
        EXPECT_EQ(next.frame.findChild<QTableView *>(QStringLiteral("contentView"))->columnWidth(0), 111);
        next.frame.OnViewHistory();
        EXPECT_EQ(next.frame.historyWindow()->geometry(), QRect(60, 70, 600, 400));
    }

    // What cannot be read is left out: the first start's layout, on the screen.
    QFile memory(m_dir.filePath(WindowMemory::kFileName));
    ASSERT_TRUE(memory.open(QIODevice::WriteOnly | QIODevice::Truncate));
    memory.write("[Window]\nGeometry=@Rect(12 x)\nSplitters\\outerSplitter=1, x\nColumns\\uploadTable=5\n");
    memory.close();
    NextStart next(m_dir.path());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(next.frame.geometry(), WindowMemory::firstStartGeometry(screen));
    EXPECT_FALSE(next.frame.isMaximized());
    const auto *split = next.frame.findChild<QSplitter *>(QStringLiteral("outerSplitter"));
    EXPECT_NEAR(split->sizes()[0], 2 * split->width() / 3, 8);
    // A window saved where no screen shows its caption is left out; one larger than the screen fits it.
    EXPECT_TRUE(WindowMemory::usableGeometry(QRect(5000, 50, 700, 500), {screen}).isEmpty());
    EXPECT_TRUE(WindowMemory::usableGeometry(QRect(40, -300, 700, 500), {screen}).isEmpty());
    EXPECT_EQ(WindowMemory::usableGeometry(QRect(screen.topLeft(), screen.size() * 2), {screen}), screen);
}

TEST_F(MainFrameTest, CommandsFollowTheUploadingAndStoppedStates) {
    EXPECT_TRUE(m_parts.upload.isStopped());
    for (int id : {ID_START_UPLOAD, ID_MOVE_UP, ID_MOVE_DOWN, ID_ADD_RECORD, ID_DELETE_RECORD}) {
        EXPECT_TRUE(available(id)) << id;
    }
    EXPECT_FALSE(m_frame.menuAction(ID_STOP_UPLOAD)->isEnabled());
    EXPECT_FALSE(m_frame.toolAction(ID_STOP_UPLOAD)->isVisible());

    m_frame.toolAction(ID_START_UPLOAD)->trigger();
    EXPECT_FALSE(m_parts.upload.isStopped());
    EXPECT_TRUE(available(ID_STOP_UPLOAD));
    EXPECT_FALSE(m_frame.menuAction(ID_START_UPLOAD)->isEnabled());
    EXPECT_FALSE(m_frame.toolAction(ID_START_UPLOAD)->isVisible());
    // The queue may change while files are sent.
    for (int id : {ID_MOVE_UP, ID_MOVE_DOWN, ID_ADD_RECORD, ID_DELETE_RECORD}) {
        EXPECT_TRUE(available(id)) << id;
    }
    // A resize never takes the stop command away from a running upload.
    m_frame.resize(1000, 650);
    QTest::qWait(20);
    EXPECT_TRUE(available(ID_STOP_UPLOAD));

    m_parts.upload.setStopGraceMs(150);
    m_frame.menuAction(ID_STOP_UPLOAD)->trigger();
    // During the grace period the window answers, but nothing may be queued or started.
    EXPECT_TRUE(m_parts.upload.state() == UploadState::Stopping);
    EXPECT_TRUE(available(ID_STOP_UPLOAD)) << "still stopping";
    EXPECT_FALSE(available(ID_START_UPLOAD));
    EXPECT_FALSE(available(ID_ADD_RECORD));
    QTest::qWait(300);
    EXPECT_TRUE(m_parts.upload.isStopped());
    EXPECT_TRUE(available(ID_START_UPLOAD));
    EXPECT_TRUE(available(ID_ADD_RECORD));
}

TEST_F(MainFrameTest, NothingLeftToSendSwitchesUploadingOff) {
    m_parts.upload.setTickInterval(20);
    m_frame.OnStartUpload();
    EXPECT_EQ(child<QLabel>("uploadStatusText")->text(), QStringLiteral("正在上传…"));
    EXPECT_TRUE(QTest::qWaitFor([this] { return m_parts.upload.isStopped(); }, 5000));
    EXPECT_EQ(child<QLabel>("uploadStatusText")->text(),
              QStringLiteral("空闲：上传队列已发送完毕，本次共发送 0 个文件"));
}

// A log that cannot be written turns the status bar red until the next heartbeat writes it.
TEST_F(MainFrameTest, TheStatusBarSaysInRedWhileTheDaysLogCannotBeWritten) {
    bool works = false;
    m_parts.log.setWriter([&](const QString &path, const QList<QStringList> &, QString *error) {
        *error = QStringLiteral("Cannot write “%1”: 只读文件系统").arg(QDir::toNativeSeparators(path));
        return works;
    });
    auto *red = child<QLabel>("recordingFailureText");
    ASSERT_NE(red, nullptr);
    EXPECT_FALSE(red->isVisible());
    EXPECT_FALSE(m_parts.log.writeRecordLog());
    m_parts.upload.OnTimer();
    m_frame.statusBar()->showMessage(QStringLiteral("a passing message covers no alarm"));
    EXPECT_TRUE(red->isVisible());
    EXPECT_EQ(red->text(), QStringLiteral("无法写入记录：无法写入 %1：只读文件系统，已暂停上传")
                               .arg(QDir::toNativeSeparators(m_parts.log.path())));
    works = true;
    m_parts.upload.OnTimer();
    EXPECT_FALSE(red->isVisible());
}

TEST_F(MainFrameTest, ClosingHidesTheWindowAndTheTimerGoesOn) {
    const int row = m_parts.table.appendRow(QStringLiteral("1"));
    m_parts.table.setCell(row, UploadRecord::CellFileName, QStringLiteral("a.txt"));
    m_parts.table.setCell(row, UploadRecord::CellDestination, QStringLiteral("1.2.3.4:5||d://x"));
    m_parts.settings.isolatorAddress = QStringLiteral("127.0.0.1");
    m_parts.settings.isolatorPort = QStringLiteral("1");
    m_parts.upload.setTickInterval(20);

    m_frame.close();
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        EXPECT_FALSE(m_frame.isVisible());
        ASSERT_NE(m_frame.trayIcon(), nullptr);
        EXPECT_TRUE(m_frame.trayIcon()->isVisible());
        EXPECT_EQ(m_frame.trayIcon()->toolTip().section(QLatin1Char('\n'), 0, 0),
                  QStringLiteral("Vellorix900 外网上传软件"));
        m_frame.close();
        EXPECT_EQ(m_frame.findChildren<QSystemTrayIcon *>().size(), 1);
    } else {
        // Without a notification area the window is minimized instead, never lost.
        EXPECT_TRUE(m_frame.isMinimized() || m_frame.isVisible());
    }
    m_frame.OnStartUpload();
    QTest::qWait(200);
    EXPECT_NE(m_parts.table.cell(row, UploadRecord::CellStatus), QString());
    m_frame.OnStopUpload();
}

TEST_F(MainFrameTest, ExitAsksFirstAndNoLeavesEverythingAsItWas) {
    m_answers.answer = false;
    m_frame.menuAction(ID_APP_EXIT)->trigger();
    ASSERT_EQ(m_answers.questions, QStringList{QStringLiteral("网络隔离外网上传软件|是否退出程序?")});
    EXPECT_FALSE(m_frame.isExitConfirmed());
    EXPECT_TRUE(m_frame.isVisible());
    EXPECT_TRUE(m_parts.upload.isTicking());

    m_answers.answer = true;
    m_frame.menuAction(ID_APP_EXIT)->trigger();
    EXPECT_TRUE(m_frame.isExitConfirmed());
    EXPECT_FALSE(m_frame.isVisible());
}

// Standard buttons and dialogs speak Chinese, and titles stay as the station sets them.
TEST(ApplicationSetUp, QtsOwnTextsAreChineseAndNoNameIsAppendedToTitles) {
    const bool translated = CBrelvantisApp::setUp(*qApp);
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QGuiApplication::applicationName());
    if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) +
                       QStringLiteral("/qtbase_zh_CN.qm"))) {
        GTEST_SKIP() << "Qt's translations (qt6-translations-l10n) are not installed";
    }
    ASSERT_TRUE(translated);
    QMessageBox box(QMessageBox::Question, QStringLiteral("t"), QStringLiteral("?"),
                    QMessageBox::Yes | QMessageBox::No);
    EXPECT_TRUE(box.button(QMessageBox::Yes)->text().contains(QStringLiteral("是")))
        << box.button(QMessageBox::Yes)->text().toStdString();
    EXPECT_TRUE(box.button(QMessageBox::No)->text().contains(QStringLiteral("否")));
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Ok)->text(), QStringLiteral("确定"));
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
}

// The real program, started as an operator starts it.
class SingleInstanceTest : public ::testing::Test {
protected:
    std::unique_ptr<QProcess> start() {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        environment.insert(QStringLiteral("XDG_DATA_HOME"), m_runtime.path()); // not the real home
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(m_work.path());
        process->start(QStringLiteral(BRELVANTIS_BIN_DIR "/brelvantis"), {});
        EXPECT_TRUE(process->waitForStarted(5000));
        return process;
    }

    QTemporaryDir m_runtime;
    QTemporaryDir m_work;
};

TEST_F(SingleInstanceTest, ASecondCopyEndsAtOnceAndACrashedCopyBlocksNothing) {
    auto first = start();
    EXPECT_FALSE(first->waitForFinished(1500)); // still running

    auto second = start();
    ASSERT_TRUE(second->waitForFinished(5000));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(first->state(), QProcess::Running);

    first->kill(); // SIGKILL: no chance to clean up
    first->waitForFinished(5000);
    auto third = start();
    EXPECT_FALSE(third->waitForFinished(1500));
    third->kill();
    third->waitForFinished(5000);
}

} // namespace

namespace {

TEST_F(MainFrameTest, RetryNowClearsThePauseOfTheSelectedFailedRowsOnly) {
    for (const QString &name : {QStringLiteral("a.txt"), QStringLiteral("b.txt"), QStringLiteral("c.txt")}) {
        const int row = m_parts.table.appendRow(QString::number(m_parts.table.rowCount() + 1));
        m_parts.table.setCell(row, UploadRecord::CellFileName, name);
        m_parts.table.setCell(row, UploadRecord::CellStatus, UploadRecord::kStatusFault);
        m_parts.table.setAttempts(row, {3, 1'000'000'000, QStringLiteral("隔离器拒绝连接")});
    }
    auto *view = m_frame.findChild<CTableView *>(CTableView::kObjectName);
    ASSERT_TRUE(view);
    for (int row : {1, 2}) {
        view->selectionModel()->select(view->model()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    m_frame.menuAction(ID_RETRY_NOW)->trigger();
    EXPECT_EQ(m_parts.table.attempts(0).retryAtMs, 1'000'000'000);
    EXPECT_EQ(m_parts.table.attempts(1).retryAtMs, 0);
    EXPECT_EQ(m_parts.table.attempts(2).retryAtMs, 0) << "every selected row, not only the first";
    EXPECT_EQ(m_parts.table.attempts(1).failures, 3) << "the tries made so far stay counted";
}

} // namespace

namespace {

// The status bar's texts and bar side by side, none under another.
void expectNothingOverlaps(QStatusBar *bar) {
    QList<QWidget *> shown;
    for (QWidget *widget : bar->findChildren<QWidget *>()) {
        if (widget->isVisible() && (qobject_cast<QLabel *>(widget) || qobject_cast<QProgressBar *>(widget))) {
            shown.append(widget);
        }
    }
    EXPECT_EQ(bar->currentMessage(), QString()) << "the status bar draws no text of its own";
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const QRect a(shown[i]->mapTo(bar, QPoint()), shown[i]->size());
        EXPECT_TRUE(bar->rect().contains(a)) << shown[i]->objectName().toStdString();
        for (qsizetype j = i + 1; j < shown.size(); ++j) {
            const QRect b(shown[j]->mapTo(bar, QPoint()), shown[j]->size());
            EXPECT_FALSE(a.intersects(b))
                << shown[i]->objectName().toStdString() << " and " << shown[j]->objectName().toStdString();
        }
    }
}

// A notice goes beside the live line for the time its sender gave, and never hides it.
TEST_F(MainFrameTest, NoticesPassBesideTheLiveLine) {
    auto *live = child<QLabel>("uploadStatusText");
    auto *notice = child<QLabel>("statusNoticeText");
    m_frame.statusBar()->showMessage(QStringLiteral("已添加 3 个文件"), 100);
    EXPECT_TRUE(live->isVisible());
    EXPECT_EQ(live->text(), QStringLiteral("空闲：未在上传"));
    EXPECT_TRUE(notice->isVisible());
    EXPECT_EQ(notice->text(), QStringLiteral("已添加 3 个文件"));
    expectNothingOverlaps(m_frame.statusBar());
    EXPECT_TRUE(QTest::qWaitFor([&] { return notice->text() != QStringLiteral("已添加 3 个文件"); }, 5000))
        << "the notice passes";
    EXPECT_TRUE(live->isVisible());
}

// Hidden finished rows and a sorted view are the operator's view: the log keeps every row, the moves
// wait for the send order, and commands reach the rows selected on screen.
TEST_F(MainFrameTest, HiddenAndSortedRowsAreAViewOnly) {
    for (const QString &name : {QStringLiteral("a.txt"), QStringLiteral("b.txt"), QStringLiteral("c.txt")}) {
        const int row = m_parts.table.appendRow(QString::number(m_parts.table.rowCount() + 1));
        m_parts.table.setCell(row, UploadRecord::CellFileName, name);
        m_parts.table.setCell(row, UploadRecord::CellStatus, UploadRecord::kStatusFault);
        m_parts.table.setAttempts(row, {1, 1'000'000'000, QStringLiteral("隔离器拒绝连接")});
    }
    m_parts.table.setCell(0, UploadRecord::CellStatus, UploadRecord::kStatusComplete);
    auto *view = m_frame.findChild<CTableView *>(CTableView::kObjectName);
    auto *hide = m_frame.findChild<QAction *>(QStringLiteral("hideFinishedAction"));
    ASSERT_TRUE(view && hide);
    hide->trigger();
    EXPECT_EQ(view->model()->rowCount(), 2);
    EXPECT_TRUE(QSettings(m_dir.filePath(QStringLiteral("window.ini")), QSettings::IniFormat)
                    .value(QStringLiteral("Queue/HideFinished"))
                    .toBool());
    int logged = 0;
    m_parts.log.setWriter([&](const QString &, const QList<QStringList> &rows, QString *) {
        logged = static_cast<int>(rows.size());
        return true;
    });
    ASSERT_TRUE(m_parts.log.writeRecordLog());
    EXPECT_EQ(logged, 1 + 3) << "the header and every row";

    view->sortByHeader(UploadRecord::CellFileName);
    view->sortByHeader(UploadRecord::CellFileName); // c.txt, b.txt
    EXPECT_FALSE(m_frame.menuAction(ID_MOVE_UP)->isEnabled());
    EXPECT_FALSE(m_frame.toolAction(ID_MOVE_DOWN)->isEnabled());
    view->selectRow(0);
    m_frame.menuAction(ID_RETRY_NOW)->trigger();
    EXPECT_EQ(m_parts.table.attempts(2).retryAtMs, 0) << "c.txt, shown on top";
    EXPECT_EQ(m_parts.table.attempts(1).retryAtMs, 1'000'000'000);

    m_frame.findChild<QAction *>(QStringLiteral("sendOrderAction"))->trigger();
    EXPECT_FALSE(view->isSorted());
    EXPECT_TRUE(available(ID_MOVE_UP));
    EXPECT_EQ(m_parts.table.cell(0, UploadRecord::CellFileName), QStringLiteral("a.txt"));
}

// Not yet set up: the set-up notice, the live line and the progress bar each keep their place, at any
// width.
TEST(MainFrameNotConfigured, TheStatusBarsTextsDoNotOverlap) {
    RecordingResponder answers;
    QTemporaryDir dir;
    StationParts parts(dir.path());
    CMainFrame frame(parts);
    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); }); // the settings dialog
    frame.OnCreate();
    frame.OnInitialUpdates();
    ASSERT_FALSE(frame.isConfigured());
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    auto *notice = frame.findChild<StatusNotice *>(QStringLiteral("statusNoticeText"));
    EXPECT_TRUE(notice->text().startsWith(QStringLiteral("尚未完成软件设置：")));
    for (const int width : {1200, 700}) {
        frame.resize(width, 600);
        QApplication::processEvents();
        EXPECT_TRUE(frame.findChild<QLabel *>(QStringLiteral("uploadStatusText"))->isVisible());
        expectNothingOverlaps(frame.statusBar());
    }
    // A passing notice leaves the set-up notice to come back.
    frame.statusBar()->showMessage(QStringLiteral("允许上传的文件类型已更新：txt"), 50);
    EXPECT_EQ(notice->text(), QStringLiteral("允许上传的文件类型已更新：txt"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return notice->text().startsWith(QStringLiteral("尚未完成")); }, 5000));
}

} // namespace

namespace {

// The row menu finds a sent row's SHA-256 in the day's journal (an earlier run's completion) and
// opens the history on the row's file.
TEST_F(MainFrameTest, TheRowMenuCopiesTheDigestFromTheJournalAndOpensTheHistory) {
    const QString sha(64, QLatin1Char('a'));
    for (const QString &name : {QStringLiteral("=sent.txt"), QStringLiteral("waiting.txt")}) {
        const int row = m_parts.table.appendRow(QString::number(m_parts.table.rowCount() + 1));
        m_parts.table.setCell(row, UploadRecord::CellFileName, name);
        m_parts.table.setCell(row, UploadRecord::CellDestination, QStringLiteral("1.2.3.4:5||d://x"));
        m_parts.table.setCell(row, UploadRecord::CellStatus,
                              row == 0 ? UploadRecord::kStatusComplete : UploadRecord::kStatusReady);
    }
    DayJournal::Entry completed;
    completed.event = JournalEvent::Completed;
    completed.fileName = QStringLiteral("=sent.txt");
    completed.destination = QStringLiteral("1.2.3.4:5||d://x");
    completed.seconds = 1;
    completed.sha256 = sha;
    ASSERT_TRUE(m_parts.dayJournal.append(completed));

    auto *view = m_frame.findChild<CTableView *>(CTableView::kObjectName);
    auto *copy = view->rowMenu()->findChild<QAction *>(QStringLiteral("copyShaAction"));
    view->showRowMenu(view->visualRect(view->model()->index(1, 1)).center());
    EXPECT_FALSE(copy->isEnabled()) << "a row not sent has no digest";
    view->rowMenu()->hide();
    view->showRowMenu(view->visualRect(view->model()->index(0, 1)).center());
    ASSERT_TRUE(copy->isEnabled());
    copy->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), sha);

    view->rowMenu()->findChild<QAction *>(QStringLiteral("historyRowAction"))->trigger();
    ASSERT_NE(m_frame.historyWindow(), nullptr);
    EXPECT_EQ(m_frame.historyWindow()->findChild<QLineEdit *>(QStringLiteral("searchEdit"))->text(),
              QStringLiteral("=sent.txt"));
    m_frame.historyWindow()->close();
}

} // namespace
