// Where the isolator peer puts a file, and which names and paths it will not use.

#include "StoragePath.h"

#include <gtest/gtest.h>

namespace {

QString mapped(const QString &address, const QString &path, const QString &name) {
    const StoragePath target = StoragePath::map(address, path, name);
    return target.isValid() ? target.relativeFilePath() : QStringLiteral("refused: ") + target.refusal();
}

TEST(IsolatorStoragePath, AddressAndDriveLetterBecomeFoldersAndEmptyPartsAreDropped) {
    const struct {
        const char *address, *path, *name, *stored;
    } cases[] = {
        {"192.168.1.1:4321", "d://广告/x", "报告.doc", "192.168.1.1_4321/d/广告/x/报告.doc"},
        // Either case of drive letter names the same drive, so the same folder.
        {"10.0.0.1:1", "D:\\Data\\In\\", "a", "10.0.0.1_1/d/Data/In/a"},
        {"", "", "a", "_/a"},
        {"h:1", "d:", "a", "h_1/d/a"},
        {"h:1", "//a/./\\b//", "n", "h_1/a/b/n"},
        // A leading separator does not leave the address folder.
        {"", "/etc", "passwd", "_/etc/passwd"},
        {"", "\\\\host\\share", "n", "_/host/share/n"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(mapped(QString::fromUtf8(c.address), QString::fromUtf8(c.path), QString::fromUtf8(c.name)),
                  QString::fromUtf8(c.stored));
    }
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
