// What the operator feels: one scheduler tick with a long day's queue (the record log rewritten on the
// UI thread), and the start-up of the window with that day's log, beside the same work on an empty day.

#include "app/CMainFrame.h"
#include "core/common/Clock.h"
#include "core/config/SettingsRecord.h"
#include "core/records/RecordLog.h"
#include "core/records/UploadRecord.h"
#include "core/records/UploadTable.h"
#include "core/station/StationParts.h"
#include "core/transfer/TransferJob.h"
#include "core/upload/TransferScheduler.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace UploadRecord;

namespace {

void fillDay(UploadTable &table, int rows) {
    for (int i = 0; i < rows; ++i) {
        const int row = table.appendRow(QString::number(i + 1));
        table.setCell(row, CellFileName, QStringLiteral("现场照片-%1.jpg").arg(i));
        table.setCell(row, CellFileSize, QStringLiteral("%1 KB").arg(i * 7));
        table.setCell(row, CellDestination,
                      QStringLiteral("192.168.1.10:4321||d://报表/季度/%1").arg(i % 50));
        table.setCell(row, CellStatus, kStatusComplete);
        table.setCell(row, CellStartTime, QStringLiteral("2026-12-07 09:00:00"));
        table.setCell(row, CellFinishTime, QStringLiteral("2026-12-07 09:00:02"));
    }
}

long residentKilobytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').first().toLong();
        }
    }
    return 0;
}

// A tick that finds the last transfer done: it marks the row complete and starts the next one, so the
// log is written twice, as in service. The baseline is a tick over the same table that writes nothing.
void BM_Tick(benchmark::State &state, bool writes) {
    QTemporaryDir dir;
    FixedClock clock(QDateTime::currentDateTime());
    UploadTable table;
    RecordLog log(table, clock);
    log.loadRecordLog(dir.path() + QLatin1Char('/'));
    log.setCoalesceWindow(0); // every rewrite measured, as before coalescing
    TransferJob job;
    SettingsRecord settings;
    TransferScheduler scheduler(table, log, job, settings, clock, [&job](auto &...) {
        job.running = true;
        return true;
    });
    const int rows = static_cast<int>(state.range(0));
    fillDay(table, rows);
    for (auto _ : state) {
        state.PauseTiming();
        if (writes) {
            table.setCell(rows - 2, CellStatus, kStatusUploading);
            table.setCell(rows - 1, CellStatus, kStatusReady);
        }
        job.running = false;
        state.ResumeTiming();
        if (writes) {
            scheduler.finish(TransferOutcome{}); // the transfer at rows - 2 succeeded
        }
        benchmark::DoNotOptimize(scheduler.scheduleNext());
    }
    state.counters["rows"] = rows;
}

void BM_TickWritingTheLog(benchmark::State &state) {
    BM_Tick(state, true);
}
void BM_Baseline_TickWritingNothing(benchmark::State &state) {
    BM_Tick(state, false);
}

// From nothing to the window shown, with today's log of range(0) rows to reload.
void BM_StartUp(benchmark::State &state) {
    QTemporaryDir work;
    const int rows = static_cast<int>(state.range(0));
    {
        StationParts seed(work.path());
        fillDay(seed.table, rows);
        seed.log.loadRecordLog(work.path() + QLatin1Char('/'));
        seed.log.writeRecordLog();
    }
    SettingsRecord settings;
    settings.completionFolder = settings.transitFolder = settings.uploadFolder =
        work.path() + QLatin1Char('/');
    settings.recordFolder = work.path() + QLatin1Char('/');
    SettingsStore(work.filePath(QStringLiteral("Berlvantis.ini"))).save(settings);

    long resident = 0;
    for (auto _ : state) {
        StationParts parts(work.path());
        parts.filter.load();
        CMainFrame frame(parts);
        frame.OnCreate();
        frame.OnInitialUpdates();
        frame.showMaximized();
        QApplication::processEvents();
        if (parts.table.rowCount() != rows) {
            state.SkipWithError("the log did not reload");
        }
        resident = residentKilobytes();
    }
    state.counters["rows"] = rows;
    state.counters["resident_MB"] = resident / 1024.0;
}

} // namespace

BENCHMARK(BM_Baseline_TickWritingNothing)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TickWritingTheLog)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartUp)->Arg(0)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
