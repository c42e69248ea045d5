// Which folder the station runs in.

#include "core/station/WorkFolder.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class WorkFolderTest : public ::testing::Test {
protected:
    QString path(const QString &name) const { return QDir(m_root.path()).filePath(name); }

    QTemporaryDir m_root;
};

TEST_F(WorkFolderTest, TheOptionWinsEvenOverASettingsFileHere) {
    TestFiles::write(path("here/Berlvantis.ini"), "[x]\n");
    TestFiles::makeFolder(path("given"));
    WorkFolder::Choice choice = WorkFolder::choose(path("given"), path("here"), path("data"));
    EXPECT_EQ(choice.folder, path("given"));
    EXPECT_FALSE(choice.create);

    // Relative to the current folder, cleaned, and made when missing.
    choice = WorkFolder::choose(QStringLiteral("../new//station/"), path("here"), path("data"));
    EXPECT_EQ(choice.folder, path("new/station"));
    EXPECT_TRUE(choice.create);
}

TEST_F(WorkFolderTest, ACurrentFolderHoldingTheSettingsFileIsKept) {
    TestFiles::write(path("here/Berlvantis.ini"), "[x]\n");
    const WorkFolder::Choice choice = WorkFolder::choose(QString(), path("here"), path("data"));
    EXPECT_EQ(choice.folder, path("here"));
    EXPECT_FALSE(choice.create);
}

TEST_F(WorkFolderTest, OtherwiseTheUsersFolderUnderTheDataHome) {
    // The other two files, or a folder named like the settings file, do not make a working folder.
    TestFiles::write(path("home/Brelvantis.path"), "");
    TestFiles::write(path("home/Brelvantis.filter"), "");
    TestFiles::makeFolder(path("home/Berlvantis.ini"));
    WorkFolder::Choice choice = WorkFolder::choose(QString(), path("home"), path("data"));
    EXPECT_EQ(choice.folder, path("data/brelvantis"));
    EXPECT_TRUE(choice.create);

    TestFiles::makeFolder(path("data/brelvantis"));
    choice = WorkFolder::choose(QString(), path("home"), path("data"));
    EXPECT_EQ(choice.folder, path("data/brelvantis"));
    EXPECT_FALSE(choice.create);
}

} // namespace
