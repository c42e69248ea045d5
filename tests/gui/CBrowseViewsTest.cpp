#include "core/config/FileTypeFilter.h"
#include "core/config/InnerPathMapping.h"
#include "core/config/SettingsRecord.h"
#include "gui/views/CContentView.h"
#include "gui/views/CDriveExplorerView.h"
#include "support/RecordingResponder.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QHeaderView>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
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

    // Drops urls on view's viewport as a file manager does.
    void drop(QAbstractItemView *view, const QList<QUrl> &urls, QPoint where = QPoint(5, 5)) {
        QMimeData data;
        data.setUrls(urls);
        // The application delivers a drop only where the drag entered and was taken.
        QDragEnterEvent enter(where, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &enter);
        QDropEvent event(where, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &event);
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
    EXPECT_EQ(m_files.item(0, 2)->text(), QStringLiteral("7 B"));
    EXPECT_EQ(m_files.item(0, 2)->toolTip(), QStringLiteral("7 字节"));
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

TEST_F(BrowseViewsTest, RefusedTypesAreGreyedAndUnmappedFoldersMarked) {
    FileTypeFilter filter(m_dir.filePath(QStringLiteral("Brelvantis.filter")));
    ASSERT_EQ(filter.write(QStringLiteral("txt:")).outcome, FileTypeFilter::WriteResult::Outcome::Written);
    ASSERT_TRUE(filter.load());
    const InnerPathMapping mapping(m_dir.filePath(QStringLiteral("Brelvantis.path")));
    TestFiles::write(mapping.filePath(), "|A*d://A>192.168.1.10:4321|C*d://C>192.168.1.10:4321|");
    m_files.setFilter(&filter);
    m_folders.setMapping(&mapping);
    m_folders.refreshFolderList();

    ASSERT_EQ(fileNames(), (QStringList{QStringLiteral("b.pdf"), QStringLiteral("a.txt")}));
    const QColor greyed = m_files.palette().color(QPalette::Disabled, QPalette::Text);
    EXPECT_EQ(m_files.item(0, 0)->foreground().color(), greyed);
    EXPECT_EQ(m_files.item(0, 0)->toolTip(),
              QStringLiteral("不能上传该类型文件（扩展名 .pdf 不在允许列表中）"));
    EXPECT_EQ(m_files.item(0, 2)->toolTip(),
              QStringLiteral("不能上传该类型文件（扩展名 .pdf 不在允许列表中）\n7 字节"));
    EXPECT_NE(m_files.item(1, 0)->foreground().color(), greyed);

    // A name its column cuts short shows whole as tooltip.
    const QString longName = QStringLiteral("2026年第四季度各部门预算执行情况汇总与分析报告（终稿）.txt");
    TestFiles::write(m_dir.filePath(QStringLiteral("A/") + longName), "x");
    ASSERT_TRUE(m_files.fillFileList());
    const int last = m_files.rowCount() - 1; // sorted first, shown last
    const QRect cell = m_files.visualRect(m_files.model()->index(last, 0));
    ASSERT_EQ(m_files.item(last, 0)->text(), longName);
    QHelpEvent help(QEvent::ToolTip, cell.center(), m_files.viewport()->mapToGlobal(cell.center()));
    QApplication::sendEvent(m_files.viewport(), &help);
    EXPECT_EQ(QToolTip::text(), longName);

    EXPECT_EQ(folderText(0, 0), QStringLiteral("A"));
    EXPECT_EQ(folderText(1, 0), QStringLiteral("B（未配置内网路径）"));
    EXPECT_EQ(
        m_folders.item(1, 0)->toolTip(),
        QStringLiteral(
            "子文件夹“B”未配置内网路径：其中的文件不能加入上传队列，请在“软件设置 → 内网路径”中配置。"));
}

TEST_F(BrowseViewsTest, ChangesOnDiskShowWithinTwoSecondsKeepingTheSelection) {
    m_files.selectRow(1);
    ASSERT_EQ(m_files.item(m_files.currentRow(), 0)->text(), QStringLiteral("a.txt"));
    TestFiles::write(m_dir.filePath(QStringLiteral("A/0-new.txt")), "new");
    TestFiles::write(m_dir.filePath(QStringLiteral("B/other.txt")), "other");
    EXPECT_TRUE(QTest::qWaitFor([this] { return fileNames().contains(QStringLiteral("0-new.txt")); }, 2000));
    EXPECT_EQ(folderText(0, 1), QStringLiteral("3"));
    EXPECT_EQ(folderText(1, 1), QStringLiteral("2")) << "a rescan counts every subfolder";
    ASSERT_EQ(m_files.selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(m_files.item(m_files.selectionModel()->selectedRows().first().row(), 0)->text(),
              QStringLiteral("a.txt"));
}

TEST_F(BrowseViewsTest, DroppedFilesAndFoldersAreCopiedWithoutReplacingOrFollowingLinks) {
    RecordingResponder responder;
    QTemporaryDir from;
    TestFiles::write(from.filePath(QStringLiteral("one.txt")), "one");
    TestFiles::write(from.filePath(QStringLiteral("a.txt")), "dropped");
    TestFiles::write(from.filePath(QStringLiteral("docs/inner/deep.txt")), "deep");
    QTemporaryDir outside;
    TestFiles::write(outside.filePath(QStringLiteral("secret.txt")), "secret");
    ASSERT_TRUE(QFile::link(outside.filePath(QStringLiteral("secret.txt")),
                            from.filePath(QStringLiteral("docs/link.txt"))));

    QSignalSpy copied(&m_files, &CDriveExplorerView::dropCopied);
    drop(&m_files, {QUrl::fromLocalFile(from.filePath(QStringLiteral("one.txt"))),
                    QUrl::fromLocalFile(from.filePath(QStringLiteral("a.txt"))),
                    QUrl::fromLocalFile(from.filePath(QStringLiteral("docs")))});
    ASSERT_TRUE(copied.wait(5000));
    const QString summary =
        QStringLiteral("已复制 2 个文件、1 个文件夹；2 个未复制：当前子文件夹中已有“a.txt”，未复制；"
                       "文件“docs/link.txt”是符号链接，不会被跟随");
    EXPECT_EQ(copied.first().first().toString(), summary);
    ASSERT_EQ(responder.notices.size(), 1);
    EXPECT_EQ(responder.notices.first().text, summary);
    EXPECT_EQ(TestFiles::read(m_dir.filePath(QStringLiteral("A/one.txt"))), "one");
    EXPECT_EQ(TestFiles::read(m_dir.filePath(QStringLiteral("A/a.txt"))), "content") << "never replaced";
    EXPECT_EQ(TestFiles::read(m_dir.filePath(QStringLiteral("A/docs/inner/deep.txt"))), "deep");
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath(QStringLiteral("A/docs/link.txt"))));
    EXPECT_TRUE(QFileInfo::exists(from.filePath(QStringLiteral("one.txt")))) << "a copy, not a move";
    EXPECT_EQ(fileNames(),
              (QStringList{QStringLiteral("one.txt"), QStringLiteral("b.pdf"), QStringLiteral("a.txt")}));

    // On a subfolder that is not current: refused, nothing copied.
    const QRect second = m_folders.visualRect(m_folders.model()->index(1, 0));
    drop(&m_folders, {QUrl::fromLocalFile(from.filePath(QStringLiteral("one.txt")))}, second.center());
    ASSERT_EQ(responder.notices.size(), 2);
    EXPECT_EQ(responder.notices.last().text,
              QStringLiteral("子文件夹“B”不是当前目录，未复制：请先双击它使其成为当前目录，再拖放文件。"));
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath(QStringLiteral("B/one.txt"))));
}

} // namespace
