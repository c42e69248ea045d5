#include "core/inspection/ArchiveInspector.h"
#include "TestArchives.h"
#include "core/config/FileTypeFilter.h"
#include "core/inspection/ContentCheck.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using TestArchives::make;
using Outcome = ArchiveInspector::Verdict::Outcome;

// The station's allow-list: only these types may cross, in an archive or not.
bool permits(const QString &name) {
    static const QStringList allowed = {QStringLiteral("txt"), QStringLiteral("pdf"), QStringLiteral("zip"),
                                        QStringLiteral("gz"), QStringLiteral("7z")};
    return allowed.contains(FileTypeFilter::extensionOf(name), Qt::CaseInsensitive);
}

QByteArray pdf() {
    return QByteArrayLiteral("%PDF-1.4\n1 0 obj\n<<>>\nendobj\ntrailer\n<<>>\n%%EOF\n");
}

QByteArray elfHead() {
    QFile self(QCoreApplication::applicationFilePath());
    return self.open(QIODevice::ReadOnly) ? self.read(ContentCheck::kHeadBytes) : QByteArray();
}

class ArchiveInspectorTest : public ::testing::Test {
protected:
    QString write(const QString &name, const QByteArray &bytes) {
        const QString path = m_dir.filePath(name);
        TestFiles::write(path, bytes);
        return path;
    }

    ArchiveInspector::Verdict inspect(const QString &name, const QByteArray &bytes,
                                      ArchiveLimits limits = {}) {
        return ArchiveInspector(permits, &m_content, limits).inspect(write(name, bytes));
    }

    QTemporaryDir m_dir;
    ContentCheck m_content;
};

TEST_F(ArchiveInspectorTest, AcceptsNestedArchivesOfAllowedTypesAndCountsEveryMember) {
    const QByteArray innerZip = make(QStringLiteral("zip"), {{QStringLiteral("说明.txt"), "你好\n"}});
    const QByteArray tarGz = make(QStringLiteral("tar.gz"), {{QStringLiteral("docs/inner.zip"), innerZip},
                                                             {QStringLiteral("docs/报告.pdf"), pdf()}});
    const QByteArray sevenZip = make(QStringLiteral("7z"), {{QStringLiteral("a.txt"), "a"}});
    const QByteArray outer =
        make(QStringLiteral("zip"),
             {{QStringLiteral("资料/bundle.tar.gz"), tarGz},
              {QStringLiteral("资料/more.7z"), sevenZip},
              {QStringLiteral("资料/notes.txt.gz"), make(QStringLiteral("gz"), {{QString(), "plain\n"}})}});
    ASSERT_FALSE(innerZip.isEmpty() || tarGz.isEmpty() || sevenZip.isEmpty() || outer.isEmpty());

    const ArchiveInspector::Verdict verdict = inspect(QStringLiteral("资料.zip"), outer);
    EXPECT_EQ(verdict.outcome, Outcome::Accepted) << qPrintable(verdict.reason) << qPrintable(verdict.detail);
    // bundle.tar.gz, inner.zip, 说明.txt, 报告.pdf, more.7z, a.txt, notes.txt.gz and its notes.txt
    EXPECT_EQ(verdict.members, 8);
    // A nested archive that does not fit in memory is read as a stream, with the same outcome.
    ArchiveLimits streaming;
    streaming.maxBufferedBytes = 0;
    const ArchiveInspector::Verdict streamed = inspect(QStringLiteral("资料2.zip"), outer, streaming);
    EXPECT_EQ(streamed.outcome, Outcome::Accepted)
        << qPrintable(streamed.reason) << qPrintable(streamed.detail);
    EXPECT_EQ(streamed.members, 8);
}

