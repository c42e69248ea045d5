// Writing and reading the day's record log workbook, which the station rewrites after every status
// change on the UI thread. Baseline in the same run: the same cell texts written as plain UTF-16
// through QSaveFile, i.e. the cost of the atomic, flushed replace alone, so the format's own overhead
// is the difference.
#include "core/xls/Workbook.h"

#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>

namespace {

// Rows as the log holds them: seven cells of mostly Chinese text, file names and times all different.
Xls::Rows logRows(int count) {
    static const QString statuses[] = {QStringLiteral("准备上传"), QStringLiteral("正在上传"),
                                       QStringLiteral("上传完成"), QStringLiteral("传输故障")};
    Xls::Rows rows;
    rows.reserve(count + 1);
    rows.append({QStringLiteral("序号"), QStringLiteral("文件名称"), QStringLiteral("文件大小"),
                 QStringLiteral("存放路径"), QStringLiteral("操作状态"), QStringLiteral("开始时间"),
                 QStringLiteral("完成时间")});
    for (int r = 0; r < count; ++r) {
        const QString start = QStringLiteral("2024-03-05 %1:%2:%3")
                                  .arg(r / 3600 % 24, 2, 10, QLatin1Char('0'))
                                  .arg(r / 60 % 60, 2, 10, QLatin1Char('0'))
                                  .arg(r % 60, 2, 10, QLatin1Char('0'));
        rows.append({QString::number(r + 1), QStringLiteral("项目资料第%1号文件.docx").arg(r),
                     QStringLiteral("%1 KB").arg(r * 37 % 100000),
                     QStringLiteral("10.1.%1.2:4321||d://入库/资料").arg(r % 200), statuses[r % 4], start,
                     r % 4 == 2 ? start : QString()});
    }
    return rows;
}

QString benchPath(QTemporaryDir &dir) {
    return dir.filePath(QStringLiteral("2024-03-05.xls"));
}

void BM_WriteWorkbook(benchmark::State &state) {
    const Xls::Rows rows = logRows(int(state.range(0)));
    QTemporaryDir dir;
    const QString path = benchPath(dir);
    for (auto _ : state) {
        if (!Xls::writeWorkbook(path, QStringLiteral("Sheet1"), rows)) {
            state.SkipWithError("write failed");
        }
    }
    state.counters["file_KiB"] = double(QFile(path).size()) / 1024;
    state.SetComplexityN(state.range(0));
}

void BM_ReadWorkbook(benchmark::State &state) {
    QTemporaryDir dir;
    const QString path = benchPath(dir);
    Xls::writeWorkbook(path, QStringLiteral("Sheet1"), logRows(int(state.range(0))));
    for (auto _ : state) {
        Xls::Rows rows;
        QString error;
        if (!Xls::readWorksheet(path, QStringLiteral("Sheet1"), &rows, &error)) {
            state.SkipWithError("read failed");
        }
        benchmark::DoNotOptimize(rows);
    }
    state.SetComplexityN(state.range(0));
}

void BM_BaselineUtf16SaveFile(benchmark::State &state) {
    const Xls::Rows rows = logRows(int(state.range(0)));
    QTemporaryDir dir;
    const QString path = benchPath(dir);
    for (auto _ : state) {
        QSaveFile file(path);
        file.open(QIODevice::WriteOnly);
        for (const QStringList &row : rows) {
            for (const QString &cell : row) {
                file.write(reinterpret_cast<const char *>(cell.utf16()), cell.size() * 2);
            }
        }
        if (!file.commit()) {
            state.SkipWithError("baseline write failed");
        }
    }
    state.counters["file_KiB"] = double(QFile(path).size()) / 1024;
    state.SetComplexityN(state.range(0));
}

BENCHMARK(BM_WriteWorkbook)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);
BENCHMARK(BM_ReadWorkbook)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);
BENCHMARK(BM_BaselineUtf16SaveFile)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// Peak resident memory in KiB, from the kernel's high-water mark.
long peakKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLong();
        }
    }
    return -1;
}

// How much memory one write of 10,000 rows takes beyond the rows themselves, next to the file size.
void reportWriteMemory() {
    const Xls::Rows rows = logRows(10000);
    QTemporaryDir dir;
    const long before = peakKiB();
    Xls::writeWorkbook(benchPath(dir), QStringLiteral("Sheet1"), rows);
    const long after = peakKiB();
    if (before >= 0) {
        std::printf("Peak memory added by writing 10,000 rows: %ld KiB for a file of %lld KiB\n",
                    after - before, QFile(benchPath(dir)).size() / 1024);
    }
}

} // namespace

int main(int argc, char **argv) {
    reportWriteMemory();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
