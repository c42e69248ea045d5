// Pictures of the two configuration dialogs with sample data, for people to look at: taken only when
// BRELVANTIS_SCREENSHOT_DIR names the folder to save them in (scripts/screenshot-dialogs does that on a
// virtual screen). Without it the tests are skipped.
#include "app/CBrelvantisApp.h"
#include "core/config/FileTypeFilter.h"
#include "core/config/InnerPathMapping.h"
#include "core/config/SettingsStore.h"
#include "gui/dialogs/CCfgDlg.h"
#include "gui/dialogs/CInnerPathDlg.h"
#include "support/TestFiles.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class DialogScreenshot : public ::testing::Test {
protected:
    void SetUp() override {
        outputFolder = qEnvironmentVariable("BRELVANTIS_SCREENSHOT_DIR");
        if (outputFolder.isEmpty()) {
            GTEST_SKIP() << "BRELVANTIS_SCREENSHOT_DIR is not set";
        }
        ASSERT_TRUE(work.isValid());
        // As the station shows them: Qt's own texts in Chinese.
        CBrelvantisApp::setUp(*qApp);
        transit = work.path() + QStringLiteral("/中转/");
        for (const QString &name :
             {QStringLiteral("广告"), QStringLiteral("财务部"), QStringLiteral("技术资料"),
              QStringLiteral("人事档案"), QStringLiteral(".备份")}) {
            TestFiles::makeFolder(transit + name);
        }
        mapping.write(
            {{QStringLiteral("广告"), QStringLiteral("192.168.1.1:4321"), QStringLiteral("d://广告")},
             {QStringLiteral("技术资料"), QStringLiteral("192.168.1.20:4321"),
              QStringLiteral("e://资料/技术")}});
    }

    // Saves the widget as drawn, and, on a real screen, the window with its frame as well.
    void save(QWidget &window, const QString &name) {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(500);
        const QString base = outputFolder + '/' + name;
        ASSERT_TRUE(window.grab().save(base + QStringLiteral(".png")));
        if (QGuiApplication::platformName() == QStringLiteral("xcb")) {
            // The window manager's frame arrives some time after the window is shown.
            EXPECT_TRUE(QTest::qWaitFor([&] { return window.frameGeometry() != window.geometry(); }, 3000));
            const QRect frame = window.frameGeometry();
            const QPixmap shot =
                window.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
            ASSERT_TRUE(shot.save(base + QStringLiteral("-window.png")));
        }
    }

    QString outputFolder;
    QTemporaryDir work;
    QString transit;
    InnerPathMapping mapping{work.path() + QStringLiteral("/Brelvantis.path")};
};

TEST_F(DialogScreenshot, SettingsDialog) {
    const SettingsStore store(work.path() + QStringLiteral("/Berlvantis.ini"));
    FileTypeFilter filter(work.path() + QStringLiteral("/Brelvantis.filter"));
    filter.write(QStringLiteral("txt:doc:xls:pdf:jpg:"));
    SettingsRecord record;
    CCfgDlg dialog(record, store, mapping, filter);
    // The folders need not exist for the picture.
    record = {QStringLiteral("/srv/brelvantis/回收/"),
              QStringLiteral("/srv/brelvantis/上传/"),
              QStringLiteral("/srv/brelvantis/中转/"),
              QStringLiteral("txt|doc|xls"),
              QStringLiteral("/srv/brelvantis/记录/"),
              QStringLiteral("192.168.0.10"),
              QStringLiteral("4321")};
    save(dialog, QStringLiteral("settings-dialog"));
}

TEST_F(DialogScreenshot, InnerPathDialog) {
    CInnerPathDlg dialog(transit, mapping);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    // Choose the row of "广告" (after ".备份" and "人事档案"), as an operator about to change it would.
    auto *list = dialog.findChild<QTableWidget *>(QStringLiteral("mappingList"));
    const QRect row = list->visualRect(list->model()->index(2, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
    save(dialog, QStringLiteral("inner-path-dialog"));
}

} // namespace
