#include "gui/dialogs/CHistoryDlg.h"

#include "core/history/HistoryService.h"
#include "core/records/RecordLog.h"
#include "core/records/UploadRecord.h"
#include "core/xls/Workbook.h"
#include "support/RecordingResponder.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace UploadRecord;

namespace {

constexpr int kPatience = 30000; // ms; the index is built on the service's thread

// The history window on a record folder with two day logs written by the station's own writer and a
// file named like a day that is no workbook, read by the real history service.
class CHistoryDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        folder = dir.path() + QLatin1Char('/');
        writeDay(QStringLiteral("2026-11-01"),
                 {{QStringLiteral("1"), QStringLiteral("年度预算-FY2026.xls"), QStringLiteral("812 KB"),
                   QStringLiteral("192.168.1.1:4321||d://财务"), kStatusComplete,
                   QStringLiteral("2026-11-01 09:00:01"), QStringLiteral("2026-11-01 09:00:03")}});
        writeDay(QStringLiteral("2026-11-03"),
                 {{QStringLiteral("1"), QStringLiteral("会议纪要.txt"), QStringLiteral("3 KB"),
                   QStringLiteral("192.168.1.1:4321||d://广告"), kStatusComplete,
                   QStringLiteral("2026-11-03 10:12:00"), QStringLiteral("2026-11-03 10:12:01")},
                  {QStringLiteral("2"), QStringLiteral("设计图.pdf"), QStringLiteral("20480 KB"),
                   QStringLiteral("192.168.1.20:4321||e://资料/技术"), kStatusFault,
                   QStringLiteral("2026-11-03 10:13:00"), QString()}});
        TestFiles::write(folder + QStringLiteral("2026-11-02.xls"), "not a workbook at all");

        window = std::make_unique<CHistoryDlg>(service, folder);
        window->setSaveFileChooser(
            [this](QWidget *, const QString &, const QString &suggested, const QString &) {
                suggestions << suggested;
                return nextSavePath;
            });
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    void writeDay(const QString &day, const Xls::Rows &rows) {
        QString error;
        ASSERT_TRUE(Xls::writeWorkbook(folder + day + QStringLiteral(".xls"), QStringLiteral("Sheet1"),
                                       Xls::Rows{RecordLog::kColumnNames} + rows, &error))
            << error.toStdString();
    }

