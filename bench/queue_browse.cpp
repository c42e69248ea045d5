// Queueing a whole subfolder and rebuilding the transit folder list, beside the bare file-system work
// they cannot avoid (renaming the same files; enumerating the same folders), measured in the same run.

#include "core/browse/TransitFolderList.h"
#include "core/common/Clock.h"
#include "core/common/Cp936.h"
#include "core/config/FileTypeFilter.h"
#include "core/config/InnerPathMapping.h"
#include "core/config/SettingsRecord.h"
#include "core/queue/QueueOperations.h"
#include "core/records/RecordLog.h"
#include "core/records/UploadTable.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <filesystem>

namespace {

void makeFiles(const QString &folder, int count, const QString &stem) {
    QDir().mkpath(folder);
    for (int i = 0; i < count; ++i) {
        QFile file(QStringLiteral("%1/%2-%3.txt").arg(folder, stem).arg(i));
        file.open(QIODevice::WriteOnly);
        file.write("x");
    }
}

void BM_AddRecord(benchmark::State &state) {
    const int files = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        SettingsRecord settings;
        settings.transitFolder = dir.filePath(QStringLiteral("transit/"));
        settings.uploadFolder = dir.filePath(QStringLiteral("upload/"));
        QDir().mkpath(settings.uploadFolder);
        makeFiles(settings.transitFolder + QStringLiteral("报表"), files, QStringLiteral("现场照片"));
        QFile mapping(dir.filePath(QStringLiteral("Brelvantis.path")));
        mapping.open(QIODevice::WriteOnly);
        mapping.write(*Cp936::encode(QStringLiteral("|报表*d://报表>192.168.1.10:4321|")));
        mapping.close();
        QFile filterFile(dir.filePath(QStringLiteral("Brelvantis.filter")));
        filterFile.open(QIODevice::WriteOnly);
        filterFile.write(FileTypeFilter::scramble("txt:"));
        filterFile.close();
        FileTypeFilter filter(filterFile.fileName());
        filter.load();
        InnerPathMapping paths(mapping.fileName());
        Clock clock;
        UploadTable table;
        RecordLog log(table, clock);
        log.loadRecordLog(dir.path() + QLatin1Char('/'));
        QueueOperations queue(table, log, filter, paths, settings);
        queue.setSettleTime([] { return std::chrono::milliseconds(0); }); // the files were just written
        state.ResumeTiming();

        queue.addRecord(QStringLiteral("报表"));

        state.PauseTiming();
        if (table.rowCount() != files) {
            state.SkipWithError("not every file was queued");
        }
        state.ResumeTiming();
    }
    state.counters["files"] = files;
}

void BM_Baseline_RenameSameFiles(benchmark::State &state) {
    const int files = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        const QString from = dir.filePath(QStringLiteral("transit/报表"));
        const QString to = dir.filePath(QStringLiteral("upload"));
        QDir().mkpath(to);
        makeFiles(from, files, QStringLiteral("现场照片"));
        state.ResumeTiming();
        for (const QString &name : QDir(from).entryList(QDir::Files)) {
            std::filesystem::rename(QFile::encodeName(from + QLatin1Char('/') + name).toStdString(),
                                    QFile::encodeName(to + QLatin1Char('/') + name).toStdString());
        }
    }
    state.counters["files"] = files;
}

class TransitFolder {
public:
    TransitFolder() {
        for (int folder = 0; folder < 200; ++folder) {
            makeFiles(m_dir.filePath(QStringLiteral("子目录-%1").arg(folder)), 100, QStringLiteral("f"));
        }
    }
    QString path() const { return m_dir.path() + QLatin1Char('/'); }

private:
    QTemporaryDir m_dir;
};

const TransitFolder &transit() {
    static const TransitFolder folder;
    return folder;
}

void BM_RefreshFolderList(benchmark::State &state) {
    const QString folder = transit().path(); // made once, outside the timing
    TransitFolderList list;
    for (auto _ : state) {
        list.refreshFolderList(folder);
    }
    state.counters["folders"] = static_cast<double>(list.rows().size());
}

void BM_Baseline_EnumerateSameFolders(benchmark::State &state) {
    const QString folder = transit().path(); // made once, outside the timing
    for (auto _ : state) {
        int entries = 0;
        QDirIterator folders(folder, QDir::Dirs | QDir::NoDotAndDotDot);
        while (folders.hasNext()) {
            QDirIterator files(folders.next(), QDir::Files);
            while (files.hasNext()) {
                files.next();
                ++entries;
            }
        }
        benchmark::DoNotOptimize(entries);
    }
}

} // namespace

BENCHMARK(BM_Baseline_RenameSameFiles)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_AddRecord)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Baseline_EnumerateSameFolders)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefreshFolderList)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
