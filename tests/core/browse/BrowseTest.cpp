#include "core/browse/FileList.h"
#include "core/browse/FileTypeName.h"
#include "core/browse/TransitDrop.h"
#include "core/browse/TransitFolderList.h"
#include "core/config/FileTypeFilter.h"
#include "core/config/InnerPathMapping.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

TEST(FileTypeName, NamesFollowTheFirstDotAndTheTableOrder) {
    EXPECT_EQ(getFileTypeName(QStringLiteral("a.txt")), QStringLiteral("TEXT File"));
    EXPECT_EQ(getFileTypeName(QStringLiteral("b.pdf")), QStringLiteral("PDF File"));
    EXPECT_EQ(getFileTypeName(QStringLiteral("c.dat")), QStringLiteral("DAT File"));
    EXPECT_EQ(getFileTypeName(QStringLiteral("report.final.pdf")), QStringLiteral("FINAL.PDF File"));
    EXPECT_EQ(getFileTypeName(QStringLiteral("README")), QStringLiteral("README File"));
    EXPECT_EQ(getFileTypeName(QStringLiteral(".profile")), QStringLiteral(".PROFILE File"));
    EXPECT_EQ(getFileTypeName(QStringLiteral("setup.exe")), QStringLiteral("SETUP File"));
    EXPECT_EQ(getFileTypeName(QStringLiteral("install.exe")), QStringLiteral("Application"));
    EXPECT_EQ(getFileTypeName(QStringLiteral("main.h")), QStringLiteral("Header File"));
    EXPECT_EQ(getFileTypeName(QStringLiteral("photo.Jpeg")), QStringLiteral("Picture File"));
    EXPECT_EQ(getFileTypeName(QStringLiteral("报告.xls")), QStringLiteral("EXCEL File"));
    // Only a-z are upper-cased: other letters stay as they are.
    EXPECT_EQ(getFileTypeName(QStringLiteral("x.é")), QStringLiteral("é File"));
}