TEST_F(ArchiveInspectorTest, RefusesWhatTheAllowListOrTheContentCheckWouldRefuseAtAnyDepth) {
    const QByteArray setup = "MZ not really a program";
    const QByteArray deep = make(
        QStringLiteral("zip"), {{QStringLiteral("a.txt"), "a"}, {QStringLiteral("tools/setup.exe"), setup}});
    const QByteArray middle = make(QStringLiteral("tar.gz"), {{QStringLiteral("deep.zip"), deep}});
    // Chinese Windows writes zip names in code page 936, without the UTF-8 flag.
    const QByteArray windowsZip =
        make(QStringLiteral("zip"), {{QStringLiteral("报告.exe"), setup}}, "zip:hdrcharset=CP936");
    ASSERT_FALSE(windowsZip.isEmpty());
    ASSERT_FALSE(windowsZip.contains("报告")) << "the name is stored in code page 936";

    struct Case {
        QString name;
        QByteArray bytes;
        QString member;
        QString reason;
    } cases[] = {
        {QStringLiteral("资料.zip"), make(QStringLiteral("zip"), {{QStringLiteral("资料/setup.exe"), setup}}),
         QStringLiteral("资料/setup.exe"), QStringLiteral("压缩包内的“资料/setup.exe”是不允许上传的类型")},
        {QStringLiteral("nested.zip"),
         make(QStringLiteral("zip"), {{QStringLiteral("middle.tar.gz"), middle}}),
         QStringLiteral("middle.tar.gz/deep.zip/tools/setup.exe"),
         QStringLiteral("压缩包内的“middle.tar.gz/deep.zip/tools/setup.exe”是不允许上传的类型")},
        {QStringLiteral("windows.zip"), windowsZip, QStringLiteral("报告.exe"),
         QStringLiteral("压缩包内的“报告.exe”是不允许上传的类型")},
        {QStringLiteral("setup.exe.gz"), make(QStringLiteral("gz"), {{QString(), setup}}),
         QStringLiteral("setup.exe"), QStringLiteral("压缩包内的“setup.exe”是不允许上传的类型")},
        {QStringLiteral("disguised.zip"),
         make(QStringLiteral("zip"), {{QStringLiteral("说明.txt"), elfHead()}}), QStringLiteral("说明.txt"),
         QStringLiteral("压缩包内的“说明.txt”内容是 ELF 可执行程序，与扩展名 .txt 不符")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(qPrintable(c.name));
        ASSERT_FALSE(c.bytes.isEmpty());
        const ArchiveInspector::Verdict verdict = inspect(c.name, c.bytes);
        EXPECT_EQ(verdict.outcome, Outcome::Refused);
        EXPECT_EQ(verdict.member, c.member) << qPrintable(verdict.member);
        EXPECT_EQ(verdict.reason, c.reason) << qPrintable(verdict.reason);
    }
    // Without the content check only the names count.
    const ArchiveInspector namesOnly(permits);
    EXPECT_TRUE(namesOnly.inspect(m_dir.filePath(QStringLiteral("disguised.zip"))).accepted());
}

TEST_F(ArchiveInspectorTest, RefusesArchivesThatCannotBeCheckedOrWouldHarmWhoeverUnpacksThem) {
    const auto nest = [](const QByteArray &inner, int levels) {
        QByteArray bytes = inner;
        for (int level = levels; level >= 1; --level) {
            bytes = make(QStringLiteral("zip"), {{QStringLiteral("l%1.zip").arg(level), bytes}});
        }
        return bytes;
    };
    const QByteArray leaf = make(QStringLiteral("zip"), {{QStringLiteral("a.txt"), "a"}});
    QByteArray truncated =
        make(QStringLiteral("tar.gz"), {{QStringLiteral("a.txt"), QByteArray(100000, 'a')}});
    truncated.truncate(truncated.size() / 2);
    QList<TestArchives::Member> many;
    for (int i = 0; i < 6; ++i) {
        many.append({QStringLiteral("%1.txt").arg(i), "x"});
    }
    ArchiveLimits fewMembers;
    fewMembers.maxMembers = 5;
    // Random bytes do not compress: the ratio stays low while the size passes the cap.
    QByteArray noise(2 << 20, Qt::Uninitialized);
    quint32 seed = 1;
    for (char &c : noise) {
        seed = seed * 1103515245 + 12345;
        c = static_cast<char>(seed >> 24);
    }
    ArchiveLimits oneMegabyte;
    oneMegabyte.maxExpandedBytes = 1 << 20;

    struct Case {
        QString name;
        QByteArray bytes;
        QString reason;
        ArchiveLimits limits = {};
    } cases[] = {
        {QStringLiteral("encrypted.zip"),
         make(QStringLiteral("zip"), {{QStringLiteral("secret.txt"), "secret"}}, "zip:encryption=zipcrypt",
              "pw"),
         QStringLiteral("压缩包内的“secret.txt”已加密，无法检查")},
        {QStringLiteral("climbing.tar.gz"),
         make(QStringLiteral("tar.gz"), {{QStringLiteral("../../evil.txt"), "x"}}),
         QStringLiteral("压缩包内的“../../evil.txt”含有上级目录或绝对路径")},
        {QStringLiteral("absolute.zip"),
         make(QStringLiteral("zip"), {{QStringLiteral("/etc/cron.d/evil.txt"), "x"}}),
         QStringLiteral("压缩包内的“/etc/cron.d/evil.txt”含有上级目录或绝对路径")},
        {QStringLiteral("deep.zip"), nest(leaf, 4),
         QStringLiteral("压缩包内的“l1.zip/l2.zip/l3.zip/l4.zip”嵌套超过 3 层")},
        {QStringLiteral("bomb.zip"),
         make(QStringLiteral("zip"), {{QStringLiteral("zeros.txt"), QByteArray(20 << 20, '\0')}}),
         QStringLiteral("压缩包解压后超过原大小的 100 倍（可能是压缩炸弹）")},
        {QStringLiteral("large.zip"), make(QStringLiteral("zip"), {{QStringLiteral("noise.txt"), noise}}),
         QStringLiteral("压缩包解压后超过 1 MB"), oneMegabyte},
        {QStringLiteral("many.zip"), make(QStringLiteral("zip"), many),
         QStringLiteral("压缩包内的文件超过 5 个"), fewMembers},
        {QStringLiteral("truncated.tar.gz"), truncated, QStringLiteral("压缩包已损坏，无法检查")},
        {QStringLiteral("garbage.zip"), QByteArray(5000, 'g'), QStringLiteral("压缩包已损坏，无法检查")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(qPrintable(c.name));
        ASSERT_FALSE(c.bytes.isEmpty());
        const ArchiveInspector::Verdict verdict = inspect(c.name, c.bytes, c.limits);
        EXPECT_EQ(verdict.outcome, Outcome::Refused);
        EXPECT_EQ(verdict.reason, c.reason) << qPrintable(verdict.reason) << "\n"
                                            << qPrintable(verdict.detail);
    }

    // A bomb whose sizes are not in its headers (a zip streamed from inside a tar) is stopped by the
    // bytes it unpacks, long before its end.
    const QByteArray bomb =
        make(QStringLiteral("zip"), {{QStringLiteral("zeros.txt"), QByteArray(32 << 20, '\0')}});
    ArchiveLimits streaming;
    streaming.maxBufferedBytes = 0;
    const ArchiveInspector::Verdict verdict =
        inspect(QStringLiteral("hidden.tar"),
                make(QStringLiteral("tar"), {{QStringLiteral("bomb.zip"), bomb}}), streaming);
    EXPECT_EQ(verdict.reason, QStringLiteral("压缩包解压后超过原大小的 100 倍（可能是压缩炸弹）"));
    EXPECT_LT(verdict.expandedBytes, 100 * bomb.size() + (1 << 20));
}

TEST_F(ArchiveInspectorTest, GivesUpWhenCancelledAndNeverBlocksOnWhatIsNotAFile) {
    const QString path =
        write(QStringLiteral("a.zip"), make(QStringLiteral("zip"), {{QStringLiteral("a.txt"), "a"}}));
    std::atomic<bool> cancel{true};
    ArchiveInspector inspector(permits);
    inspector.setCancelFlag(&cancel);
    EXPECT_EQ(inspector.inspect(path).outcome, Outcome::Cancelled);

    const QString fifo = m_dir.filePath(QStringLiteral("pipe.zip"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const ArchiveInspector::Verdict verdict = ArchiveInspector(permits).inspect(fifo);
    EXPECT_EQ(verdict.outcome, Outcome::Unreadable);
    EXPECT_EQ(verdict.failure.sentence(),
              QStringLiteral("无法读取 %1：不是普通文件（文件夹、管道、套接字或设备）").arg(fifo));
}

} // namespace
