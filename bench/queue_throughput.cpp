// Many small files: a queue of 1,000 files of 4 KiB sent by the station's own parts (upload table,
// scheduler, worker, record log, upload controller; no window) into an isolator peer on loopback that
// drops the data, against the plainest loop that sends the same files with the worker alone. Then the
// same 1,000 files at the end of a day's table of 10,000 rows.
//
// Prints files per second; the goals are at least half the loop's rate, and 50 files/s with the long
// table.

#include "IsolatorServer.h"
#include "core/common/Clock.h"
#include "core/common/Cp936.h"
#include "core/config/SettingsRecord.h"
#include "core/records/RecordLog.h"
#include "core/records/UploadRecord.h"
#include "core/records/UploadTable.h"
#include "core/transfer/TransferJob.h"
#include "core/transfer/TransferWorker.h"
#include "core/upload/TransferScheduler.h"
#include "core/upload/UploadController.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

using namespace UploadRecord;
using namespace std::chrono_literals;

namespace {

constexpr int kFiles = 1000;
const QString kDestination = QStringLiteral("10.0.0.2:4321||d:/bench");

QString fileName(int i) {
    return QStringLiteral("scan-%1.pdf").arg(i, 4, 10, QLatin1Char('0'));
}

bool writeFiles(const QString &folder) {
    const QByteArray bytes(4096, 'x');
    for (int i = 0; i < kFiles; ++i) {
        QFile file(folder + QLatin1Char('/') + fileName(i));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            return false;
        }
    }
    return true;
}

// Files per second of the worker alone, one file after another.
double workerLoop(const QString &folder, quint16 port) {
    TransferJob job;
    job.settleTime = {};
    TransferWorker worker(job);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kFiles; ++i) {
        if (!worker.start(folder, fileName(i), kDestination, QStringLiteral("127.0.0.1"),
                          QString::number(port)) ||
            !worker.wait(30s) || worker.lastResult() != TransferResult::Success) {
            return -1;
        }
    }
    return kFiles / (static_cast<double>(clock.nsecsElapsed()) / 1e9);
}

// Files per second of the station's parts sending the queue, after doneRows complete rows.
double station(const QString &folder, quint16 port, int doneRows) {
    QTemporaryDir records;
    Clock clock;
    UploadTable table;
    RecordLog log(table, clock);
    log.loadRecordLog(records.path() + QLatin1Char('/'));
    for (int i = 0; i < doneRows + kFiles; ++i) {
        const int row = table.appendRow(QString::number(i + 1));
        table.setCell(row, CellFileName,
                      i < doneRows ? QStringLiteral("earlier-%1.pdf").arg(i) : fileName(i - doneRows));
        table.setCell(row, CellFileSize, QStringLiteral("4 KB"));
        table.setCell(row, CellDestination, kDestination);
        if (i < doneRows) {
            table.setCell(row, CellStatus, kStatusComplete);
            table.setCell(row, CellStartTime, QStringLiteral("2026-12-07 09:00:00"));
            table.setCell(row, CellFinishTime, QStringLiteral("2026-12-07 09:00:01"));
        } else {
            table.setCell(row, CellStatus, kStatusReady);
        }
    }
    log.writeRecordLog();
    SettingsRecord settings;
    settings.uploadFolder = folder + QLatin1Char('/');
    settings.isolatorAddress = QStringLiteral("127.0.0.1");
    settings.isolatorPort = QString::number(port);
    TransferJob job;
    job.settleTime = {};
    TransferWorker worker(job);
    TransferScheduler scheduler(table, log, job, settings, clock,
                                [&worker](const QString &f, const QString &n, const QString &d,
                                          const QString &a,
                                          const QString &p) { return worker.start(f, n, d, a, p); });
    UploadController upload(scheduler, worker, log);
    QEventLoop loop;
    int sent = -1;
    QObject::connect(&upload, &UploadController::drained, &loop, [&](int files) {
        sent = files;
        loop.quit();
    });
    QTimer::singleShot(600s, &loop, &QEventLoop::quit);
    upload.startTicking(); // the 2-second heartbeat, as in service
    QElapsedTimer elapsed;
    elapsed.start();
    upload.start();
    upload.OnTimer(); // the operator's start: the first file goes at once
    loop.exec();
    const double seconds = static_cast<double>(elapsed.nsecsElapsed()) / 1e9;
    upload.shutDown();
    return sent == kFiles ? kFiles / seconds : -1;
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

    // Best of three, interleaved, so a burst of load elsewhere does not hit one figure only.
    double loop = 0, queue = 0, longTable = 0;
    for (int round = 0; round < 3; ++round) {
        loop = std::max(loop, workerLoop(folder, peer.port()));
        queue = std::max(queue, station(folder, peer.port(), 0));
        longTable = std::max(longTable, station(folder, peer.port(), 10000 - kFiles));
    }
    std::printf("\n%d files of 4 KiB into a dropping isolator peer on loopback (best of 3)\n", kFiles);
    std::printf("  %-60s %8.1f files/s\n", "baseline: the worker alone, one file after another", loop);
    std::printf("  %-60s %8.1f files/s\n", "the station's queue (scheduler, worker, log)", queue);
    std::printf("  %-60s %8.1f %%   (goal: at least 50 %%)\n", "    queue / baseline",
                loop > 0 ? 100 * queue / loop : 0);
    std::printf("  %-60s %8.1f files/s (goal: at least 50)\n",
                "the same files at the end of a 10,000-row table", longTable);
    return loop > 0 && queue > 0 && longTable > 0 ? 0 : 1;
}
