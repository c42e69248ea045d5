#include "core/config/SettingsStore.h"
#include "core/xls/Workbook.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

QString u(const char *text) {
    return QString::fromUtf8(text);
}

struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

ToolRun runLog(const QStringList &args) {
    QProcess tool;
    tool.start(QStringLiteral(BRELVANTIS_BIN_DIR "/brelvantis-log"), args);
    EXPECT_TRUE(tool.waitForFinished(60000));
    EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit);
    return {tool.exitCode(), tool.readAllStandardOutput(), tool.readAllStandardError()};
}

QByteArray fixture(const char *name) {
    QFile file(QStringLiteral(BRELVANTIS_FIXTURE_DIR "/xls/") + QLatin1String(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

TEST(LogTool, ShowPrintsTheSheetAsTabSeparatedLines) {
    const ToolRun run =
        runLog({u("show"), QStringLiteral(BRELVANTIS_FIXTURE_DIR "/xls/libreoffice-from-csv.xls")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, fixture("libreoffice-from-csv.tsv"));
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
}

TEST(LogTool, ControlCharactersAndBackslashesAreEscapedReversibly) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u("2024-03-05.xls"));
    // Every other control character is written as \xNN: none reaches the terminal.
    ASSERT_TRUE(Xls::writeWorkbook(
        path, u("Sheet1"),
        {{u("a\tb"), u("c\\d"), u("e\r\nf")}, {u("\\n"), u("\x1b[2J\x07\x7f\u0085\u009f."), u("\\x41")}}));
    const ToolRun run = runLog({u("show"), path});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, QByteArray("a\\tb\tc\\\\d\te\\r\\nf\n"
                                  "\\\\n\t\\x1b[2J\\x07\\x7f\\x85\\x9f.\t\\\\x41\n"));
}

TEST(LogTool, UnreadableFilesExitNonZeroWithTheReasonOnStandardError) {
    QTemporaryDir dir;
    const QString missing = dir.filePath(u("none.xls"));
    ToolRun run = runLog({u("show"), missing});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_EQ(QString::fromUtf8(run.err), u("brelvantis-log: 无法读取 %1：文件不存在\n").arg(missing));

    const QString text = dir.filePath(u("text.xls"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a workbook\n");
    file.close();
    run = runLog({u("show"), text});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("compound file")) << run.err.toStdString();

    const QString otherSheet = dir.filePath(u("other.xls"));
    ASSERT_TRUE(Xls::writeWorkbook(otherSheet, u("记录"), {{u("x")}}));
    run = runLog({u("show"), otherSheet});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(u("no sheet named “Sheet1” (its sheets: 记录)").toUtf8()))
        << run.err.toStdString();
}

TEST(LogTool, ADamagedWorkbookStreamIsNamedInTheOneErrorLine) {
    // The directory entry of the stream "Workbook" points to a sector far beyond the file's end.
    QTemporaryDir dir;
    const QString path = dir.filePath(u("2024-03-05.xls"));
    ASSERT_TRUE(Xls::writeWorkbook(path, u("Sheet1"), {{u("x")}}));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    const quint32 directorySector = qFromLittleEndian<quint32>(bytes.constData() + 0x30);
    const QByteArray name = QByteArray::fromRawData(reinterpret_cast<const char *>(u"Workbook"), 16);
    const qsizetype entry = bytes.indexOf(name, 512 + qsizetype(directorySector) * 512);
    ASSERT_GT(entry, 0);
    qToLittleEndian<quint32>(1000, bytes.data() + entry + 0x74);
    file.seek(0);
    file.write(bytes);
    file.close();

    const ToolRun run = runLog({u("show"), path});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.startsWith("brelvantis-log: ")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(u("damaged: the stream “Workbook”").toUtf8())) << run.err.toStdString();
    // libgsf's own account of the damage is part of the line.
    EXPECT_TRUE(run.err.contains("0x000003e8")) << run.err.toStdString();
}

// Names that stand for what never ends or blocks: a day linked to a procfs file that claims to be
// empty, settings that are a pipe without a writer or an endless device. Each ends the tool at once
// with one line saying why.
TEST(LogTool, WhatNeverEndsOrBlocksIsRefusedAtOnce) {
    QTemporaryDir dir;
    const QString folder = dir.filePath(u("记录"));
    const QString day = folder + u("/2026-11-06.xls");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QFile::link(u("/proc/self/pagemap"), day));
    const QString tooLarge = u("brelvantis-log: 文件过大，无法读取 %1：超过 268435456 字节\n").arg(day);
    ToolRun run = runLog({u("show"), day});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(QString::fromUtf8(run.err), tooLarge);
    run = runLog({u("find"), u("a"), u("--record-folder"), folder});
    EXPECT_EQ(run.exitCode, 1) << "nothing found";
    EXPECT_EQ(QString::fromUtf8(run.err), tooLarge);

    const QString settings = dir.filePath(u("Berlvantis.ini"));
    const QString notAFile =
        u("brelvantis-log: 无法读取 %1：不是普通文件（文件夹、管道、套接字或设备）\n").arg(settings);
    ASSERT_EQ(::mkfifo(QFile::encodeName(settings).constData(), 0600), 0);
    run = runLog({u("find"), u("a"), u("--workdir"), dir.path()});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(QString::fromUtf8(run.err), notAFile);
    ASSERT_TRUE(QFile::remove(settings) && QFile::link(u("/dev/zero"), settings));
    run = runLog({u("find"), u("a"), u("--workdir"), dir.path()});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(QString::fromUtf8(run.err), notAFile);
}

