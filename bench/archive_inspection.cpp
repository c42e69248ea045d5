// Looking inside archives: a zip of 10,000 small members, and two nested bombs (three levels of 16
// archives around 64 MiB of zeros, which unpacks to 16 GiB, and five levels, like the famous 42.zip),
// each opened by the archive inspector beside the plainest loop: libarchive listing the names of the
// top level alone. Every run is a process of its own, so its peak memory is its own: the high-water mark
// of its resident set (VmHWM), which, unlike getrusage's, does not carry the forking parent's over exec.
//
// Prints milliseconds and peak memory; the goals are under 1 s for the 10,000 members and for each
// bomb, and under 64 MB of memory for a bomb.

#include "TestArchives.h"
#include "core/inspection/ArchiveInspector.h"
#include "core/inspection/ContentCheck.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <archive.h>
#include <archive_entry.h>
#include <cstdio>
#include <cstring>

namespace {

bool allowed(const QString &name) {
    return name.endsWith(QStringLiteral(".txt")) || name.endsWith(QStringLiteral(".zip"));
}

// The plainest loop: every name of the top level, no data read.
QString list(const QString &path, qint64 *members) {
    archive *a = archive_read_new();
    archive_read_support_format_zip(a);
    QString outcome = QStringLiteral("listed");
    if (archive_read_open_filename(a, QFile::encodeName(path).constData(), 65536) != ARCHIVE_OK) {
        outcome = QStringLiteral("unreadable");
    } else {
        archive_entry *entry = nullptr;
        while (archive_read_next_header(a, &entry) == ARCHIVE_OK) {
            ++*members;
            archive_read_data_skip(a);
        }
    }
    archive_read_free(a);
    return outcome;
}

// In the child: runs one mode on path and prints "milliseconds peak-KiB members outcome".
int runChild(const QString &mode, const QString &path) {
    const ContentCheck check;
    QElapsedTimer clock;
    clock.start();
    qint64 members = 0;
    QString outcome = QStringLiteral("idle");
    if (mode == u"list") {
        outcome = list(path, &members);
    } else if (mode != u"idle") {
        const ArchiveInspector inspector(allowed, mode == u"content" ? &check : nullptr);
        const ArchiveInspector::Verdict verdict = inspector.inspect(path);
        members = verdict.members;
        outcome = verdict.accepted() ? QStringLiteral("accepted") : verdict.reason;
    }
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    long peakKib = -1;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:")) {
                peakKib = line.mid(6).trimmed().split(' ').value(0).toLong();
            }
        }
    }
    std::printf("%.1f %ld %lld %s\n", ms, peakKib, static_cast<long long>(members), qPrintable(outcome));
    return 0;
}

struct Run {
    double ms = -1;
    double peakMb = -1;
    qint64 members = 0;
    QString outcome;
};

Run runInChild(const QString &mode, const QString &path) {
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), mode, path});
    Run run;
    if (!child.waitForFinished(600000)) {
        return run;
    }
    const QString line = QString::fromUtf8(child.readAllStandardOutput()).trimmed();
    const QStringList parts = line.split(u' ');
    if (parts.size() >= 4) {
        run.ms = parts[0].toDouble();
        run.peakMb = parts[1].toDouble() / 1024;
        run.members = parts[2].toLongLong();
        run.outcome = parts.mid(3).join(u' ');
    }
    return run;
}

void print(const char *what, const Run &run) {
    std::printf("  %-52s %9.1f ms %7.1f MB  %6lld members  %s\n", what, run.ms, run.peakMb,
                static_cast<long long>(run.members), qPrintable(run.outcome));
}

bool save(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return !bytes.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// count copies of inner, named name-NN.zip, in one zip.
QByteArray copies(const QByteArray &inner, int count) {
    QList<TestArchives::Member> members;
    for (int i = 0; i < count; ++i) {
        members.append({QStringLiteral("part-%1.zip").arg(i, 2, 10, QLatin1Char('0')), inner});
    }
    return TestArchives::make(QStringLiteral("zip"), members);
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], "--child") == 0) {
        return runChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QTemporaryDir dir;
    const QString many = dir.filePath(QStringLiteral("many.zip"));
    const QString bomb = dir.filePath(QStringLiteral("bomb.zip"));
    const QString deep = dir.filePath(QStringLiteral("deep.zip"));
    QList<TestArchives::Member> members;
    for (int i = 0; i < 10000; ++i) {
        members.append({QStringLiteral("docs/%1/file-%2.txt").arg(i / 100).arg(i, 5, 10, QLatin1Char('0')),
                        QStringLiteral("第 %1 行：季度报告的一段文字。\n").arg(i).repeated(8).toUtf8()});
    }
    const QByteArray leaf = TestArchives::make(QStringLiteral("zip"),
                                               {{QStringLiteral("zeros.txt"), QByteArray(64 << 20, '\0')}});
    const QByteArray level2 = copies(leaf, 16);
    const QByteArray level4 = copies(copies(level2, 16), 16);
    if (!save(many, TestArchives::make(QStringLiteral("zip"), members)) || !save(bomb, copies(level2, 16)) ||
        !save(deep, copies(level4, 16))) {
        std::fprintf(stderr, "cannot write the archives\n");
        return 1;
    }

    const Run idle = runInChild(QStringLiteral("idle"), QString());
    std::printf("\nA process that starts and loads libmagic, for scale: %.1f MB peak\n", idle.peakMb);

    std::printf("\nA zip of 10,000 small text members (%.1f MB)\n", QFile(many).size() / 1e6);
    print("baseline: libarchive lists the names", runInChild(QStringLiteral("list"), many));
    print("the inspector, names (goal: under 1 s)", runInChild(QStringLiteral("names"), many));
    print("the inspector, names and content", runInChild(QStringLiteral("content"), many));

    std::printf("\nA bomb: 16 x 16 zips around 64 MiB of zeros (%.1f KB, unpacks to 16 GiB)\n",
                QFile(bomb).size() / 1e3);
    print("baseline: libarchive lists the names", runInChild(QStringLiteral("list"), bomb));
    print("the inspector (goal: under 1 s, under 64 MB)", runInChild(QStringLiteral("content"), bomb));

    std::printf("\nA deeper bomb: five levels of 16 zips (%.1f KB, unpacks to 4 TiB)\n",
                QFile(deep).size() / 1e3);
    print("baseline: libarchive lists the names", runInChild(QStringLiteral("list"), deep));
    print("the inspector (goal: under 1 s, under 64 MB)", runInChild(QStringLiteral("content"), deep));
    return 0;
}
