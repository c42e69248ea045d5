#include "gui/views/CTableView.h"
#include "core/common/Clock.h"
#include "core/common/CommandIds.h"
#include "core/records/UploadTable.h"
#include "gui/views/CTableViewModel.h"
#include "gui/views/QueueFilterModel.h"
#include "gui/views/QueuePane.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace UploadRecord;

namespace {

// The upload table beside another list pane in one window, as in the main frame.
class CTableViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        for (int n = 1; n <= 4; ++n) {
            const int row = m_table.appendRow(QString::number(n));
            m_table.setCell(row, CellFileName, QStringLiteral("f%1.txt").arg(n));
            m_table.setCell(row, CellDestination, QStringLiteral("||d://%1").arg(n));
            m_table.setCell(row, CellStatus, kStatusReady);
        }
        m_view = new CTableView(m_table, &m_window);
        m_otherPane = new QListWidget(&m_window);
        m_otherPane->addItem(QStringLiteral("sub"));
        auto *layout = new QHBoxLayout(&m_window);
        layout->addWidget(m_view);
        layout->addWidget(m_otherPane);
        m_otherPane->setFixedWidth(200);
        m_window.resize(1300, 400);
        m_window.show();
        QApplication::setActiveWindow(&m_window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));
    }

    QPoint rowPoint(int row, int column = 1) const {
        return m_view->visualRect(m_view->model()->index(row, column)).center();
    }

    void click(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::mouseClick(m_view->viewport(), Qt::LeftButton, modifiers, rowPoint(row));
    }

    // A record moves as the frame moves it: the table changes, then the view follows.
    void move(int from, int to) {
        ASSERT_TRUE(m_table.moveRow(from, to));
        m_view->followMovedRow(to, from);
    }

    QStringList order() const {
        QStringList names;
        for (int row = 0; row < m_view->model()->rowCount(); ++row) {
            names.append(m_view->model()->index(row, CellFileName).data().toString());
        }
        return names;
    }

    QTemporaryDir m_dir;
    UploadTable m_table;
    QWidget m_window;
    CTableView *m_view = nullptr;
    QListWidget *m_otherPane = nullptr;
};

QColor pixel(const QImage &image, QPoint point) {
    return image.pixelColor(point);
}

} // namespace

