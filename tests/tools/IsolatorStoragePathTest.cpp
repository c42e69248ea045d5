// Where the isolator peer puts a file, and which names and paths it will not use.

#include "StoragePath.h"

#include <gtest/gtest.h>

namespace {

QString mapped(const QString &address, const QString &path, const QString &name) {
    const StoragePath target = StoragePath::map(address, path, name);
    return target.isValid() ? target.relativeFilePath() : QStringLiteral("refused: ") + target.refusal();
}

TEST(IsolatorStoragePath, AddressBecomesOneFolderAndTheDriveLetterAnother) {
    EXPECT_EQ(
        mapped(QStringLiteral("192.168.1.1:4321"), QStringLiteral("d://广告/x"), QStringLiteral("报告.doc")),
        QStringLiteral("192.168.1.1_4321/d/广告/x/报告.doc"));
    // Either case of drive letter names the same drive, so the same folder.
    EXPECT_EQ(mapped(QStringLiteral("10.0.0.1:1"), QStringLiteral("D:\\Data\\In\\"), QStringLiteral("a")),
              QStringLiteral("10.0.0.1_1/d/Data/In/a"));
}

TEST(IsolatorStoragePath, EmptyPartsAreDropped) {
    EXPECT_EQ(mapped(QString(), QString(), QStringLiteral("a")), QStringLiteral("_/a"));
    EXPECT_EQ(mapped(QStringLiteral("h:1"), QStringLiteral("d:"), QStringLiteral("a")),
              QStringLiteral("h_1/d/a"));
    EXPECT_EQ(mapped(QStringLiteral("h:1"), QStringLiteral("//a/./\\b//"), QStringLiteral("n")),
              QStringLiteral("h_1/a/b/n"));
}

TEST(IsolatorStoragePath, LeadingSeparatorsDoNotLeaveTheAddressFolder) {
    EXPECT_EQ(mapped(QString(), QStringLiteral("/etc"), QStringLiteral("passwd")),
              QStringLiteral("_/etc/passwd"));
    EXPECT_EQ(mapped(QString(), QStringLiteral("\\\\host\\share"), QStringLiteral("n")),
              QStringLiteral("_/host/share/n"));
}

TEST(IsolatorStoragePath, RefusesFileNamesThatAreNotPlain) {
    for (const QString &name :
         {QString(), QStringLiteral("."), QStringLiteral(".."), QStringLiteral("a/b"), QStringLiteral("a\\b"),
          QStringLiteral("/abs"), QStringLiteral("c:\\abs"), QStringLiteral("tab\there"),
          QStringLiteral("del\x7f"), QStringLiteral("c1\u0085")}) {
        EXPECT_FALSE(StoragePath::map(QStringLiteral("a:1"), QStringLiteral("d:/x"), name).isValid())
            << name.toStdString();
    }
    // Dots and spaces inside a name are ordinary.
    EXPECT_TRUE(StoragePath::map(QStringLiteral("a:1"), QString(), QStringLiteral("..a b..")).isValid());
}

TEST(IsolatorStoragePath, RefusesPathsAndAddressesThatClimbOutOrAreAmbiguous) {
    const QString name = QStringLiteral("n");
    for (const QString &path :
         {QStringLiteral(".."), QStringLiteral("d:/.."), QStringLiteral("d:\\a\\..\\.."),
          QStringLiteral("a/../b"), QStringLiteral("d:/a/e:/b"), QStringLiteral("ab:c"),
          QStringLiteral("d:/line\nbreak")}) {
        EXPECT_FALSE(StoragePath::map(QStringLiteral("a:1"), path, name).isValid()) << path.toStdString();
    }
    for (const QString &address : {QStringLiteral("."), QStringLiteral(".."), QStringLiteral("a/b"),
                                   QStringLiteral("a\\b"), QStringLiteral("a\rb")}) {
        EXPECT_FALSE(StoragePath::map(address, QStringLiteral("d:/x"), name).isValid())
            << address.toStdString();
    }
}

TEST(IsolatorStoragePath, RefusesNamesLongerThanTheDiskTakes) {
    // 85 CJK characters are 170 bytes in CP936, as the station sends them, but 255 bytes on disk.
    const QString fits = QString(85, QChar(0x62A5));
    EXPECT_TRUE(StoragePath::map(QString(), QString(), fits).isValid());
    EXPECT_FALSE(StoragePath::map(QString(), QString(), fits + u'x').isValid());
    EXPECT_FALSE(
        StoragePath::map(QString(), QStringLiteral("d:/") + fits + u'x', QStringLiteral("n")).isValid());
}

} // namespace
