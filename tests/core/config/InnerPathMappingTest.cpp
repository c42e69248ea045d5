#include "core/config/InnerPathMapping.h"
#include "core/common/Cp936.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using Verdict = InnerPathMapping::QueueVerdict;

Verdict judge(const QString &text, const QString &name) {
    return InnerPathMapping::judgeForQueue(InnerPathMapping::find(text, name));
}

TEST(InnerPathMapping, QueueingAcceptsOnlyCompleteRecords) {
    const QString text = QStringLiteral("|A*d://广告>192.168.1.1:4321|B*>|C*e://c>|D*d://d|");
    const auto a = InnerPathMapping::find(text, QStringLiteral("A"));
    EXPECT_EQ(judge(text, QStringLiteral("A")), Verdict::Accepted);
    EXPECT_EQ(a.innerPath, QStringLiteral("d://广告"));
    EXPECT_EQ(a.innerAddress, QStringLiteral("192.168.1.1:4321"));

    EXPECT_EQ(judge(text, QStringLiteral("missing")), Verdict::NotConfigured);
    EXPECT_EQ(judge(text, QStringLiteral("B")), Verdict::BadInnerPath); // empty inner path
    // An empty inner address passes.
    EXPECT_EQ(judge(text, QStringLiteral("C")), Verdict::Accepted);
    EXPECT_EQ(InnerPathMapping::find(text, QStringLiteral("C")).innerAddress, QString());
    // No ">" inside the record: the next record's ">" is not borrowed.
    EXPECT_EQ(judge(text, QStringLiteral("D")), Verdict::BadInnerPath);
    EXPECT_EQ(judge(QStringLiteral("|E*e://x>1.2.3.4:5"), QStringLiteral("E")), Verdict::BadInnerAddress);
    // Nor is the ">" of a later record, and an address ends at its record's end.
    const QString two = QStringLiteral("|D*d://d|F*f://f>1.1.1.1:1|");
    EXPECT_EQ(judge(two, QStringLiteral("D")), Verdict::BadInnerPath);
    EXPECT_EQ(InnerPathMapping::find(two, QStringLiteral("F")).innerAddress, QStringLiteral("1.1.1.1:1"));
}

TEST(InnerPathMapping, AKeyAtTheVeryStartLoadsInTheDialogButIsNotTrustedForQueueing) {
    const QString text = QStringLiteral("A*d://a>1.1.1.1:1|");
    const auto found = InnerPathMapping::find(text, QStringLiteral("A"));
    EXPECT_TRUE(found.keyFound);
    EXPECT_TRUE(found.keyAtTextStart);
    EXPECT_EQ(found.innerPath, QStringLiteral("d://a"));
    EXPECT_EQ(judge(text, QStringLiteral("A")), Verdict::NotConfigured);
}

TEST(InnerPathMapping, ANameIsMatchedOnlyAtTheStartOfARecord) {
    const QString text = QStringLiteral("|cab*d://cab>10.0.0.1:1|ab*d://ab>10.0.0.2:2|");
    const auto ab = InnerPathMapping::find(text, QStringLiteral("ab"));
    EXPECT_EQ(ab.innerPath, QStringLiteral("d://ab"));
    EXPECT_EQ(ab.innerAddress, QStringLiteral("10.0.0.2:2"));
    EXPECT_EQ(judge(QStringLiteral("|cab*d://cab>10.0.0.1:1|"), QStringLiteral("ab")),
              Verdict::NotConfigured);
}

class MappingFileTest : public ::testing::Test {
protected:
    QString path() const { return m_dir.filePath(QStringLiteral("Brelvantis.path")); }
    QTemporaryDir m_dir;
};

TEST_F(MappingFileTest, NamesWhoseSecondByteIsADelimiterAreFoundWhole) {
    // Both characters of this name end in the byte 7C, which is "|" on its own.
    const QString name = Cp936::decode(QByteArray::fromHex("817c827c"));
    ASSERT_EQ(name.size(), 2);
    TestFiles::write(path(), *Cp936::encode(QStringLiteral("|%1*d://亅>1.2.3.4:5|").arg(name)));
    InnerPathMapping mapping(path());
    const auto found = mapping.lookup(name);
    EXPECT_EQ(InnerPathMapping::judgeForQueue(found), Verdict::Accepted);
    EXPECT_EQ(found.innerPath, QStringLiteral("d://亅"));
    EXPECT_EQ(InnerPathMapping::judgeForQueue(mapping.lookup(QStringLiteral("亅"))), Verdict::NotConfigured);
}

TEST_F(MappingFileTest, RecordsPastTheOldReadLimitAreFound) {
    QList<InnerPathMapping::Row> rows;
    for (int i = 0; i < 200; ++i) {
        rows.append({QStringLiteral("folder%1").arg(i), QStringLiteral("10.0.0.%1:80").arg(i),
                     QStringLiteral("d://in/%1").arg(i)});
    }
    InnerPathMapping mapping(path());
    ASSERT_TRUE(mapping.write(rows).isEmpty());
    ASSERT_GT(TestFiles::read(path()).size(), 1023);
    const auto last = mapping.lookup(QStringLiteral("folder199"));
    EXPECT_EQ(InnerPathMapping::judgeForQueue(last), Verdict::Accepted);
    EXPECT_EQ(last.innerAddress, QStringLiteral("10.0.0.199:80"));
    QString text;
    bool complete = false;
    ASSERT_TRUE(mapping.readText(&text, &complete));
    EXPECT_TRUE(complete);
}

TEST_F(MappingFileTest, AFileOfExactlyTheReadLimitIsReadWhole) {
    for (const qint64 size : {InnerPathMapping::kReadLimit, InnerPathMapping::kReadLimit + 1}) {
        TestFiles::write(path(), QByteArray(size, 'x'));
        QString text;
        bool complete = false;
        ASSERT_TRUE(InnerPathMapping(path()).readText(&text, &complete));
        EXPECT_EQ(complete, size == InnerPathMapping::kReadLimit) << size;
        EXPECT_EQ(text.size(), InnerPathMapping::kReadLimit);
    }
}

TEST_F(MappingFileTest, WritesTheRecordFormatAndRefusesTextItCannotStore) {
    InnerPathMapping mapping(path());
    EXPECT_EQ(InnerPathMapping::judgeForQueue(mapping.lookup(QStringLiteral("A"))), Verdict::FileMissing);

    ASSERT_TRUE(
        mapping
            .write({{QStringLiteral("A"), QStringLiteral("192.168.1.1:4321"), QStringLiteral("d://广告")},
                    {QStringLiteral("B"), QString(), QString()}})
            .isEmpty());
    EXPECT_EQ(TestFiles::read(path()), *Cp936::encode(QStringLiteral("|A*d://广告>192.168.1.1:4321|B*>|")));

    const Notice refused = mapping.write({{QStringLiteral("A"), QString(), QStringLiteral("d://😀")}});
    EXPECT_FALSE(refused.isEmpty());
    EXPECT_EQ(TestFiles::read(path()), *Cp936::encode(QStringLiteral("|A*d://广告>192.168.1.1:4321|B*>|")));

    ASSERT_TRUE(mapping.write({}).isEmpty());
    EXPECT_EQ(TestFiles::read(path()).size(), 0);
}

} // namespace
