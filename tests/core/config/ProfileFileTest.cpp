#include "core/config/ProfileFile.h"

#include <gtest/gtest.h>

namespace {

// 0x8A 0x41 is 夾 and 0x8A 0x61 is 奱: the same bytes but for the ASCII case of the second one.
// 0x81 0x5D is 乚, whose second byte is "]".
TEST(ProfileFile, NamesAreMatchedPerCharacterNeverPerByte) {
    const ProfileFile file(QByteArray("[\x81\x5D"
                                      "A]\r\n"
                                      "\x8A\x61=wrong\r\n"
                                      "\x8A\x41=right\r\n"
                                      "[\x81\x5D"
                                      "B]\r\n"
                                      "x=other\r\n"));
    EXPECT_EQ(file.value(QStringLiteral("乚a"), QStringLiteral("夾")), QByteArray("right"));
    EXPECT_EQ(file.value(QStringLiteral("乚A"), QStringLiteral("奱")), QByteArray("wrong"));
    EXPECT_EQ(file.value(QStringLiteral("乚b"), QStringLiteral("X")), QByteArray("other"));
    EXPECT_EQ(file.value(QStringLiteral("乚"), QStringLiteral("x")), std::nullopt);
}

TEST(ProfileFile, EmptyAndMissingValuesAreToldApart) {
    const ProfileFile file(QByteArray("[s]\nempty=\nquoted=\"\"\nbare\n"));
    EXPECT_EQ(file.value(QStringLiteral("S"), QStringLiteral("EMPTY")), QByteArray(""));
    EXPECT_EQ(file.value(QStringLiteral("s"), QStringLiteral("quoted")), QByteArray(""));
    EXPECT_EQ(file.value(QStringLiteral("s"), QStringLiteral("bare")), std::nullopt);
    EXPECT_EQ(file.value(QStringLiteral("t"), QStringLiteral("empty")), std::nullopt);
}

TEST(ProfileFile, AddedKeyGoesAfterTheLastNonBlankLineOfItsSection) {
    ProfileFile file(QByteArray("[a]\nk=1\n\n; about b\n\n[b]\n"));
    file.setValue(QStringLiteral("a"), QStringLiteral("n"), "2");
    file.setValue(QStringLiteral("b"), QStringLiteral("m"), "");
    EXPECT_EQ(file.toBytes(), QByteArray("[a]\nk=1\n\n; about b\nn=2\r\n\n[b]\nm=\r\n"));
}

} // namespace