TEST(FileList, ExactSizesAreGroupedByThousands) {
    EXPECT_EQ(FileList::exactSizeText(3), QStringLiteral("3 字节"));
    EXPECT_EQ(FileList::exactSizeText(1934), QStringLiteral("1,934 字节"));
    EXPECT_EQ(FileList::exactSizeText(1'234'567'890), QStringLiteral("1,234,567,890 字节"));
}

TEST(FileList, SizesAreWholeKilobytesAndEmptyOnlyForEmptyFiles) {
    EXPECT_EQ(FileList::sizeText(0), QString());
    EXPECT_EQ(FileList::sizeText(1), QStringLiteral("0"));
    EXPECT_EQ(FileList::sizeText(1023), QStringLiteral("0"));
    EXPECT_EQ(FileList::sizeText(1536), QStringLiteral("1"));
    EXPECT_EQ(FileList::sizeText(4LL << 30), QStringLiteral("4194304"));
}

class TransitFolderTest : public ::testing::Test {
protected:
    QString path(const QString &relative) const { return m_root.filePath(relative); }
    QString transit() const { return m_root.path() + QLatin1Char('/'); }

    QTemporaryDir m_root;
};

TEST_F(TransitFolderTest, FilesAreListedInReverseNameOrderWithoutSubfolders) {
    TestFiles::write(path(QStringLiteral("A/a.txt")), "x");
    TestFiles::write(path(QStringLiteral("A/b.pdf")), QByteArray(1536, 'p'));
    TestFiles::write(path(QStringLiteral("A/c.dat")), QByteArray());
    TestFiles::makeFolder(path(QStringLiteral("A/inner")));

    FileList list;
    ASSERT_TRUE(list.fillFileList(transit(), QStringLiteral("A")));
    ASSERT_EQ(list.rows().size(), 3);
    EXPECT_EQ(list.rows()[0].name, QStringLiteral("c.dat"));
    EXPECT_EQ(list.rows()[0].typeName, QStringLiteral("DAT File"));
    EXPECT_EQ(list.rows()[0].sizeText, QStringLiteral("0 B"));
    EXPECT_EQ(list.rows()[1].name, QStringLiteral("b.pdf"));
    EXPECT_EQ(list.rows()[1].sizeText, QStringLiteral("1.5 KB"));
    EXPECT_EQ(list.rows()[1].sizeTip, QStringLiteral("1,536 字节"));
    EXPECT_EQ(list.rows()[2].name, QStringLiteral("a.txt"));

    // A subfolder that vanished leaves the previous rows in place.
    EXPECT_FALSE(list.fillFileList(transit(), QStringLiteral("gone")));
    EXPECT_EQ(list.rows().size(), 3);

    // With no current subfolder the transit folder's own files show.
    TestFiles::write(path(QStringLiteral("loose.txt")), "x");
    ASSERT_TRUE(list.fillFileList(transit(), QString()));
    ASSERT_EQ(list.rows().size(), 1);
    EXPECT_EQ(list.rows()[0].name, QStringLiteral("loose.txt"));
}

TEST_F(TransitFolderTest, SubfoldersAreSortedAndCountOnlyTheirOwnFiles) {
    TestFiles::write(path(QStringLiteral("B/one.txt")), "1");
    TestFiles::write(path(QStringLiteral("B/.hidden")), "h");
    TestFiles::makeFolder(path(QStringLiteral("B/deeper")));
    TestFiles::write(path(QStringLiteral("B/deeper/not-counted.txt")), "x");
    TestFiles::makeFolder(path(QStringLiteral("a")));
    TestFiles::makeFolder(path(QStringLiteral(".git")));
    TestFiles::makeFolder(path(QStringLiteral("中文")));
    TestFiles::write(path(QStringLiteral("file-in-transit.txt")), "x");

    TransitFolderList list;
    ASSERT_TRUE(list.refreshFolderList(transit()));
    QStringList names;
    for (const auto &row : list.rows()) {
        names << row.name;
    }
    EXPECT_EQ(names, (QStringList{QStringLiteral(".git"), QStringLiteral("a"), QStringLiteral("B"),
                                  QStringLiteral("中文")}));
    EXPECT_EQ(list.rows()[2].fileCount, 2);
    EXPECT_EQ(list.rows()[1].fileCount, 0);
    EXPECT_EQ(list.currentItem(), 0);
    EXPECT_EQ(list.currentDir(), QStringLiteral(".git"));
    EXPECT_EQ(list.rows()[0].status, TransitFolderList::kCurrentStatus);
}

TEST_F(TransitFolderTest, LinksArePlainEntriesThatTheListsNeverFollow) {
    TestFiles::write(path(QStringLiteral("A/a.txt")), "x");
    QTemporaryDir outside;
    TestFiles::write(outside.filePath(QStringLiteral("secret.txt")), "outside");
    ASSERT_TRUE(
        QFile::link(outside.filePath(QStringLiteral("secret.txt")), path(QStringLiteral("A/link.txt"))));
    ASSERT_TRUE(QFile::link(outside.path(), path(QStringLiteral("A/folder-link"))));
    ASSERT_TRUE(QFile::link(path(QStringLiteral("A")), path(QStringLiteral("B-linked"))));
    const QByteArray undecodable = QFile::encodeName(path(QStringLiteral("A/"))) + "caf\xe9.txt";
    std::FILE *raw = std::fopen(undecodable.constData(), "w");
    ASSERT_NE(raw, nullptr);
    std::fclose(raw);

    TransitFolderList folders;
    ASSERT_TRUE(folders.refreshFolderList(transit()));
    ASSERT_EQ(folders.rows().size(), 1) << "a link to a folder is no subfolder";
    EXPECT_EQ(folders.rows()[0].name, QStringLiteral("A"));

    FileList list;
    ASSERT_TRUE(list.fillFileList(transit(), QStringLiteral("A")));
    QStringList shown;
    for (const FileList::Row &row : list.rows()) {
        shown << row.name + QStringLiteral(" | ") + row.sizeText + QStringLiteral(" | ") + row.refusal;
    }
    EXPECT_EQ(shown,
              (QStringList{QStringLiteral("link.txt |  | 文件“link.txt”是符号链接，不会被跟随"),
                           QStringLiteral("folder-link |  | 文件“folder-link”是符号链接，不会被跟随"),
                           QStringLiteral("caf\uFFFD.txt |  | 文件名“caf\\xE9.txt”不是有效的 UTF-8 编码"),
                           QStringLiteral("a.txt | 1 B | ")}));
    EXPECT_EQ(TransitFolderList::countFiles(path(QStringLiteral("A"))), 4)
        << "the count is the number of rows the list shows, links and undecodable names too";
    ::unlink(undecodable.constData()); // the temporary folder knows its names only decoded
}

TEST_F(TransitFolderTest, CurrentRowFollowsItsPositionAcrossRebuilds) {
    for (const char *name : {"A", "B", "C"}) {
        TestFiles::makeFolder(path(QString::fromLatin1(name)));
    }
    TransitFolderList list;
    ASSERT_TRUE(list.refreshFolderList(transit()));
    ASSERT_TRUE(list.setCurrentItem(2));
    EXPECT_EQ(list.currentDir(), QStringLiteral("C"));
    EXPECT_EQ(list.rows()[0].status, TransitFolderList::kFormerStatus);
    EXPECT_EQ(list.rows()[2].status, TransitFolderList::kCurrentStatus);
    EXPECT_FALSE(list.setCurrentItem(3));

    // A vanishes: C's old position 2 no longer exists, so the first row becomes current.
    ASSERT_TRUE(QDir(path(QStringLiteral("A"))).removeRecursively());
    ASSERT_TRUE(list.refreshFolderList(transit()));
    EXPECT_EQ(list.currentItem(), 0);
    EXPECT_EQ(list.currentDir(), QStringLiteral("B"));
    // A rebuild clears the earlier marks: only the current row carries a status.
    EXPECT_EQ(list.rows()[0].status, TransitFolderList::kCurrentStatus);
    EXPECT_EQ(list.rows()[1].status, QString());

    // The position, not the name, is kept: a new folder sorted before C makes B current again.
    ASSERT_TRUE(list.setCurrentItem(1));
    TestFiles::makeFolder(path(QStringLiteral("0-first")));
    ASSERT_TRUE(list.refreshFolderList(transit()));
    EXPECT_EQ(list.currentItem(), 1);
    EXPECT_EQ(list.currentDir(), QStringLiteral("B"));
}

TEST_F(TransitFolderTest, MissingTransitFolderKeepsTheCurrentName) {
    TestFiles::makeFolder(path(QStringLiteral("A")));
    TransitFolderList list;
    ASSERT_TRUE(list.refreshFolderList(transit()));
    EXPECT_FALSE(list.refreshFolderList(path(QStringLiteral("missing/"))));
    EXPECT_TRUE(list.rows().isEmpty());
    EXPECT_EQ(list.currentDir(), QStringLiteral("A"));
    EXPECT_FALSE(list.refreshFolderList(QString()));
}

TEST_F(TransitFolderTest, TheAllowListAndTheMappingMarkWhatCannotBeQueued) {
    FileTypeFilter filter(path(QStringLiteral("Brelvantis.filter")));
    ASSERT_EQ(filter.write(QStringLiteral("txt:")).outcome, FileTypeFilter::WriteResult::Outcome::Written);
    ASSERT_TRUE(filter.load());
    for (const char *name : {"A/tool.exe", "A/README", "A/notes.TXT", "B/b.txt"}) {
        TestFiles::write(path(QString::fromLatin1(name)), "x");
    }
    FileList files;
    ASSERT_TRUE(files.fillFileList(transit(), QStringLiteral("A"), &filter));
    QStringList refusals;
    for (const FileList::Row &row : files.rows()) {
        refusals << row.name + QStringLiteral(" | ") + row.refusal;
    }
    EXPECT_EQ(refusals,
              (QStringList{QStringLiteral("tool.exe | 不能上传该类型文件（扩展名 .exe 不在允许列表中）"),
                           QStringLiteral("README | 不能上传该类型文件（没有扩展名）"),
                           QStringLiteral("notes.TXT | ")}));

    TestFiles::makeFolder(path(QStringLiteral("C")));
    const InnerPathMapping mapping(path(QStringLiteral("Brelvantis.path")));
    TransitFolderList folders;
    ASSERT_TRUE(folders.refreshFolderList(transit(), &mapping));
    EXPECT_EQ(folders.rows()[1].mark, QStringLiteral("未配置内网路径"));
    EXPECT_EQ(folders.rows()[1].markTip,
              QStringLiteral("无法读取内网路径配置文件“%1”：其中的文件不能加入上传队列，"
                             "请在“软件设置 → 内网路径”中配置。")
                  .arg(mapping.filePath()));

    TestFiles::write(mapping.filePath(), "|A*d://A>192.168.1.10:4321|C*>|");
    ASSERT_TRUE(folders.refreshFolderList(transit(), &mapping));
    QStringList marks;
    for (const TransitFolderList::Row &row : folders.rows()) {
        marks << row.name + QStringLiteral(" | ") + row.mark;
    }
    EXPECT_EQ(marks, (QStringList{QStringLiteral("A | "), QStringLiteral("B | 未配置内网路径"),
                                  QStringLiteral("C | 内网路径配置不正确")}));
    EXPECT_EQ(
        folders.rows()[1].markTip,
        QStringLiteral(
            "子文件夹“B”未配置内网路径：其中的文件不能加入上传队列，请在“软件设置 → 内网路径”中配置。"));
}

TEST_F(TransitFolderTest, ALiveRescanKeepsTheCurrentFolderByName) {
    for (const char *name : {"B", "C"}) {
        TestFiles::makeFolder(path(QString::fromLatin1(name)));
    }
    TransitFolderList list;
    ASSERT_TRUE(list.refreshFolderList(transit()));
    ASSERT_TRUE(list.setCurrentItem(1));
    TestFiles::makeFolder(path(QStringLiteral("A")));
    ASSERT_TRUE(list.refreshFolderList(transit(), nullptr, TransitFolderList::Keep::Name));
    EXPECT_EQ(list.currentDir(), QStringLiteral("C"));
    EXPECT_EQ(list.currentItem(), 2);
    // Once it is gone, its position decides, as on a refresh.
    ASSERT_TRUE(QDir(path(QStringLiteral("C"))).removeRecursively());
    ASSERT_TRUE(list.refreshFolderList(transit(), nullptr, TransitFolderList::Keep::Name));
    EXPECT_EQ(list.currentDir(), QStringLiteral("A"));
}

TEST_F(TransitFolderTest, ACancelledDropLeavesNothingBehind) {
    TestFiles::write(path(QStringLiteral("from/big.bin")), QByteArray(3 << 20, 'b'));
    TestFiles::makeFolder(path(QStringLiteral("A")));
    std::atomic_bool cancelled{false};
    TransitDrop::Options options;
    options.cancelled = &cancelled;
    options.progress = [&cancelled](qint64 done, qint64 total) {
        EXPECT_EQ(total, 2 * (3 << 20)); // the file, and again inside its folder
        cancelled = done > 0;            // after the first block
    };
    const TransitDrop::Result result =
        TransitDrop::copyInto({QUrl::fromLocalFile(path(QStringLiteral("from/big.bin"))),
                               QUrl::fromLocalFile(path(QStringLiteral("from")))},
                              path(QStringLiteral("A")), options);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(TransitDrop::summary(result), QStringLiteral("复制已取消，已复制 0 个文件"));
    EXPECT_EQ(
        QDir(path(QStringLiteral("A"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList())
        << "neither the half copy nor its staging folder stays";
}

} // namespace