    template <typename Widget> Widget *child(const char *name) const {
        auto *widget = window->findChild<Widget *>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    static QString cell(QTableView *table, int row, int column, int role = Qt::DisplayRole) {
        return table->model()->index(row, column).data(role).toString();
    }

    static int fileNameColumn(QTableView *table) {
        for (int column = 0; column < table->model()->columnCount(); ++column) {
            if (table->model()->headerData(column, Qt::Horizontal).toString() == QStringLiteral("文件名称")) {
                return column;
            }
        }
        return -1;
    }

    RecordingResponder answers;
    QTemporaryDir dir;
    QString folder;
    HistoryService service;
    std::unique_ptr<CHistoryDlg> window;
    QStringList suggestions;
    QString nextSavePath;
};

TEST_F(CHistoryDlgTest, ListsEveryDayFindsAnEarlierRecordAndExportsIt) {
    EXPECT_EQ(window->windowTitle(), QStringLiteral("历史记录"));
    auto *days = child<QTableView>("dayList");
    ASSERT_TRUE(QTest::qWaitFor([&] { return days->model()->rowCount() == 3; }, kPatience));
    // Newest first; the file that is no workbook is marked and says why, and hides no other day.
    EXPECT_TRUE(cell(days, 0, 0).startsWith(QStringLiteral("2026-11-03")));
    EXPECT_EQ(cell(days, 0, 1), QStringLiteral("2"));
    EXPECT_TRUE(cell(days, 1, 0).startsWith(QStringLiteral("2026-11-02")));
    EXPECT_EQ(cell(days, 1, 1), QStringLiteral("无法读取"));
    EXPECT_EQ(cell(days, 2, 1), QStringLiteral("1"));
    // The newest day is shown until another is chosen.
    auto *dayRecords = child<QTableView>("dayRecords");
    ASSERT_TRUE(QTest::qWaitFor([&] { return dayRecords->model()->rowCount() == 2; }, kPatience));

    QTest::mouseClick(days->viewport(), Qt::LeftButton, Qt::NoModifier,
                      days->visualRect(days->model()->index(1, 0)).center());
    auto *dayTitle = child<QLabel>("dayTitle");
    const QString problem =
        QStringLiteral(
            "无法识别 %1：不是可读的记录表\n"
            "The file is not an Excel 97-2003 workbook: it is no OLE2 compound file (No OLE2 signature).")
            .arg(QDir::toNativeSeparators(folder + QStringLiteral("2026-11-02.xls")));
    EXPECT_EQ(dayTitle->text(), QStringLiteral("2026-11-02（周一）有文件无法读取：\n") + problem);
    EXPECT_EQ(cell(days, 1, 1, Qt::ToolTipRole), problem);

    // Typing searches all days, ignoring case.
    auto *results = child<QTableView>("searchResults");
    auto *tabs = child<QTabWidget>("historyTabs");
    QTest::keyClicks(child<QLineEdit>("searchEdit"), QStringLiteral("fy2026"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return results->model()->rowCount() == 1; }, kPatience));
    EXPECT_EQ(cell(results, 0, fileNameColumn(results)), QStringLiteral("年度预算-FY2026.xls"));
    EXPECT_TRUE(child<QLabel>("resultSummary")->text().contains(QStringLiteral("1 条")));
    EXPECT_EQ(tabs->currentIndex(), 1);

    // An export that cannot be written says why; one that can holds the result for a spreadsheet.
    nextSavePath = folder + QStringLiteral("no such folder/结果.csv");
    child<QPushButton>("exportCsvButton")->click();
    ASSERT_EQ(answers.notices.size(), 1);
    EXPECT_EQ(answers.notices[0].caption, QStringLiteral("错误"));
    EXPECT_EQ(
        answers.notices[0].text,
        QStringLiteral("无法导出到 %1：文件或文件夹不存在").arg(QDir::toNativeSeparators(nextSavePath)));
    nextSavePath = folder + QStringLiteral("结果.csv");
    child<QPushButton>("exportCsvButton")->click();
    EXPECT_EQ(answers.notices.size(), 1);
    const QByteArray csv = TestFiles::read(nextSavePath);
    EXPECT_TRUE(csv.startsWith("\xEF\xBB\xBF"));
    EXPECT_TRUE(csv.contains(QStringLiteral("年度预算-FY2026.xls").toUtf8()));
    EXPECT_FALSE(csv.contains(QStringLiteral("会议纪要").toUtf8()));
    ASSERT_EQ(suggestions.size(), 2);
    EXPECT_TRUE(suggestions[0].endsWith(QStringLiteral(".csv")));

    // A double-click on a result opens its day with the record chosen.
    const QPoint row = results->visualRect(results->model()->index(0, 0)).center();
    QTest::mouseClick(results->viewport(), Qt::LeftButton, Qt::NoModifier, row);
    QTest::mouseDClick(results->viewport(), Qt::LeftButton, Qt::NoModifier, row);
    EXPECT_TRUE(cell(days, days->currentIndex().row(), 0).startsWith(QStringLiteral("2026-11-01")));
    EXPECT_EQ(tabs->currentIndex(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dayRecords->currentIndex().isValid(); }, kPatience));
    EXPECT_EQ(cell(dayRecords, dayRecords->currentIndex().row(), fileNameColumn(dayRecords)),
              QStringLiteral("年度预算-FY2026.xls"));

    // An empty search box is back at the days.
    tabs->setCurrentIndex(1);
    child<QLineEdit>("searchEdit")->clear();
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_FALSE(tabs->isTabEnabled(1));
}

} // namespace
