#include "core/xls/Workbook.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#endif

// The log is replaced whole or not at all: a failed write keeps the previous file byte for byte and
// leaves no temporary file behind.
namespace {

QString u(const char *text) {
    return QString::fromUtf8(text);
}

QByteArray contents(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

Xls::Rows bigTable() {
    Xls::Rows rows;
    for (int r = 0; r < 5000; ++r) {
        rows.append(
            {QString::number(r), u("文件%1.txt").arg(r), u("准备上传"), u("2024-03-05 10:00:%1").arg(r)});
    }
    return rows;
}

class XlsAtomicWrite : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Xls::writeWorkbook(path, u("Sheet1"), {{u("序号")}, {u("1")}}));
        before = contents(path);
        ASSERT_FALSE(before.isEmpty());
    }

    void expectOldFileAlone() {
        EXPECT_EQ(contents(path), before);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList{u("2024-03-05.xls")});
    }

    QTemporaryDir dir;
    QString path = dir.filePath(u("2024-03-05.xls"));
    QByteArray before;
};

TEST_F(XlsAtomicWrite, ReplacesTheFileWhole) {
    ASSERT_TRUE(Xls::writeWorkbook(path, u("Sheet1"), bigTable()));
    ASSERT_TRUE(Xls::writeWorkbook(path, u("Sheet1"), {{u("新")}}));
    Xls::Rows rows;
    QString error;
    ASSERT_TRUE(Xls::readWorksheet(path, u("Sheet1"), &rows, &error));
    EXPECT_EQ(rows, Xls::Rows{{u("新")}});
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST_F(XlsAtomicWrite, MissingFolderIsAnErrorAndNotCreated) {
    const QString missing = dir.filePath(u("记录/2024-03-05.xls"));
    QString error;
    EXPECT_FALSE(Xls::writeWorkbook(missing, u("Sheet1"), bigTable(), &error));
    EXPECT_TRUE(error.contains(u("记录"))) << error.toStdString();
    expectOldFileAlone();
}

#ifdef Q_OS_UNIX
TEST_F(XlsAtomicWrite, ReadOnlyFolderKeepsTheOldFile) {
    // Permissions do not stop root: there the folder becomes a file system mounted read-only.
    const bool root = geteuid() == 0;
    const auto mount = [this](const QStringList &options) {
        return QProcess::execute(u("mount"), QStringList{u("-t"), u("tmpfs")} + options +
                                                 QStringList{u("tmpfs"), dir.path()}) == 0;
    };
    if (root) {
        if (!mount({u("-o"), u("size=1m")})) {
            GTEST_SKIP() << "running as root where no file system can be mounted";
        }
        ASSERT_TRUE(Xls::writeWorkbook(path, u("Sheet1"), {{u("序号")}, {u("1")}}));
        before = contents(path);
        ASSERT_TRUE(mount({u("-o"), u("remount,ro")}));
    } else {
        ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    }
    QString error;
    const bool written = Xls::writeWorkbook(path, u("Sheet1"), bigTable(), &error);
    EXPECT_FALSE(written);
    EXPECT_FALSE(error.isEmpty());
    expectOldFileAlone();
    if (root) {
        QProcess::execute(u("umount"), {dir.path()});
    } else {
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

TEST_F(XlsAtomicWrite, WriteFailingHalfWayKeepsTheOldFile) {
    // A file size limit makes the write fail after its first 64 KiB, like a full disk.
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previousAction = {};
    ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &previousAction), 0);
    rlimit previousLimit = {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previousLimit), 0);
    rlimit limit = previousLimit;
    limit.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);

    QString error;
    const bool written = Xls::writeWorkbook(path, u("Sheet1"), bigTable(), &error);
    setrlimit(RLIMIT_FSIZE, &previousLimit);
    sigaction(SIGXFSZ, &previousAction, nullptr);

    EXPECT_FALSE(written);
    EXPECT_FALSE(error.isEmpty());
    expectOldFileAlone();
}
#endif

} // namespace
