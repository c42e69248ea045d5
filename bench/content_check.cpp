// The cost of checking each file's true type before it is sent: 1,000 files of 4 KiB sent one after
// another by the worker into an isolator peer on loopback that drops the data, with the content check
// (libmagic on each file's first bytes) before each send, beside the same sends without it. Also the
// check alone, for scale.
//
// Then the same 1,000 files queued from a transit subfolder by 添加记录 (the queue's own command: every
// check, the move into the upload folder, the record log), with CheckContent on beside off.
//
// Prints files per second; the goal is at least 80 % of the rate without the check, in both.

#include "IsolatorServer.h"
#include "core/common/Clock.h"
#include "core/common/Cp936.h"
#include "core/config/FileTypeFilter.h"
#include "core/config/InnerPathMapping.h"
#include "core/config/SettingsRecord.h"
#include "core/inspection/ContentCheck.h"
#include "core/inspection/FileInspection.h"
#include "core/queue/QueueOperations.h"
#include "core/records/RecordLog.h"
#include "core/records/UploadTable.h"
#include "core/transfer/TransferJob.h"
#include "core/transfer/TransferWorker.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

using namespace std::chrono_literals;

namespace {

constexpr int kFiles = 1000;
const QString kDestination = QStringLiteral("10.0.0.2:4321||d:/bench");

QString fileName(int i) {
    return QStringLiteral("scan-%1.pdf").arg(i, 4, 10, QLatin1Char('0'));
}

// Small PDFs, so the check finds what the names say and passes every file.
bool writeFiles(const QString &folder) {
    QByteArray bytes = QByteArrayLiteral("%PDF-1.4\n1 0 obj\n<<>>\nendobj\n");
    bytes.append(QByteArray(4096 - bytes.size() - 6, ' '));
    bytes.append("%%EOF\n");
    for (int i = 0; i < kFiles; ++i) {
        QFile file(folder + QLatin1Char('/') + fileName(i));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            return false;
        }
    }
    return true;
}

// Files per second of the worker sending every file, each checked first when check is given.
double send(const QString &folder, quint16 port, const ContentCheck *check) {
    TransferJob job;
    job.settleTime = {};
    TransferWorker worker(job);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kFiles; ++i) {
        if (check && !check->checkFile(folder + QLatin1Char('/') + fileName(i)).fits()) {
            return -1;
        }
        if (!worker.start(folder, fileName(i), kDestination, QStringLiteral("127.0.0.1"),
                          QString::number(port)) ||
            !worker.wait(30s) || worker.lastResult() != TransferResult::Success) {
            return -1;
        }
    }
    return kFiles / (static_cast<double>(clock.nsecsElapsed()) / 1e9);
}

double checkAlone(const QString &folder, const ContentCheck &check) {
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kFiles; ++i) {
        if (!check.checkFile(folder + QLatin1Char('/') + fileName(i)).fits()) {
            return -1;
        }
    }
    return kFiles / (static_cast<double>(clock.nsecsElapsed()) / 1e9);
}

