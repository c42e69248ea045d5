#include "core/inspection/ContentCheck.h"
#include "TestArchives.h"
#include "core/common/Cp936.h"
#include "core/xls/Workbook.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

namespace {

using Outcome = ContentCheck::Verdict::Outcome;

QByteArray pdf() {
    return QByteArrayLiteral("%PDF-1.4\n1 0 obj\n<<>>\nendobj\ntrailer\n<<>>\n%%EOF\n");
}

QByteArray png() {
    return QByteArray::fromHex("89504e470d0a1a0a0000000d49484452000000010000000108060000001f15c489"
                               "0000000d4944415478da63f8ffff3f0005fe02fea7d6a4a10000000049454e44ae426082");
}

QByteArray jpeg() {
    return QByteArray::fromHex("ffd8ffe000104a46494600010100000100010000ffdb004300") +
           QByteArray(64, '\x10') + QByteArray::fromHex("ffd9");
}

// Office Open XML: a zip of [Content_Types].xml, _rels/.rels and word/, in Word's order.
QByteArray docx() {
    return TestArchives::make(
        QStringLiteral("zip"),
        {{QStringLiteral("[Content_Types].xml"),
          "<?xml version=\"1.0\"?><Types "
          "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
          "<Override PartName=\"/word/document.xml\" ContentType=\"application/"
          "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/></Types>"},
         {QStringLiteral("_rels/.rels"), "<Relationships/>"},
         {QStringLiteral("word/document.xml"), "<w:document/>"}});
}

class ContentCheckTest : public ::testing::Test {
protected:
    QString write(const QString &name, const QByteArray &bytes) {
        const QString path = m_dir.filePath(name);
        TestFiles::write(path, bytes);
        return path;
    }

    QTemporaryDir m_dir;
    ContentCheck m_check;
};

TEST_F(ContentCheckTest, TheTrueTypeMustFitTheExtension) {
    ASSERT_TRUE(m_check.ready());
    const QString xls = m_dir.filePath(QStringLiteral("workbook.xls"));
    ASSERT_TRUE(Xls::writeWorkbook(xls, QStringLiteral("Sheet1"), {{QStringLiteral("文件名")}}));
    const QByteArray workbook = TestFiles::read(xls);
    const QByteArray program = TestFiles::read(QCoreApplication::applicationFilePath());
    const QString chinese = QStringLiteral("季度报告：收入与支出。\r\n").repeated(200);

    struct Case {
        QString name;
        QByteArray bytes;
        QString reason; // empty: fits
    } cases[] = {
        {QStringLiteral("季度报告.txt"), program,
         QStringLiteral("内容是 ELF 可执行程序，与扩展名 .txt 不符")},
        {QStringLiteral("utf8.txt"), chinese.toUtf8(), {}},
        {QStringLiteral("gbk.TXT"), Cp936::encode(chinese).value(), {}},
        {QStringLiteral("表.csv"), "名称,数量\r\n甲,1\r\n", {}},
        {QStringLiteral("报告.pdf"), pdf(), {}},
        {QStringLiteral("报告.doc"), pdf(), QStringLiteral("内容是 PDF 文档，与扩展名 .doc 不符")},
        {QStringLiteral("图.png"), png(), {}},
        {QStringLiteral("照片.jpg"), jpeg(), {}},
        {QStringLiteral("照片.jpeg"), png(), QStringLiteral("内容是 PNG 图片，与扩展名 .jpeg 不符")},
        {QStringLiteral("记录.xls"), workbook, {}},
        {QStringLiteral("记录.doc"), workbook, {}},
        {QStringLiteral("记录.xlsx"), workbook,
         QStringLiteral("内容是 Office 97-2003 文档，与扩展名 .xlsx 不符")},
        {QStringLiteral("合同.docx"), docx(), {}},
        {QStringLiteral("合同.xls"), docx(),
         QStringLiteral("内容是 Office 文档（docx/xlsx/pptx），与扩展名 .xls 不符")},
        {QStringLiteral("资料.zip"), docx(), {}},
        {QStringLiteral("资料.zip"), workbook,
         QStringLiteral("内容是 Office 97-2003 文档，与扩展名 .zip 不符")},
        // Types the table does not know are left to the allow-list; empty files show no type.
        {QStringLiteral("program.dat"), program, {}},
        {QStringLiteral("empty.pdf"), QByteArray(), {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(qPrintable(c.name));
        const ContentCheck::Verdict verdict = m_check.checkFile(write(c.name, c.bytes));
        EXPECT_EQ(verdict.outcome, c.reason.isEmpty() ? Outcome::Fits : Outcome::Mismatch)
            << qPrintable(verdict.mimeType);
        EXPECT_EQ(verdict.reason, c.reason) << qPrintable(verdict.reason);
    }
}

TEST_F(ContentCheckTest, NeverFollowsALinkNorBlocksOnAPipe) {
    const QString fifo = m_dir.filePath(QStringLiteral("pipe.txt"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString link = m_dir.filePath(QStringLiteral("link.txt"));
    ASSERT_TRUE(QFile::link(QCoreApplication::applicationFilePath(), link));

    ContentCheck::Verdict verdict = m_check.checkFile(fifo);
    EXPECT_EQ(verdict.outcome, Outcome::Failed);
    EXPECT_EQ(verdict.failure.sentence(),
              QStringLiteral("无法读取 %1：不是普通文件（文件夹、管道、套接字或设备）").arg(fifo));
    verdict = m_check.checkFile(link);
    EXPECT_EQ(verdict.outcome, Outcome::Failed);
    EXPECT_EQ(verdict.failure.sentence(), QStringLiteral("无法读取 %1：是符号链接，不会被跟随").arg(link));
}

// libmagic's handle is not thread-safe: one check serves several workers at once.
TEST_F(ContentCheckTest, OneCheckServesSeveralThreadsAtOnce) {
    const QByteArray heads[] = {pdf(), png(), QByteArray("plain text\n")};
    const QString names[] = {QStringLiteral("a.pdf"), QStringLiteral("a.png"), QStringLiteral("a.txt")};
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                const int k = (t + i) % 3;
                if (!m_check.checkHead(names[k], heads[k], names[k]).fits()) {
                    ++wrong;
                }
            }
        });
    }
    for (std::thread &thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong.load(), 0);
}

} // namespace
