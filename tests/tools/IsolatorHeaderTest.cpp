// How the isolator peer reads a header block, beyond the station's own parser.

#include "IsolatorHeader.h"
#include "IsolatorRawClient.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

TEST(IsolatorHeader, ReadsSizeAndTexts) {
    const IsolatorHeader header = IsolatorHeader::parse(
        IsolatorRawClient::header(0x0102030405060708ULL, QStringLiteral("报告.doc"),
                                  QStringLiteral("1.2.3.4:5"), QStringLiteral("d://广告")));
    ASSERT_TRUE(header.isValid()) << header.refusal().toStdString();
    EXPECT_EQ(header.size(), 0x0102030405060708ULL);
    EXPECT_EQ(header.name(), QStringLiteral("报告.doc"));
    EXPECT_EQ(header.address(), QStringLiteral("1.2.3.4:5"));
    EXPECT_EQ(header.path(), QStringLiteral("d://广告"));
}

TEST(IsolatorHeader, CountsBlocksRoundingUpWithoutOverflow) {
    auto blocks = [](quint64 size) {
        return IsolatorHeader::parse(IsolatorRawClient::rawHeader(size, "n", "", "")).blockCount();
    };
    EXPECT_EQ(blocks(0), 0u);
    EXPECT_EQ(blocks(1), 1u);
    EXPECT_EQ(blocks(4096), 1u);
    EXPECT_EQ(blocks(4097), 2u);
    EXPECT_EQ(blocks(std::numeric_limits<quint64>::max()), std::numeric_limits<quint64>::max() / 4096 + 1);
}

TEST(IsolatorHeader, RefusesFieldsWithoutTerminatorOrWithBytesAfterIt) {
    QByteArray block = IsolatorRawClient::rawHeader(1, "n", "", "");
    block.replace(2000, 48, QByteArray(48, '7'));
    EXPECT_FALSE(IsolatorHeader::parse(block).isValid());

    block = IsolatorRawClient::rawHeader(1, "name", "", "");
    block[8 + 1991] = 'x'; // far after the name's terminator
    const IsolatorHeader stray = IsolatorHeader::parse(block);
    EXPECT_FALSE(stray.isValid());
    EXPECT_EQ(stray.name(), QStringLiteral("name")) << "the log still names what came";

    EXPECT_FALSE(IsolatorHeader::parse(QByteArray(4095, '\0')).isValid());
}

TEST(IsolatorHeader, RefusesTextThatIsNotCodePage936) {
    EXPECT_FALSE(IsolatorHeader::parse(IsolatorRawClient::rawHeader(1, "\x81\x7f", "", "")).isValid());
    EXPECT_FALSE(IsolatorHeader::parse(IsolatorRawClient::rawHeader(1, "n", "\xa1", "")).isValid());
    EXPECT_TRUE(IsolatorHeader::parse(IsolatorRawClient::rawHeader(1, "\xb1\xa8", "", "")).isValid()) << "报";
}

} // namespace