// Files per second of 添加记录 queueing the folder's files, with the content check on or off.
double queue(const QString &folder, bool checkContent) {
    QTemporaryDir work;
    const QString transit = work.filePath(QStringLiteral("transit"));
    const QString subfolder = transit + QStringLiteral("/A");
    QDir().mkpath(subfolder);
    QDir().mkpath(work.filePath(QStringLiteral("upload")));
    QDir().mkpath(work.filePath(QStringLiteral("records")));
    for (int i = 0; i < kFiles; ++i) {
        if (!QFile::copy(folder + QLatin1Char('/') + fileName(i),
                         subfolder + QLatin1Char('/') + fileName(i))) {
            return -1;
        }
    }
    QFile filterFile(work.filePath(QStringLiteral("Brelvantis.filter")));
    QFile mappingFile(work.filePath(QStringLiteral("Brelvantis.path")));
    if (!filterFile.open(QIODevice::WriteOnly) || !mappingFile.open(QIODevice::WriteOnly)) {
        return -1;
    }
    filterFile.write(FileTypeFilter::scramble("pdf:"));
    mappingFile.write(*Cp936::encode(QStringLiteral("|A*d://bench>10.0.0.2:4321|")));
    filterFile.close();
    mappingFile.close();

    SettingsRecord settings;
    settings.transitFolder = transit + QLatin1Char('/');
    settings.uploadFolder = work.filePath(QStringLiteral("upload/"));
    settings.checkContent = checkContent ? QStringLiteral("1") : QString();
    FileTypeFilter filter(filterFile.fileName());
    filter.load();
    InnerPathMapping mapping(mappingFile.fileName());
    Clock clock;
    UploadTable table;
    RecordLog log(table, clock);
    log.loadRecordLog(work.filePath(QStringLiteral("records/")));
    QueueOperations operations(table, log, filter, mapping, settings);
    operations.setSettleTime([] { return std::chrono::milliseconds(0); });
    operations.setInspection(
        [&] { return FileInspection::inspectorFor(InspectionSettings::from(settings), filter); });
    QElapsedTimer elapsed;
    elapsed.start();
    operations.addRecord(QStringLiteral("A"));
    const double seconds = static_cast<double>(elapsed.nsecsElapsed()) / 1e9;
    return table.rowCount() == kFiles ? kFiles / seconds : -1;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    Cp936::requireAvailable();
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("upload"));
    QDir().mkpath(folder);
    if (!writeFiles(folder)) {
        std::fprintf(stderr, "cannot write the files\n");
        return 1;
    }
    IsolatorOptions options;
    options.listenPort = 0;
    options.discard = true;
    options.root = dir.filePath(QStringLiteral("root"));
    IsolatorServer peer(options);
    QString error;
    if (!peer.start(&error)) {
        std::fprintf(stderr, "the peer did not start: %s\n", qPrintable(error));
        return 1;
    }
    const ContentCheck check;
    if (!check.ready()) {
        std::fprintf(stderr, "libmagic or its database could not be loaded\n");
        return 1;
    }

    // Best of three, interleaved, so a burst of load elsewhere does not hit one figure only.
    double without = 0, with = 0, alone = 0, queuedOff = 0, queuedOn = 0;
    for (int round = 0; round < 3; ++round) {
        without = std::max(without, send(folder, peer.port(), nullptr));
        with = std::max(with, send(folder, peer.port(), &check));
        alone = std::max(alone, checkAlone(folder, check));
        queuedOff = std::max(queuedOff, queue(folder, false));
        queuedOn = std::max(queuedOn, queue(folder, true));
    }
    std::printf("\n%d files of 4 KiB into a dropping isolator peer on loopback (best of 3)\n", kFiles);
    std::printf("  %-60s %8.1f files/s\n", "baseline: the worker alone (CheckContent off)", without);
    std::printf("  %-60s %8.1f files/s\n", "the content check before each send (CheckContent on)", with);
    std::printf("  %-60s %8.1f %%   (goal: at least 80 %%)\n", "    on / off",
                without > 0 ? 100 * with / without : 0);
    std::printf("  %-60s %8.1f files/s\n", "the content check alone", alone);
    std::printf("\n%d files of 4 KiB queued from a transit subfolder by 添加记录 (best of 3)\n", kFiles);
    std::printf("  %-60s %8.1f files/s\n", "baseline: CheckContent off", queuedOff);
    std::printf("  %-60s %8.1f files/s\n", "CheckContent on", queuedOn);
    std::printf("  %-60s %8.1f %%   (goal: at least 80 %%)\n", "    on / off",
                queuedOff > 0 ? 100 * queuedOn / queuedOff : 0);
    return without > 0 && with > 0 && alone > 0 && queuedOff > 0 && queuedOn > 0 ? 0 : 1;
}
