#include "core/config/FilterWatcher.h"

#include "core/config/FileTypeFilter.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// The filter follows its file however it is changed: written in place, replaced by a new file, removed
// and made again. Each step waits for the watcher's signal, not for time to pass.
TEST(FilterWatcherTest, TheFilterFollowsItsFileOnDisk) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Brelvantis.filter"));
    FileTypeFilter filter(path);
    FilterWatcher watcher(filter);
    QSignalSpy changed(&watcher, &FilterWatcher::changed);
    watcher.startWatching();
    EXPECT_TRUE(filter.text().isEmpty()) << "no file yet";

    // Written where there was none (as brelvantis-filter does, through a temporary file).
    ASSERT_EQ(FileTypeFilter(path).write(QStringLiteral("txt:")).outcome,
              FileTypeFilter::WriteResult::Outcome::Written);
    ASSERT_TRUE(changed.wait(10000));
    EXPECT_TRUE(filter.permits(QStringLiteral("a.txt")));

    // Rewritten in place.
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(FileTypeFilter::scramble("pdf:"));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return filter.permits(QStringLiteral("a.pdf")); }, 10000));
    EXPECT_FALSE(filter.permits(QStringLiteral("a.txt")));

    // Replaced by another file moved over it.
    const QString other = dir.filePath(QStringLiteral("new.filter"));
    TestFiles::write(other, FileTypeFilter::scramble("doc:"));
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::rename(other, path));
    ASSERT_TRUE(QTest::qWaitFor([&] { return filter.permits(QStringLiteral("a.doc")); }, 10000));
    EXPECT_FALSE(filter.permits(QStringLiteral("a.pdf")));

    // reload() tells whether anything changed.
    EXPECT_FALSE(watcher.reload());
}

} // namespace
