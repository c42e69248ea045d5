// What the operator feels when a sent file moves to a completion folder on another file system: how
// long the window's event loop goes unanswered while a 1 GiB file is copied there by CompletionMover,
// beside the baseline measured in the same run, the same move done on the event-loop thread itself.
// The loop is timed with a 10 ms timer; the figure is the longest gap between two of its ticks.
//
// The upload folder is on a tmpfs (/dev/shm) and the completion folder on the disk (/var/tmp or /tmp),
// so the copy writes the whole file to the disk. BRELVANTIS_BENCH_BYTES gives another size.

#include "core/common/Clock.h"
#include "core/common/FileMove.h"
#include "core/common/Paths.h"
#include "core/config/SettingsRecord.h"
#include "core/upload/CompletionMover.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <sys/statfs.h>

namespace {

constexpr long kTmpfsMagic = 0x01021994;
constexpr int kTickMs = 10;
constexpr qint64 kGoalMs = 100;

struct Place {
    QString folder;
    dev_t device = 0;
    bool tmpfs = false;
};

std::unique_ptr<Place> placeOf(const char *folder) {
    struct stat status {};
    struct statfs system {};
    if (::stat(folder, &status) != 0 || !S_ISDIR(status.st_mode) || ::statfs(folder, &system) != 0 ||
        !QFileInfo(QString::fromLocal8Bit(folder)).isWritable()) {
        return nullptr;
    }
    return std::make_unique<Place>(
        Place{QString::fromLocal8Bit(folder), status.st_dev, system.f_type == kTmpfsMagic});
}

bool writeFile(const QString &path, qint64 bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (qsizetype i = 0; i < block.size(); ++i) {
        block[i] = char(i * 131 + 7);
    }
    for (qint64 left = bytes; left > 0; left -= block.size()) {
        if (file.write(block.constData(), qMin<qint64>(left, block.size())) < 0) {
            return false;
        }
    }
    return true;
}

struct Figures {
    qint64 longestGapMs = 0;
    qint64 moveMs = 0;
    QString failure;
};

// Runs the event loop with the 10 ms timer while start's work goes on; the work calls finished.
Figures timeEventLoop(const std::function<void(std::function<void(const QString &)> finished)> &start) {
    Figures figures;
    QEventLoop loop;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(kTickMs);
    QElapsedTimer sinceTick;
    QElapsedTimer move;
    QObject::connect(&tick, &QTimer::timeout,
                     [&] { figures.longestGapMs = qMax(figures.longestGapMs, sinceTick.restart()); });
    QTimer::singleShot(50, [&] {
        sinceTick.start();
        move.start();
        tick.start();
        start([&](const QString &failure) {
            figures.moveMs = move.elapsed();
            figures.failure = failure;
            loop.quit();
        });
    });
    loop.exec();
    figures.longestGapMs = qMax(figures.longestGapMs, sinceTick.elapsed());
    return figures;
}

void print(const char *what, const Figures &figures, qint64 bytes) {
    if (!figures.failure.isEmpty()) {
        std::printf("%-46s failed: %s\n", what, qPrintable(figures.failure));
        return;
    }
    std::printf("%-46s longest event-loop gap %6lld ms   move %6lld ms (%.0f MB/s)\n", what,
                static_cast<long long>(figures.longestGapMs), static_cast<long long>(figures.moveMs),
                figures.moveMs > 0 ? double(bytes) / 1e6 / (double(figures.moveMs) / 1000.0) : 0.0);
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const qint64 bytes = qEnvironmentVariableIsSet("BRELVANTIS_BENCH_BYTES")
                             ? qEnvironmentVariable("BRELVANTIS_BENCH_BYTES").toLongLong()
                             : qint64(1) << 30;

    std::unique_ptr<Place> memory = placeOf("/dev/shm");
    if (memory && !memory->tmpfs) {
        memory.reset();
    }
    std::unique_ptr<Place> disk;
    for (const char *folder : {"/var/tmp", "/tmp"}) {
        disk = placeOf(folder);
        if (disk && !disk->tmpfs) {
            break;
        }
        disk.reset();
    }
    if (!memory || !disk) {
        std::printf("no %s here: both folders are on %s, so the move is a rename and not a copy\n",
                    memory ? "disk folder (/var/tmp, /tmp)" : "tmpfs at /dev/shm",
                    memory ? "/dev/shm" : "/tmp");
    }
    const QString uploadRoot = memory ? memory->folder : disk ? disk->folder : QStringLiteral("/tmp");
    const QString completionRoot = disk ? disk->folder : uploadRoot;
    QTemporaryDir upload(uploadRoot + QStringLiteral("/brelvantis-bench-upload-XXXXXX"));
    QTemporaryDir completion(completionRoot + QStringLiteral("/brelvantis-bench-done-XXXXXX"));
    if (!upload.isValid() || !completion.isValid()) {
        std::fprintf(stderr, "cannot make the folders under %s and %s\n", qPrintable(uploadRoot),
                     qPrintable(completionRoot));
        return 1;
    }
    std::printf("moving a %lld MiB file from %s to %s; the event loop ticks every %d ms\n",
                static_cast<long long>(bytes >> 20), qPrintable(upload.path()), qPrintable(completion.path()),
                kTickMs);

    SettingsRecord settings;
    settings.uploadFolder = upload.path() + u'/';
    settings.completionFolder = completion.path() + u'/';
    const FixedClock clock(QDateTime(QDate(2024, 3, 5), QTime(16, 0)));
    const QString name = QStringLiteral("sent.bin");
    const QString folderOfTheDay = Paths::join(settings.completionFolder, clock.dateText());

    // Before: the move on the event-loop thread, as the completion hook did it.
    if (!writeFile(upload.filePath(name), bytes)) {
        std::fprintf(stderr, "cannot write the file to move\n");
        return 1;
    }
    const Figures before = timeEventLoop([&](const std::function<void(const QString &)> &finished) {
        QString failure = FileMove::makeFolder(folderOfTheDay);
        if (failure.isEmpty()) {
            failure = FileMove::move(
                upload.filePath(name),
                Paths::join(folderOfTheDay, CompletionMover::freeName(folderOfTheDay, name)), false);
        }
        finished(failure);
    });
    QDir(folderOfTheDay).removeRecursively();

    // Now: the move on CompletionMover's thread.
    if (!writeFile(upload.filePath(name), bytes)) {
        std::fprintf(stderr, "cannot write the file to move\n");
        return 1;
    }
    CompletionMover mover(settings, clock);
    const Figures now = timeEventLoop([&](const std::function<void(const QString &)> &finished) {
        QObject::connect(&mover, &CompletionMover::moved, [finished] { finished(QString()); });
        QObject::connect(&mover, &CompletionMover::moveFailed,
                         [finished](const QString &message) { finished(message); });
        mover.moveSentFile(name);
    });
    QDir(folderOfTheDay).removeRecursively();

    // The floor: the same loop with nothing moving, on a machine that may be busy with other work.
    const Figures idle = timeEventLoop([](const std::function<void(const QString &)> &finished) {
        QTimer::singleShot(2000, [finished] { finished(QString()); });
    });

    print("synchronous, on the event-loop thread (before):", before, bytes);
    print("CompletionMover, on its own thread:", now, bytes);
    std::printf("%-46s longest event-loop gap %6lld ms\n",
                "nothing moving (2 s), for reference:", static_cast<long long>(idle.longestGapMs));
    std::printf("goal: the event loop answers within %lld ms during the move: %s\n",
                static_cast<long long>(kGoalMs),
                now.failure.isEmpty() && now.longestGapMs <= kGoalMs ? "met" : "NOT met");
    return 0;
}
