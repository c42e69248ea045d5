#include "core/config/SettingsRecord.h"
#include "gui/views/CContentView.h"
#include "gui/views/CDriveExplorerView.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// A double-click as the platform delivers it: press and release, then the double-click.
void doubleClick(QAbstractItemView *view, QPoint where) {
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, where);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, where);
}

// The two folder panes wired as the frame wires them, over a real transit folder.
class BrowseViewsTest : public ::testing::Test {
protected:
    BrowseViewsTest() : m_files(m_cfg), m_folders(m_cfg) {
        m_cfg.transitFolder = m_dir.path() + QLatin1Char('/');
        for (const char *name : {"A/a.txt", "A/b.pdf", "B/c.jpg", "C/d.txt", "C/e.txt"}) {
            TestFiles::write(m_dir.filePath(QString::fromLatin1(name)), "content");
        }
        QObject::connect(&m_folders, &CContentView::currentDirChanged, &m_files,
                         &CDriveExplorerView::showFolder);
        m_files.resize(400, 300);
        m_folders.resize(500, 200);
        m_files.show();
        m_folders.show();
        m_files.OnInitialUpdate();
        m_folders.OnInitialUpdate();
    }

    QString folderText(int row, int column) const { return m_folders.item(row, column)->text(); }
    QStringList fileNames() const {
        QStringList names;
        for (int row = 0; row < m_files.rowCount(); ++row) {
            names << m_files.item(row, 0)->text();
        }
        return names;
    }

    QTemporaryDir m_dir;
    SettingsRecord m_cfg;
    CDriveExplorerView m_files;
    CContentView m_folders;
};

TEST_F(BrowseViewsTest, TheFirstSubfolderIsCurrentAndItsFilesShowWithTypesAndIcons) {
    ASSERT_EQ(m_folders.rowCount(), 3);
    EXPECT_EQ(m_folders.horizontalHeaderItem(0)->text(), QStringLiteral("中转子目录  (双击切换当前目录)"));
    EXPECT_EQ(m_folders.columnWidth(0), 260);
    EXPECT_EQ(m_folders.columnWidth(1), 80);
    EXPECT_EQ(folderText(0, 0), QStringLiteral("A"));
    EXPECT_EQ(folderText(0, 1), QStringLiteral("2"));
    EXPECT_EQ(folderText(0, 2), QStringLiteral("当前目录"));
    EXPECT_EQ(m_folders.currentDir(), QStringLiteral("A"));
    EXPECT_EQ(fileNames(), (QStringList{QStringLiteral("b.pdf"), QStringLiteral("a.txt")}));
    EXPECT_EQ(m_files.item(0, 1)->text(), QStringLiteral("PDF File"));
    EXPECT_EQ(m_files.item(0, 2)->text(), QStringLiteral("0"));
    EXPECT_FALSE(m_files.item(0, 0)->icon().isNull());

    // What is not queued is listed all the same, greyed, its reason on every cell.
    QTemporaryDir outside;
    TestFiles::write(outside.filePath(QStringLiteral("elsewhere.txt")), "x");
    ASSERT_TRUE(QFile::link(outside.filePath(QStringLiteral("elsewhere.txt")),
                            m_dir.filePath(QStringLiteral("A/link.txt"))));
    ASSERT_EQ(::mkfifo(QFile::encodeName(m_dir.filePath(QStringLiteral("A/pipe.txt"))).constData(), 0600), 0);
    ASSERT_TRUE(m_files.fillFileList());
    EXPECT_EQ(fileNames(), (QStringList{QStringLiteral("pipe.txt"), QStringLiteral("link.txt"),
                                        QStringLiteral("b.pdf"), QStringLiteral("a.txt")}));
    const QColor greyed = m_files.palette().color(QPalette::Disabled, QPalette::Text);
    EXPECT_EQ(m_files.item(0, 2)->toolTip(),
              QStringLiteral("文件“pipe.txt”不是普通文件（文件夹、管道、套接字或设备）"));
    EXPECT_EQ(m_files.item(1, 0)->toolTip(), QStringLiteral("文件“link.txt”是符号链接，不会被跟随"));
    EXPECT_EQ(m_files.item(1, 1)->foreground().color(), greyed);
    EXPECT_EQ(m_files.item(2, 0)->toolTip(), QString());
    EXPECT_NE(m_files.item(2, 0)->foreground().color(), greyed);
}

TEST_F(BrowseViewsTest, DoubleClickingAFolderMakesItCurrentAndRefillsTheFiles) {
    const QRect third = m_folders.visualRect(m_folders.model()->index(2, 0));
    doubleClick(&m_folders, third.center());
    EXPECT_EQ(m_folders.currentDir(), QStringLiteral("C"));
    EXPECT_EQ(folderText(2, 2), QStringLiteral("当前目录"));
    EXPECT_EQ(folderText(0, 2), QStringLiteral(" "));
    EXPECT_EQ(fileNames(), (QStringList{QStringLiteral("e.txt"), QStringLiteral("d.txt")}));

    // Below the last row: nothing happens.
    QTest::mouseDClick(m_folders.viewport(), Qt::LeftButton, Qt::NoModifier,
                       QPoint(20, m_folders.viewport()->height() - 5));
    EXPECT_EQ(m_folders.currentDir(), QStringLiteral("C"));

    // A current folder removed on disk: the position decides on the next refresh.
    ASSERT_TRUE(QDir(m_dir.filePath(QStringLiteral("A"))).removeRecursively());
    m_folders.refreshFolderList();
    EXPECT_EQ(m_folders.currentDir(), QStringLiteral("B"));
    EXPECT_EQ(fileNames(), QStringList{QStringLiteral("c.jpg")});
}

TEST_F(BrowseViewsTest, FileColumnsFollowThePaneAndDoubleClicksQueueOnlyWhileStopped) {
    m_files.resize(m_files.width() + 100, 300);
    const int width = m_files.viewport()->width();
    EXPECT_EQ(m_files.columnWidth(0), width / 2);
    EXPECT_EQ(m_files.columnWidth(1), width / 4);
    EXPECT_EQ(m_files.columnWidth(2), width / 4);

    QSignalSpy activated(&m_files, &CDriveExplorerView::fileActivated);
    const QRect first = m_files.visualRect(m_files.model()->index(0, 0));
    m_files.setQueueingAllowed(false);
    doubleClick(&m_files, first.center());
    EXPECT_EQ(activated.count(), 0);
    m_files.setQueueingAllowed(true);
    doubleClick(&m_files, first.center());
    ASSERT_EQ(activated.count(), 1);
    EXPECT_EQ(activated.first().first().toString(), QStringLiteral("b.pdf"));
}

} // namespace
