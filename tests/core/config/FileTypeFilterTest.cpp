#include "core/config/FileTypeFilter.h"
#include "core/common/Cp936.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

class FileTypeFilterTest : public ::testing::Test {
protected:
    // A filter loaded from a file holding stored, exactly as given.
    FileTypeFilter loadStored(const QByteArray &stored) {
        const QString path = m_dir.filePath(QStringLiteral("Brelvantis.filter"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(stored);
        file.close();
        FileTypeFilter filter(path);
        EXPECT_TRUE(filter.load());
        return filter;
    }

    FileTypeFilter loadText(const QString &text) {
        return loadStored(FileTypeFilter::scramble(Cp936::encode(text).value()));
    }

    QTemporaryDir m_dir;
};

TEST_F(FileTypeFilterTest, EntriesEndWithAColonAndIgnoreTheCaseOfAsciiLetters) {
    const FileTypeFilter filter = loadText(QStringLiteral("txt:doc:"));
    EXPECT_TRUE(filter.permits(QStringLiteral("a.TXT")));
    EXPECT_TRUE(filter.permits(QStringLiteral("b.doc")));
    EXPECT_FALSE(filter.permits(QStringLiteral("c.xls")));
    EXPECT_FALSE(filter.permits(QStringLiteral("README")));
    EXPECT_FALSE(filter.permits(QStringLiteral("txt")));

    const FileTypeFilter upper = loadText(QStringLiteral("PDF:"));
    EXPECT_TRUE(upper.permits(QStringLiteral("报告.pdf")));

    const FileTypeFilter noFinalColon = loadText(QStringLiteral("txt:doc"));
    EXPECT_TRUE(noFinalColon.permits(QStringLiteral("a.txt")));
    EXPECT_FALSE(noFinalColon.permits(QStringLiteral("b.doc")));
}

TEST_F(FileTypeFilterTest, OnlyTheTextAfterTheLastDotIsTheExtension) {
    const FileTypeFilter filter = loadText(QStringLiteral("tar.gz:"));
    EXPECT_FALSE(filter.permits(QStringLiteral("archive.tar.gz")));
    EXPECT_FALSE(filter.permits(QStringLiteral("tar.gz")));
    EXPECT_TRUE(loadText(QStringLiteral("gz:")).permits(QStringLiteral("archive.tar.gz")));
}

TEST_F(FileTypeFilterTest, NameEndingInADotNeedsAnEmptyEntry) {
    EXPECT_FALSE(loadText(QStringLiteral("txt:")).permits(QStringLiteral("x.")));
    EXPECT_TRUE(loadText(QStringLiteral("txt::")).permits(QStringLiteral("x.")));
    EXPECT_TRUE(loadText(QStringLiteral(":txt:")).permits(QStringLiteral("x.")));
    EXPECT_FALSE(loadText(QStringLiteral(":txt:")).permits(QStringLiteral("x")));
}

TEST_F(FileTypeFilterTest, CaseFoldingLeavesDoubleByteCharactersAlone) {
    // 夾 is 0x8A 0x41 and 奱 is 0x8A 0x61: folding bytes would make them equal.
    const FileTypeFilter filter = loadText(QStringLiteral("奱:文档:"));
    EXPECT_FALSE(filter.permits(QStringLiteral("a.夾")));
    EXPECT_TRUE(filter.permits(QStringLiteral("a.奱")));
    EXPECT_TRUE(filter.permits(QStringLiteral("说明.文档")));
}

TEST_F(FileTypeFilterTest, WithoutEntriesEverythingIsRejected) {
    FileTypeFilter missing(m_dir.filePath(QStringLiteral("none.filter")));
    EXPECT_FALSE(missing.load());
    EXPECT_TRUE(missing.text().isEmpty());
    EXPECT_FALSE(missing.permits(QStringLiteral("a.txt")));
    EXPECT_FALSE(missing.permits(QStringLiteral("x.")));

    const FileTypeFilter noColon = loadStored(QByteArray::fromHex("616365"));
    EXPECT_EQ(noColon.text(), QStringLiteral("abc"));
    EXPECT_FALSE(noColon.permits(QStringLiteral("a.abc")));
    EXPECT_FALSE(noColon.permits(QStringLiteral("x.")));
}

TEST_F(FileTypeFilterTest, ScramblingAddsTheOffsetModulo256) {
    EXPECT_EQ(FileTypeFilter::scramble("abc"), QByteArray::fromHex("616365"));
    const QByteArray plain(300, 'a');
    const QByteArray stored = FileTypeFilter::scramble(plain);
    EXPECT_EQ(stored[255], char(0x60)); // 0x61 + 255 wraps
    EXPECT_EQ(stored[256], 'a');
    EXPECT_EQ(stored[299], char(0x61 + 43));
    EXPECT_EQ(FileTypeFilter::unscramble(stored), plain);
}

TEST_F(FileTypeFilterTest, OnlyTheFirst1023BytesUpToAZeroByteCount) {
    // The colon ending "in" is byte 1022, the last one read; the colon ending "gz" is byte 1023.
    const FileTypeFilter within = loadStored(FileTypeFilter::scramble(QByteArray(1019, 'x') + ":in:"));
    EXPECT_TRUE(within.permits(QStringLiteral("a.in")));
    const FileTypeFilter cut = loadStored(FileTypeFilter::scramble(QByteArray(1020, 'x') + ":gz:"));
    EXPECT_EQ(cut.text().size(), 1023);
    EXPECT_FALSE(cut.permits(QStringLiteral("a.gz")));

    const FileTypeFilter stopped = loadStored(FileTypeFilter::scramble(QByteArray("txt:\0doc:", 9)));
    EXPECT_EQ(stopped.text(), QStringLiteral("txt:"));
    EXPECT_FALSE(stopped.permits(QStringLiteral("a.doc")));
}

TEST_F(FileTypeFilterTest, ALaterFailedLoadEmptiesTheText) {
    FileTypeFilter filter(m_dir.filePath(QStringLiteral("Brelvantis.filter")));
    loadText(QStringLiteral("txt:"));
    ASSERT_TRUE(filter.load());
    ASSERT_TRUE(filter.permits(QStringLiteral("a.txt")));
    QFile::remove(filter.filePath());
    EXPECT_FALSE(filter.load());
    EXPECT_FALSE(filter.permits(QStringLiteral("a.txt")));
}

// A pipe without a writer (opening it to read would wait for one) and an endless device are refused
// at once, with the reason; a link to a filter kept elsewhere is followed.
TEST_F(FileTypeFilterTest, OnlyARegularFileIsReadAndALinkIsFollowedToOne) {
    const QString path = m_dir.filePath(QStringLiteral("Brelvantis.filter"));
    FileTypeFilter filter(path);
    const QString refused =
        QStringLiteral("无法读取 %1：不是普通文件（文件夹、管道、套接字或设备）").arg(path);
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    Failure failure;
    EXPECT_FALSE(filter.load(&failure));
    EXPECT_EQ(failure.sentence(), refused);
    ASSERT_TRUE(QFile::remove(path) && QFile::link(QStringLiteral("/dev/zero"), path));
    EXPECT_FALSE(filter.load(&failure));
    EXPECT_EQ(failure.sentence(), refused);

    const QString elsewhere = m_dir.filePath(QStringLiteral("shared.filter"));
    ASSERT_TRUE(FileTypeFilter(elsewhere).write(QStringLiteral("pdf:")).outcome ==
                FileTypeFilter::WriteResult::Outcome::Written);
    ASSERT_TRUE(QFile::remove(path) && QFile::link(elsewhere, path));
    ASSERT_TRUE(filter.load());
    EXPECT_TRUE(filter.permits(QStringLiteral("a.pdf")));
}

TEST_F(FileTypeFilterTest, TheTypedListBecomesTheStoredTextAndBack) {
    const struct {
        QString typed;
        QString stored;
    } accepted[] = {
        {QStringLiteral("txt:doc:pdf"), QStringLiteral("txt:doc:pdf:")},
        {QStringLiteral(" *.TXT, .doc；文档  txt "), QStringLiteral("TXT:doc:文档:")},
        {QStringLiteral(" : ,"), QString()},
    };
    for (const auto &a : accepted) {
        QString text;
        QString bad;
        EXPECT_TRUE(FileTypeFilter::fromTypedList(a.typed, &text, &bad)) << a.typed.toStdString();
        EXPECT_EQ(text, a.stored) << a.typed.toStdString();
    }
    for (const QString &typed : {QStringLiteral("txt:tar.gz"), QStringLiteral("a/b"), QStringLiteral("*")}) {
        QString text;
        QString bad;
        EXPECT_FALSE(FileTypeFilter::fromTypedList(typed, &text, &bad)) << typed.toStdString();
        EXPECT_FALSE(bad.isEmpty());
    }
    EXPECT_EQ(FileTypeFilter::typedList(QStringLiteral("txt:doc:")), QStringLiteral("txt:doc"));
    EXPECT_EQ(FileTypeFilter::typedList(QStringLiteral("txt:doc")), QStringLiteral("txt"));
}

} // namespace
