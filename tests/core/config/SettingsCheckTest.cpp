#include "core/config/SettingsCheck.h"

#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(SettingsCheckTest, AddressesAndPorts) {
    for (const char *good : {"127.0.0.1", "0.0.0.0", "192.168.100.255"}) {
        EXPECT_TRUE(SettingsCheck::isDottedIpv4(QLatin1String(good))) << good;
    }
    for (const char *bad : {"", "17001", "1.2.3", "1.2.3.4.5", "1.2.3.256", " 1.2.3.4", "01.2.3.4", "1..3.4",
                            "a.b.c.d", "1.2.3.4:5", "localhost"}) {
        EXPECT_FALSE(SettingsCheck::isDottedIpv4(QLatin1String(bad))) << bad;
    }
    for (const char *good : {"1", "4321", "65535"}) {
        EXPECT_TRUE(SettingsCheck::isPort(QLatin1String(good))) << good;
    }
    for (const char *bad : {"", "0", "65536", "-1", "+80", "80 ", "4e3", "999999"}) {
        EXPECT_FALSE(SettingsCheck::isPort(QLatin1String(bad))) << bad;
    }
}

// Folders are told apart as they resolve, so a link or a spelling with "." and ".." is no way round.
TEST(SettingsCheckTest, FoldersAreComparedAsTheyResolve) {
    QTemporaryDir dir;
    const QString base = dir.path() + QLatin1Char('/');
    for (const char *folder : {"transit", "up", "done", "log"}) {
        TestFiles::makeFolder(base + QLatin1String(folder));
    }
    SettingsRecord record;
    record.transitFolder = base + QStringLiteral("transit/");
    record.uploadFolder = base + QStringLiteral("up/");
    record.completionFolder = base + QStringLiteral("done/");
    record.recordFolder = base + QStringLiteral("log/");
    record.isolatorAddress = QStringLiteral("127.0.0.1");
    record.isolatorPort = QStringLiteral("4000");
    EXPECT_TRUE(SettingsCheck::firstProblem(record).text.isEmpty());
    EXPECT_TRUE(SettingsCheck::missingFolders(record).isEmpty());

    ASSERT_TRUE(QFile::link(base + QStringLiteral("transit"), base + QStringLiteral("alias")));
    SettingsRecord linked = record;
    linked.uploadFolder = base + QStringLiteral("alias");
    EXPECT_EQ(SettingsCheck::firstProblem(linked).field, SettingsCheck::Field::UploadFolder);
    // A link to a subfolder of the transit folder: sent files would come back as files to queue.
    TestFiles::makeFolder(base + QStringLiteral("transit/sub"));
    ASSERT_TRUE(QFile::link(base + QStringLiteral("transit/sub"), base + QStringLiteral("sub-alias")));
    linked = record;
    linked.completionFolder = base + QStringLiteral("sub-alias/");
    EXPECT_EQ(SettingsCheck::firstProblem(linked).field, SettingsCheck::Field::CompletionFolder);

    SettingsRecord dotted = record;
    dotted.recordFolder = base + QStringLiteral("done/../transit/./new-log/");
    const SettingsCheck::Problem inside = SettingsCheck::firstProblem(dotted);
    EXPECT_EQ(inside.field, SettingsCheck::Field::RecordFolder);
    EXPECT_TRUE(inside.text.contains(QStringLiteral("中转目录")));
    EXPECT_EQ(SettingsCheck::missingFolders(dotted), QList{SettingsCheck::Field::RecordFolder});

    // A sibling whose name only starts like the other folder's lies beside it, not inside.
    SettingsRecord sibling = record;
    sibling.recordFolder = base + QStringLiteral("transit-log/");
    EXPECT_TRUE(SettingsCheck::firstProblem(sibling).text.isEmpty());
}

// The folders written to must take a new file; the probe leaves nothing behind.
TEST(SettingsCheckTest, TheFoldersWrittenToMustTakeANewFile) {
    QTemporaryDir dir;
    SettingsRecord record;
    record.transitFolder = record.uploadFolder = record.completionFolder = dir.path() + QLatin1Char('/');
    record.recordFolder = dir.path() + QStringLiteral("/log/");
    EXPECT_EQ(SettingsCheck::probeWritable(dir.path()), QString());
    EXPECT_TRUE(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    EXPECT_FALSE(SettingsCheck::probeWritable(record.recordFolder).isEmpty()) << "no such folder";

    QStringList probed;
    const auto readOnlyLog = [&](const QString &folder) {
        probed << folder;
        return folder == record.recordFolder ? QStringLiteral("只读文件系统") : QString();
    };
    EXPECT_EQ(SettingsCheck::unwritableFolder(record, readOnlyLog).field, SettingsCheck::Field::RecordFolder);
    EXPECT_EQ(probed.size(), 3) << "the transit folder is only read from";
}

} // namespace
