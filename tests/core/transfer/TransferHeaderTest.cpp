#include "core/common/Cp936.h"
#include "core/transfer/BlockIo.h"
#include "core/transfer/HeaderBlock.h"

#include <QByteArray>
#include <gtest/gtest.h>

namespace {

QByteArray gbk(const QString &text) {
    return Cp936::encode(text).value();
}

QByteArray blockOf(const HeaderBlock &header) {
    QByteArray block(kBlockSize, '\xEE'); // writeTo must clear what the buffer held
    header.writeTo(block.data());
    return block;
}

// The field's text followed by nothing but zeros to the end of the field.
void expectField(const QByteArray &block, qsizetype offset, qsizetype size, const QByteArray &text) {
    EXPECT_EQ(block.mid(offset, text.size()), text);
    EXPECT_EQ(block.mid(offset + text.size(), size - text.size()), QByteArray(size - text.size(), '\0'));
}

bool accepted(const QString &fileName, const QString &destination) {
    return HeaderBlock::forTransfer(fileName, destination).has_value();
}

TEST(HeaderBlockLayout, CjkNameAndDestinationAtTheirOffsetsZeroFilled) {
    const QString name = QStringLiteral("季度报告-甲.txt");
    auto header = HeaderBlock::forTransfer(name, QStringLiteral("192.168.1.1:4321||d://资料/入库"));
    ASSERT_TRUE(header);
    header->setFileSize(0x0102030405060708ull);
    const QByteArray block = blockOf(*header);

    ASSERT_EQ(block.size(), 4096);
    EXPECT_EQ(block.left(8), QByteArray::fromHex("0807060504030201"));
    expectField(block, 8, 1992, gbk(name));
    expectField(block, 2000, 48, "192.168.1.1:4321");
    expectField(block, 2048, 2048, gbk(QStringLiteral("d://资料/入库")));
}

TEST(HeaderBlockLayout, EmptyInnerAddressLeavesItsFieldAllZero) {
    auto header = HeaderBlock::forTransfer(QStringLiteral("a.txt"), QStringLiteral("||e:/in"));
    ASSERT_TRUE(header);
    const QByteArray block = blockOf(*header);
    EXPECT_EQ(block.mid(2000, 48), QByteArray(48, '\0'));
    expectField(block, 2048, 2048, "e:/in");
}

TEST(HeaderBlockDestination, SplitsAtTheFirstBarAndSkipsTheSecond) {
    QString address;
    QString path;
    ASSERT_TRUE(HeaderBlock::splitDestination(QStringLiteral("192.168.1.1:4321||d://x"), &address, &path));
    EXPECT_EQ(address, QStringLiteral("192.168.1.1:4321"));
    EXPECT_EQ(path, QStringLiteral("d://x"));

    ASSERT_TRUE(HeaderBlock::splitDestination(QStringLiteral("a|||x"), &address, &path));
    EXPECT_EQ(address, QStringLiteral("a"));
    EXPECT_EQ(path, QStringLiteral("|x"));

    ASSERT_TRUE(HeaderBlock::splitDestination(QStringLiteral("1.2.3.4:5||"), &address, &path));
    EXPECT_TRUE(path.isEmpty());
}

TEST(HeaderBlockDestination, WithoutDoubleBarIsRefusedRatherThanLosingAPathCharacter) {
    QString address;
    QString path;
    EXPECT_FALSE(HeaderBlock::splitDestination(QStringLiteral("1.2.3.4:5|d:/in"), &address, &path));
    EXPECT_FALSE(HeaderBlock::splitDestination(QStringLiteral("d:/in"), &address, &path));
    EXPECT_FALSE(HeaderBlock::splitDestination(QStringLiteral("1.2.3.4:5|"), &address, &path));
    EXPECT_FALSE(accepted(QStringLiteral("a.txt"), QStringLiteral("d:/in")));
}

TEST(HeaderBlockLimits, CountedInCp936BytesAndRefusedNotCut) {
    const QString cjk255 = QString(255, QChar(0x62A5)); // 510 bytes
    EXPECT_TRUE(accepted(cjk255 + QLatin1Char('a'), QStringLiteral("||p")));
    EXPECT_FALSE(accepted(cjk255 + QStringLiteral("ab"), QStringLiteral("||p")));
    EXPECT_FALSE(accepted(cjk255 + QChar(0x62A5), QStringLiteral("||p")));

    const QString address47(47, QLatin1Char('1'));
    EXPECT_TRUE(accepted(QStringLiteral("a"), address47 + QStringLiteral("||p")));
    EXPECT_FALSE(accepted(QStringLiteral("a"), address47 + QStringLiteral("1||p")));

    const QString path253 = QString(126, QChar(0x8D44)) + QLatin1Char('x'); // 253 bytes
    EXPECT_TRUE(accepted(QStringLiteral("a"), QStringLiteral("||") + path253));
    EXPECT_FALSE(accepted(QStringLiteral("a"), QStringLiteral("||") + path253 + QLatin1Char('y')));
}

TEST(HeaderBlockLimits, TextThatCannotTravelIsRefused) {
    const QString emoji = QStringLiteral("😀");
    EXPECT_FALSE(accepted(QStringLiteral("photo") + emoji + QStringLiteral(".jpg"), QStringLiteral("||p")));
    EXPECT_FALSE(accepted(QStringLiteral("a"), emoji + QStringLiteral("||p")));
    EXPECT_FALSE(accepted(QStringLiteral("a"), QStringLiteral("||p") + emoji));
    // A zero would end the field early and name another file.
    EXPECT_FALSE(accepted(QStringLiteral("a.txt") + QChar(0) + QStringLiteral("b"), QStringLiteral("||p")));
    QString why;
    EXPECT_FALSE(HeaderBlock::forTransfer(QStringLiteral("a"), QStringLiteral("||p") + emoji, &why));
    EXPECT_TRUE(why.contains(QStringLiteral("inner path"))) << why.toStdString();
}

TEST(HeaderBlockLimits, FileNameMustNotBeAPath) {
    for (const char *name : {"", ".", "..", "../secret.txt", "sub/a.txt", "sub\\a.txt"}) {
        EXPECT_FALSE(accepted(QString::fromLatin1(name), QStringLiteral("||p"))) << name;
    }
    EXPECT_TRUE(accepted(QStringLiteral("..a.txt"), QStringLiteral("||p")));
}

TEST(HeaderBlockParse, ReadsBackWhatTheStationWrites) {
    auto header =
        HeaderBlock::forTransfer(QStringLiteral("报告.doc"), QStringLiteral("10.0.0.9:80||d:/收件"));
    ASSERT_TRUE(header);
    header->setFileSize(8193);
    const QByteArray block = blockOf(*header);

    const auto parsed = HeaderBlock::parse(block.constData());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->fileSize(), 8193u);
    EXPECT_EQ(parsed->fileName(), QStringLiteral("报告.doc"));
    EXPECT_EQ(parsed->innerAddress(), QStringLiteral("10.0.0.9:80"));
    EXPECT_EQ(parsed->innerPath(), QStringLiteral("d:/收件"));
}

TEST(HeaderBlockParse, RefusesAFieldWithoutItsTerminatingZero) {
    QByteArray block(kBlockSize, '\0');
    block.replace(8, 1992, QByteArray(1992, 'n'));
    QString why;
    EXPECT_FALSE(HeaderBlock::parse(block.constData(), &why));
    EXPECT_TRUE(why.contains(QStringLiteral("file name"))) << why.toStdString();

    block.fill('\0');
    block.replace(2000, 48, QByteArray(48, '1'));
    EXPECT_FALSE(HeaderBlock::parse(block.constData()));
    block[2047] = '\0';
    EXPECT_TRUE(HeaderBlock::parse(block.constData()));

    block.fill('\0');
    block.replace(2048, 2048, QByteArray(2048, 'p'));
    EXPECT_FALSE(HeaderBlock::parse(block.constData()));
}

} // namespace