TEST_F(CTableViewTest, ShowsTheSevenCentredColumnsAndTheProgressInReportStyle) {
    QStringList headers;
    for (int column = 0; column < m_view->model()->columnCount(); ++column) {
        headers.append(m_view->model()->headerData(column, Qt::Horizontal).toString());
    }
    EXPECT_EQ(headers, (QStringList{"序号", "文件名称", "文件大小", "存放路径", "操作状态", "开始时间",
                                    "结束时间", "进度"}));
    // The progress, a column of the view alone, stands beside the status.
    EXPECT_EQ(m_view->horizontalHeader()->visualIndex(CTableViewModel::kProgressColumn), CellStatus + 1);

    QList<int> widths;
    for (int column = 0; column < CellStartTime; ++column) {
        widths.append(m_view->columnWidth(column));
    }
    EXPECT_EQ(widths, (QList<int>{40, 150, 100, 300, 100}));
    // The time columns keep their 120 pixels, or more where the font needs it for a whole time stamp.
    const int stamp = m_view->fontMetrics().horizontalAdvance(QStringLiteral("2026-12-07 00:00:00"));
    for (int column : {CellStartTime, CellFinishTime}) {
        EXPECT_GE(m_view->columnWidth(column), 120);
        EXPECT_GT(m_view->columnWidth(column), stamp);
    }

    EXPECT_FALSE(m_view->verticalHeader()->isVisible());
    EXPECT_TRUE(m_view->showGrid());
    EXPECT_EQ(m_view->horizontalHeader()->defaultAlignment(), Qt::AlignCenter);
    EXPECT_EQ(m_view->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(m_view->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(m_view->objectName(), QStringLiteral("uploadTable"));
}

TEST_F(CTableViewTest, RowsWearTheirColoursAndCentredText) {
    const QImage image = m_view->viewport()->grab().toImage();
    const QRect cellRect = m_view->visualRect(m_view->model()->index(0, CellDestination));

    EXPECT_EQ(pixel(image, cellRect.topLeft() + QPoint(3, 3)), QColor(200, 200, 200)) << "row background";
    const QPoint belowRows(cellRect.center().x(), m_view->viewport()->height() - 3);
    EXPECT_EQ(pixel(image, belowRows), QColor(200, 200, 200)) << "empty area below the rows";

    // The text: its darkest pixels are the text colour, and they sit around the cell's middle.
    int left = cellRect.right(), right = cellRect.left();
    bool textColourSeen = false;
    for (int x = cellRect.left() + 1; x < cellRect.right(); ++x) {
        for (int y = cellRect.top() + 1; y < cellRect.bottom(); ++y) {
            const QColor colour = pixel(image, {x, y});
            if (colour == QColor(10, 10, 80)) {
                textColourSeen = true;
            }
            if (colour.lightness() < 150) {
                left = qMin(left, x);
                right = qMax(right, x);
            }
        }
    }
    EXPECT_TRUE(textColourSeen);
    ASSERT_LT(left, right) << "no text drawn";
    EXPECT_NEAR((left + right) / 2.0, cellRect.center().x(), 4.0);
}

TEST_F(CTableViewTest, TheOperatorCannotEditCells) {
    QTest::mouseDClick(m_view->viewport(), Qt::LeftButton, Qt::NoModifier, rowPoint(1));
    QTest::keyClick(m_view, Qt::Key_F2);
    QTest::keyClicks(m_view, QStringLiteral("zz"));
    EXPECT_EQ(m_table.cell(1, CellFileName), QStringLiteral("f2.txt"));
    EXPECT_TRUE(m_view->findChildren<QLineEdit *>().isEmpty()) << "no editor opened";
}

TEST_F(CTableViewTest, ClicksSelectTheRowsTheCommandsAreHanded) {
    const auto expectSelected = [&](const QList<int> &rows, const char *what) {
        EXPECT_EQ(m_view->selectedRows(), rows) << what;
    };
    click(1);
    expectSelected({1}, "click");
    click(3, Qt::ControlModifier);
    expectSelected({1, 3}, "ctrl-click adds");
    click(1, Qt::ControlModifier);
    expectSelected({3}, "ctrl-click on a selected row removes it");
    click(0);
    expectSelected({0}, "a plain click replaces the selection");
    click(2, Qt::ShiftModifier);
    expectSelected({0, 1, 2}, "shift-click selects the range");
    QTest::keyClick(m_view, Qt::Key_Down);
    expectSelected({3}, "the keyboard moves the selection");

    // Rows that come and go keep the selection with its records; a new row is not selected.
    click(1);
    m_table.insertRow(1, QStringLiteral("x"));
    expectSelected({2}, "insert above");
}

TEST_F(CTableViewTest, AMovedRecordStaysSelectedAndItsNeighbourLosesTheSelection) {
    click(1);
    click(2, Qt::ControlModifier);
    move(1, 0);
    EXPECT_EQ(order(), (QStringList{"f2.txt", "f1.txt", "f3.txt", "f4.txt"}));
    EXPECT_EQ(m_view->selectedRows(), (QList<int>{0, 2}));

    click(1);
    click(2, Qt::ControlModifier);
    move(1, 2);
    EXPECT_EQ(order(), (QStringList{"f2.txt", "f3.txt", "f1.txt", "f4.txt"}));
    EXPECT_EQ(m_view->selectedRows(), (QList<int>{2}));
    EXPECT_EQ(m_view->currentIndex().row(), 2);
    EXPECT_EQ(m_view->model()->index(2, CellSequence).data().toString(), QStringLiteral("3"));
}

TEST_F(CTableViewTest, TheTableIsTheActivePaneWhileItLastHadTheFocus) {
    m_otherPane->setFocus();
    EXPECT_FALSE(m_view->isActivePane()) << "another pane had focus last";
    click(2);
    EXPECT_TRUE(m_view->isActivePane());
    QTest::mouseClick(m_otherPane->viewport(), Qt::LeftButton, Qt::NoModifier,
                      m_otherPane->visualItemRect(m_otherPane->item(0)).center());
    ASSERT_TRUE(m_otherPane->hasFocus());
    EXPECT_FALSE(m_view->isActivePane());

    // Focus on something that is not a pane (a toolbar button, a field of a dialog) keeps the
    // active pane.
    m_view->setFocus();
    QLineEdit *field = new QLineEdit(&m_window);
    m_window.layout()->addWidget(field);
    field->setFocus();
    EXPECT_TRUE(m_view->isActivePane());
}

TEST(CTableViewModelTest, FollowsEveryChangeOfTheTable) {
    UploadTable table;
    CTableView view(table);
    // Fails the test on any wrong begin/end notification or inconsistent answer of the model.
    QAbstractItemModelTester tester(view.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);

    for (int n = 1; n <= 5; ++n) {
        table.appendRow(QString::number(n));
    }
    table.insertRow(0, QStringLiteral("0"));
    table.setCell(3, CellStatus, kStatusUploading);
    EXPECT_EQ(view.model()->index(3, CellStatus).data().toString(), kStatusUploading);
    table.moveRow(3, 2);
    table.moveRow(2, 3);
    table.deleteRow(5);
    table.renumber();
    EXPECT_EQ(view.model()->rowCount(), 5);
    EXPECT_EQ(view.model()->index(4, CellSequence).data().toString(), QStringLiteral("5"));
    table.removeAll();
    EXPECT_EQ(view.model()->rowCount(), 0);
}

namespace {

TEST_F(CTableViewTest, AFailedRowsStatusCellExplainsItselfAndTheNoteMovesWithTheRow) {
    m_table.setCell(1, CellStatus, kStatusFault);
    m_table.setAttempts(1,
                        {2, 0, QStringLiteral("隔离器在确认前关闭了连接\n已尝试 2 次，下次重试：10:00:08")});
    const QAbstractItemModel *model = m_view->model();
    EXPECT_EQ(model->index(1, CellStatus).data(Qt::ToolTipRole).toString(),
              QStringLiteral("隔离器在确认前关闭了连接\n已尝试 2 次，下次重试：10:00:08"));
    EXPECT_FALSE(model->index(1, CellFileName).data(Qt::ToolTipRole).isValid()) << "only the status cell";
    EXPECT_FALSE(model->index(0, CellStatus).data(Qt::ToolTipRole).isValid());

    ASSERT_TRUE(m_table.moveRow(1, 0));
    EXPECT_EQ(m_table.attempts(0).failures, 2);
    EXPECT_TRUE(
        model->index(0, CellStatus).data(Qt::ToolTipRole).toString().startsWith(QStringLiteral("隔离器")));
}

} // namespace

namespace {

// A sort, a filter and hidden finished rows change what is shown, never the table: the commands are
// handed table rows whatever the view shows.
TEST_F(CTableViewTest, SortingAndHidingShowRowsButHandOutTableRows) {
    m_table.setCell(0, CellStatus, kStatusComplete);
    QHeaderView *header = m_view->horizontalHeader();
    const auto clickHeader = [&](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                          {header->sectionViewportPosition(column) + 5, header->height() / 2});
    };
    clickHeader(CellFileName);
    clickHeader(CellFileName);
    EXPECT_TRUE(m_view->isSorted());
    EXPECT_EQ(order(), (QStringList{"f4.txt", "f3.txt", "f2.txt", "f1.txt"}));
    click(0);
    EXPECT_EQ(m_view->selectedRows(), QList<int>{3}) << "the top line is the table's last row";

    m_view->queueFilter().setHideFinished(true);
    EXPECT_EQ(order(), (QStringList{"f4.txt", "f3.txt", "f2.txt"}));
    EXPECT_EQ(m_table.rowCount(), 4);
    EXPECT_EQ(m_table.cell(0, CellFileName), QStringLiteral("f1.txt")) << "the send order stays";

    clickHeader(CellFileName); // the third click: send order again
    EXPECT_FALSE(m_view->isSorted());
    EXPECT_EQ(order(), (QStringList{"f2.txt", "f3.txt", "f4.txt"}));
    m_table.setCell(0, CellStatus, kStatusReady);
    EXPECT_EQ(order(), (QStringList{"f1.txt", "f2.txt", "f3.txt", "f4.txt"}));

    // A record moved while a neighbour is hidden keeps its selection.
    m_table.setCell(2, CellStatus, kStatusComplete);
    click(2); // f4.txt
    ASSERT_EQ(m_view->selectedRows(), QList<int>{3});
    move(3, 2);
    EXPECT_EQ(m_view->selectedRows(), QList<int>{2});
}

// The row being sent shows its progress and stays in sight until the operator scrolls away; selecting it
// again (or scrolling back to it) resumes following.
TEST_F(CTableViewTest, TheRowBeingSentShowsItsProgressAndIsFollowed) {
    for (int n = 5; n <= 80; ++n) {
        m_table.setCell(m_table.appendRow(QString::number(n)), CellStatus, kStatusReady);
    }
    const auto progress = [&](int row) {
        return m_view->model()->index(row, CTableViewModel::kProgressColumn).data().toString();
    };
    const auto inSight = [&](int row) {
        return m_view->viewport()->rect().contains(
            m_view->visualRect(m_view->model()->index(row, 0)).center());
    };
    m_table.setCell(60, CellStatus, kStatusUploading);
    m_view->showProgress(QStringLiteral("37% · 11.2 MB/s"));
    EXPECT_EQ(progress(60), QStringLiteral("37% · 11.2 MB/s"));
    EXPECT_EQ(progress(59), QString());
    EXPECT_TRUE(inSight(60));

    m_view->verticalScrollBar()->setValue(0);
    EXPECT_FALSE(m_view->followsActiveRow());
    m_table.setCell(60, CellStatus, kStatusComplete);
    m_table.setCell(61, CellStatus, kStatusUploading);
    EXPECT_FALSE(inSight(61)) << "the operator looks elsewhere";
    EXPECT_EQ(progress(60), QString()) << "a finished row shows no progress";

    m_view->selectionModel()->setCurrentIndex(m_view->model()->index(61, 0),
                                              QItemSelectionModel::ClearAndSelect);
    m_table.setCell(61, CellStatus, kStatusComplete);
    m_view->verticalScrollBar()->setValue(0); // between two files: nothing to lose sight of
    EXPECT_TRUE(m_view->followsActiveRow());
    m_table.setCell(75, CellStatus, kStatusUploading);
    EXPECT_TRUE(inSight(75));
}

// The filter field above the table: name, destination and status, any case; Esc empties it; Ctrl+F
// anywhere in the window reaches it.
TEST(QueuePaneTest, TheFilterMatchesNameDestinationAndStatus) {
    UploadTable table;
    for (const auto &[name, destination, status] :
         {std::tuple{"Report.PDF", "10.0.0.1:4321||d://财务", kStatusReady},
          std::tuple{"photo.jpg", "10.0.0.2:4321||d://report", kStatusComplete},
          std::tuple{"notes.txt", "10.0.0.3:4321||d://x", kStatusFault}}) {
        const int row = table.appendRow(QString::number(table.rowCount() + 1));
        table.setCell(row, CellFileName, QString::fromUtf8(name));
        table.setCell(row, CellDestination, QString::fromUtf8(destination));
        table.setCell(row, CellStatus, status);
    }
    QWidget window;
    auto *pane = new QueuePane(table, &window);
    auto *other = new QLineEdit(&window);
    auto *layout = new QHBoxLayout(&window);
    layout->addWidget(pane);
    layout->addWidget(other);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    auto *field = window.findChild<QLineEdit *>(QStringLiteral("queueFilter"));
    ASSERT_EQ(field, pane->filterField());
    const auto shown = [&] { return pane->tableView()->model()->rowCount(); };

    other->setFocus();
    QTest::keyClick(&window, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(field->hasFocus());
    QTest::keyClicks(field, QStringLiteral("report"));
    EXPECT_EQ(shown(), 2) << "a name in another case, and a destination";
    EXPECT_EQ(pane->tableView()->table().rowCount(), 3);
    field->setText(QStringLiteral("财务"));
    EXPECT_EQ(shown(), 1);
    field->setText(kStatusFault);
    ASSERT_EQ(shown(), 1);
    EXPECT_EQ(pane->tableView()->model()->index(0, CellFileName).data().toString(),
              QStringLiteral("notes.txt"));
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_EQ(field->text(), QString());
    EXPECT_EQ(shown(), 3);
}

} // namespace