TEST(LogTool, HelpAndWrongCommandLines) {
    ToolRun run = runLog({u("--help")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.startsWith("Usage: brelvantis-log show FILE"));
    for (const QStringList &args :
         {QStringList{}, QStringList{u("show")}, QStringList{u("list"), u("a.xls")},
          QStringList{u("show"), u("a.xls"), u("--record-folder"), u("/tmp")}, QStringList{u("find")},
          QStringList{u("show"), u("a.xls"), u("--limit"), u("1")},
          QStringList{u("find"), u("a"), u("--limit"), u("0")},
          QStringList{u("find"), u("a"), u("--limit=x")}}) {
        run = runLog(args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.err.startsWith("Usage:"));
    }
}

TEST(LogTool, FindPrintsTheRecordsOfEveryDayThatMatch) {
    QTemporaryDir dir;
    const QString folder = dir.path() + u("/记录/");
    QDir().mkpath(folder);
    const QStringList header{u("序号"),     u("文件名称"), u("文件大小"), u("存放路径"),
                             u("操作状态"), u("开始时间"), u("完成时间")};
    for (const QString &day : {u("2026-11-03"), u("2026-11-04")}) {
        ASSERT_TRUE(
            Xls::writeWorkbook(folder + day + u(".xls"), u("Sheet1"),
                               {header,
                                {u("1"), u("合同-") + day + u(".pdf"), u("2KB"), u("10.0.0.2:4321||d://合同"),
                                 u("上传完成"), day + u(" 09:00:00"), day + u(" 09:00:01")}}));
    }
    QFile bad(folder + u("2026-11-05.xls"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly) && bad.write("garbage") == 7);
    bad.close();

    ToolRun run = runLog({u("find"), u("合同-2026-11-03"), u("--record-folder"), folder});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(run.out), u("日期\t时间\t操作状态\t文件名称\t存放路径\t文件大小\tSHA-256\n"
                                            "2026-11-03\t09:00:01\t上传完成\t合同-2026-11-03.pdf\t"
                                            "10.0.0.2:4321||d://合同\t2KB\t\n"));
    // The unreadable day is named, and hides nothing; the workbook reader's words on a line of their own.
    const QString unreadable = u("brelvantis-log: 无法识别 ") +
                               QDir::toNativeSeparators(folder + u("2026-11-05.xls")) +
                               u("：不是可读的记录表\nThe file is not an Excel 97-2003 "
                                 "workbook: it is no OLE2 compound file (No OLE2 signature).\n");
    EXPECT_EQ(QString::fromUtf8(run.err), unreadable);

    // Every match by default; --limit cuts the newest N and says that it did.
    run = runLog({u("find"), u("合同"), u("--record-folder"), folder});
    EXPECT_EQ(run.out.count('\n'), 3);
    EXPECT_EQ(QString::fromUtf8(run.err), unreadable);
    run = runLog({u("find"), u("合同"), u("--limit"), u("1"), u("--record-folder"), folder});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.count('\n'), 2);
    EXPECT_TRUE(run.out.contains("合同-2026-11-04.pdf")) << "the newest";
    EXPECT_EQ(QString::fromUtf8(run.err),
              unreadable + u("brelvantis-log: 已达到 --limit 1，还有更多匹配未显示\n"));

    // From the station's own settings: a working folder whose settings name the record folder.
    SettingsRecord settings;
    settings.completionFolder = settings.transitFolder = settings.uploadFolder = dir.path();
    settings.recordFolder = folder;
    ASSERT_EQ(SettingsStore(dir.filePath(u("Berlvantis.ini"))).save(settings).outcome,
              SettingsStore::SaveResult::Outcome::Saved);
    run = runLog({u("find"), u("d://合同"), u("--workdir"), dir.path()});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.count('\n'), 3);

    run = runLog({u("find"), u("没有"), u("--record-folder"), folder});
    EXPECT_EQ(run.exitCode, 1);
    run = runLog({u("find"), u("合同"), u("--workdir"), dir.filePath(u("nowhere"))});
    EXPECT_EQ(run.exitCode, 3);
    run = runLog({u("find"), u("合同"), u("--record-folder"), dir.filePath(u("gone"))});
    EXPECT_EQ(run.exitCode, 3) << "no record folder is not \"nothing found\"";
    EXPECT_EQ(run.err, u("brelvantis-log: 记录目录不存在：") + dir.filePath(u("gone")) + u("\n"));
}

} // namespace
