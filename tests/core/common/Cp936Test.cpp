#include "core/common/Cp936.h"
#include "core/common/Paths.h"

#include <gtest/gtest.h>

namespace {

QByteArray hex(const char *text) {
    return QByteArray::fromHex(text);
}

TEST(Cp936, EncodesAsWindowsDefinesIt) {
    EXPECT_EQ(Cp936::encode(QStringLiteral("准备上传")), hex("d7bcb1b8c9cfb4ab"));
    EXPECT_EQ(Cp936::encode(QStringLiteral("€")), hex("80"));
    EXPECT_EQ(Cp936::encode(QStringLiteral("a.txt")), QByteArray("a.txt"));
    EXPECT_EQ(Cp936::decode(hex("80d7bc")), QStringLiteral("€准"));
}

TEST(Cp936, TextWithoutCp936FormIsAnErrorNotAQuestionMark) {
    EXPECT_FALSE(Cp936::encode(QStringLiteral("photo😀.jpg")).has_value());
    EXPECT_FALSE(Cp936::canEncode(QStringLiteral("a\u0E01"))); // Thai
    EXPECT_TRUE(Cp936::canEncode(QString()));
    // Bytes that are not CP936 never come back as something that could be written unnoticed.
    const QString broken = Cp936::decode(hex("41d7"));
    EXPECT_EQ(broken.left(1), QStringLiteral("A"));
    EXPECT_FALSE(Cp936::canEncode(broken));
}

TEST(Cp936, TruncationNeverSplitsADoubleByteCharacter) {
    const QByteArray text = hex("41d7bcb1b8"); // "A准备"
    EXPECT_EQ(Cp936::truncateBytes(text, 5), text);
    EXPECT_EQ(Cp936::truncateBytes(text, 4), hex("41d7bc"));
    EXPECT_EQ(Cp936::truncateBytes(text, 2), hex("41"));
    EXPECT_EQ(Cp936::truncateBytes(text, 0), QByteArray());
    EXPECT_EQ(Cp936::truncateBytes(hex("8041"), 1), hex("80")); // 0x80 is a single byte
}

TEST(Paths, JoinInsertsOneSeparator) {
    EXPECT_EQ(Paths::join(QStringLiteral("/srv/up/"), QStringLiteral("a.txt")),
              QStringLiteral("/srv/up/a.txt"));
    EXPECT_EQ(Paths::join(QStringLiteral("/srv/up"), QStringLiteral("a.txt")),
              QStringLiteral("/srv/up/a.txt"));
    EXPECT_EQ(Paths::withTrailingSeparator(QStringLiteral("C:\\in\\")), QStringLiteral("C:\\in\\"));
    EXPECT_EQ(Paths::withTrailingSeparator(QString()), QString());
}

} // namespace
