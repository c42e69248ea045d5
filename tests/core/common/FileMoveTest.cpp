#include "core/common/FileMove.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Every rename reports another file system, so moves within the temporary folder take the copy path.
class FileMoveCopyTest : public ::testing::Test {
protected:
    void SetUp() override { FileMove::setFaults(&m_faults); }
    void TearDown() override { FileMove::setFaults(nullptr); }

    QTemporaryDir m_dir;
    FileMove::Faults m_faults{true, {}};
};

TEST_F(FileMoveCopyTest, TheSourceGoesOnlyOnceTheCopyReadsBackAsIt) {
    const QByteArray bytes = QByteArray("扫描件").repeated(500'000); // several copy blocks
    const QString source = m_dir.filePath(QStringLiteral("扫描件.pdf"));
    const QString target = m_dir.filePath(QStringLiteral("moved.pdf"));
    TestFiles::write(source, bytes);
    ASSERT_EQ(FileMove::move(source, target, false), QString());
    EXPECT_FALSE(QFile::exists(source));
    EXPECT_EQ(TestFiles::read(target), bytes);

    // A disk that gives back other bytes, or fewer: the copy goes, the source stays whole.
    const std::function<void(QFile &)> damages[] = {
        [](QFile &copy) {
            ASSERT_TRUE(copy.seek(1 << 20));
            ASSERT_EQ(copy.write("X"), 1);
        },
        [](QFile &copy) { ASSERT_TRUE(copy.resize(copy.size() - 1)); },
    };
    for (const auto &damage : damages) {
        m_faults.afterCopy = [&damage](const QString &copy) {
            QFile file(copy);
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            damage(file);
        };
        EXPECT_EQ(
            FileMove::move(target, source, false),
            QStringLiteral("复制到目标位置的文件与原文件不一致（大小或 SHA-256 不同），已删除该复制件"));
        EXPECT_FALSE(QFile::exists(source));
        EXPECT_EQ(TestFiles::read(target), bytes);
    }
}

} // namespace
