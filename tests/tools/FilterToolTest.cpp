#include "core/common/Cp936.h"
#include "core/config/FileTypeFilter.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

struct ToolRun {
    int exitCode = -1;
    QString out;
    QString err;
};

class FilterToolTest : public ::testing::Test {
protected:
    ToolRun run(const QStringList &arguments) {
        QProcess process;
        process.setWorkingDirectory(m_dir.path());
        process.start(QStringLiteral(BRELVANTIS_BIN_DIR "/brelvantis-filter"), arguments);
        EXPECT_TRUE(process.waitForFinished(30000));
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromLocal8Bit(process.readAllStandardOutput()),
                QString::fromLocal8Bit(process.readAllStandardError())};
    }

    QString filterPath() const { return m_dir.filePath(QStringLiteral("Brelvantis.filter")); }

    QByteArray storedBytes() const {
        QFile file(filterPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
};

TEST_F(FilterToolTest, WrittenListReadsBackThroughTheStationsFilterAndTheTool) {
    // Over 256 bytes, so offsets wrap; the last entries lie past the wrap.
    QString list;
    for (int i = 0; list.size() < 280; ++i) {
        list += QStringLiteral("e%1:").arg(i);
    }
    list += QStringLiteral("文档:PDF:");

    const ToolRun write = run({QStringLiteral("write"), list});
    ASSERT_EQ(write.exitCode, 0) << write.err.toStdString();

    const QByteArray plain = Cp936::encode(list).value();
    const QByteArray stored = storedBytes();
    ASSERT_EQ(stored.size(), plain.size());
    EXPECT_EQ(quint8(stored[0]), quint8(plain[0]));
    EXPECT_EQ(quint8(stored[260]), quint8(plain[260] + 4)); // 260 & 0xFF

    FileTypeFilter filter(filterPath());
    ASSERT_TRUE(filter.load());
    EXPECT_EQ(filter.text(), list);
    EXPECT_TRUE(filter.permits(QStringLiteral("a.e0")));
    EXPECT_TRUE(filter.permits(QStringLiteral("说明.文档")));
    EXPECT_TRUE(filter.permits(QStringLiteral("b.pdf")));

    const ToolRun show = run({QStringLiteral("show")});
    EXPECT_EQ(show.exitCode, 0) << show.err.toStdString();
    EXPECT_EQ(show.out, list + u'\n');
}

TEST_F(FilterToolTest, RefusesListsTheStationCouldNotReadAndWritesNothing) {
    const ToolRun noCp936 = run({QStringLiteral("write"), QStringLiteral("txt:😀:")});
    EXPECT_NE(noCp936.exitCode, 0);
    EXPECT_TRUE(noCp936.err.contains(QStringLiteral("936"))) << noCp936.err.toStdString();

    const ToolRun tooLong =
        run({QStringLiteral("write"), QString(1021, u'x') + QStringLiteral("准:")}); // 1024 bytes
    EXPECT_NE(tooLong.exitCode, 0);
    EXPECT_TRUE(tooLong.err.contains(QStringLiteral("1023"))) << tooLong.err.toStdString();
    EXPECT_FALSE(QFile::exists(filterPath()));

    const ToolRun longest = run({QStringLiteral("write"), QString(1020, u'x') + QStringLiteral("准:")});
    EXPECT_EQ(longest.exitCode, 0) << longest.err.toStdString();
    EXPECT_EQ(storedBytes().size(), 1023);
}

TEST_F(FilterToolTest, UsageAndMissingFile) {
    const ToolRun help = run({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("brelvantis-filter write")));

    for (const QStringList &bad :
         {QStringList{}, QStringList{QStringLiteral("write")},
          QStringList{QStringLiteral("show"), QStringLiteral("x")}, QStringList{QStringLiteral("erase")}}) {
        const ToolRun result = run(bad);
        EXPECT_NE(result.exitCode, 0) << bad.join(u' ').toStdString();
        EXPECT_TRUE(result.err.contains(QStringLiteral("Usage"))) << bad.join(u' ').toStdString();
    }

    ToolRun show = run({QStringLiteral("show")});
    EXPECT_EQ(show.exitCode, 1);
    EXPECT_EQ(show.err, QStringLiteral("brelvantis-filter: 无法读取 %1：文件不存在\n").arg(filterPath()));

    // A pipe without a writer is refused at once: opening it to read would wait for one.
    ASSERT_EQ(::mkfifo(QFile::encodeName(filterPath()).constData(), 0600), 0);
    show = run({QStringLiteral("show")});
    EXPECT_EQ(show.exitCode, 1);
    EXPECT_EQ(show.err,
              QStringLiteral("brelvantis-filter: 无法读取 %1：不是普通文件（文件夹、管道、套接字或设备）\n")
                  .arg(filterPath()));
}

} // namespace
