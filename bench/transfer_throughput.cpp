// Throughput of a transfer from the station's worker into the isolator peer over loopback, beside a
// baseline measured in the same run: the plainest loop that reads the same file in 4096-byte blocks and
// sends them to a sink that drops them. Also: the peer storing versus dropping (storing must not be what
// holds the sender back), the peer's disk path alone, and eight senders at once versus one.
//
// The file is 1 GiB unless BRELVANTIS_BENCH_BYTES gives another size (e.g. 67108864 for a quick run);
// each figure is the best of BRELVANTIS_BENCH_REPETITIONS runs (3 unless set).

#include "ConnectionReport.h"
#include "IsolatorServer.h"
#include "core/common/Cp936.h"
#include "core/transfer/BlockIo.h"
#include "core/transfer/HeaderBlock.h"
#include "core/transfer/Socket.h"
#include "core/transfer/TransferJob.h"
#include "core/transfer/TransferWorker.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <openssl/evp.h>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr qint64 kBlock = 4096;
constexpr int kSenders = 8;
const QString kDestination = QStringLiteral("10.0.0.2:4321||d:/bench");

struct Setup {
    qint64 bytes = 0;
    QString sourceFolder; // holds "whole.bin" and the eight "part-N.bin"
    QString rootFolder;   // where the storing peer writes
};
Setup g_setup;

// MB/s per figure name, filled by the benchmarks and printed side by side at the end. The machine may
// be shared, so each figure keeps the best of its repetitions, which are interleaved at random.
std::map<std::string, double> g_rates;

void note(const std::string &figure, double mbps) {
    g_rates[figure] = std::max(g_rates[figure], mbps);
}

double megabytesPerSecond(qint64 bytes, double seconds) {
    return seconds > 0 ? static_cast<double>(bytes) / seconds / 1e6 : 0;
}

bool writeSource(const QString &path, qint64 bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    std::vector<quint32> chunk(256 * 1024);
    QRandomGenerator generator(12345);
    for (qint64 written = 0; written < bytes;) {
        generator.fillRange(chunk.data(), chunk.size());
        const qint64 length = std::min<qint64>(bytes - written, qint64(chunk.size() * sizeof(quint32)));
        if (file.write(reinterpret_cast<const char *>(chunk.data()), length) != length) {
            return false;
        }
        written += length;
    }
    return true;
}

// Collects the peer's reports so a benchmark can wait until files are in place.
class ReportWaiter {
public:
    void add(const ConnectionReport &report) {
        std::lock_guard lock(m_mutex);
        m_reports.push_back(report);
        m_changed.notify_all();
    }
    std::vector<ConnectionReport> waitFor(size_t count) {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, 600s, [&] { return m_reports.size() >= count; });
        return m_reports;
    }
    void clear() {
        std::lock_guard lock(m_mutex);
        m_reports.clear();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<ConnectionReport> m_reports;
};

IsolatorOptions peerOptions(bool discard) {
    IsolatorOptions options;
    options.listenAddress = "127.0.0.1";
    options.listenPort = 0;
    options.discard = discard;
    options.root = g_setup.rootFolder;
    options.maxConnections = kSenders * 2;
    return options;
}

void emptyRoot() {
    QDir root(g_setup.rootFolder);
    root.removeRecursively();
    QDir().mkpath(g_setup.rootFolder);
}

// --- Baseline ----------------------------------------------------------------------------------------

// The plainest sender: one read and one send per 4096-byte block, in lock step, as the worker once did.
bool sendLockStep(QFile &file, TcpSocket &socket, char *block) {
    while (file.read(block, kBlock) > 0) {
        socket.setDeadline(30s);
        for (qint64 sent = 0; sent < kBlock;) {
            const qint64 n = socket.send(block + sent, kBlock - sent);
            if (n <= 0) {
                return false;
            }
            sent += n;
        }
    }
    return true;
}

void BM_BaselineReadAndSendBlocks(benchmark::State &state) {
    TcpListener listener;
    if (!listener.listen("127.0.0.1", 0)) {
        state.SkipWithError("cannot listen");
        return;
    }
    double total = 0;
    for (auto _ : state) {
        std::thread sink([&listener] {
            std::unique_ptr<TcpSocket> connection = listener.accept(10s);
            if (!connection) {
                return;
            }
            std::vector<char> buffer(1 << 20);
            do {
                // A fresh deadline per call costs no system call (see TcpSocket::setDeadline).
                connection->setDeadline(60s);
            } while (connection->receive(buffer.data(), qint64(buffer.size())) > 0);
        });
        QElapsedTimer clock;
        clock.start();
        QFile file(g_setup.sourceFolder + QStringLiteral("/whole.bin"));
        TcpSocket socket;
        // One read and one send per block, as the worker does.
        bool ok = file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) && socket.create() &&
                  socket.connectTo("127.0.0.1", listener.port(), 5s);
        char block[kBlock] = {};
        ok = ok && sendLockStep(file, socket, block);
        socket.close();
        const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        sink.join();
        if (!ok) {
            state.SkipWithError("the baseline transfer failed");
            return;
        }
        state.SetIterationTime(seconds);
        total += seconds;
    }
    state.SetBytesProcessed(state.iterations() * g_setup.bytes);
    note("baseline", megabytesPerSecond(state.iterations() * g_setup.bytes, total));
}

// The same lock-step loop speaking the isolator's protocol (header, acknowledgement, then one read and
// one send per 4096-byte block) into the discarding peer the worker is measured against.
void BM_BaselineLockStepIntoDiscardingPeer(benchmark::State &state) {
    IsolatorServer peer(peerOptions(true));
    QString error;
    if (!peer.start(&error)) {
        state.SkipWithError(error.toStdString().c_str());
        return;
    }
    double total = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        QFile file(g_setup.sourceFolder + QStringLiteral("/whole.bin"));
        TcpSocket socket;
        char block[kBlock] = {};
        std::optional<HeaderBlock> header =
            HeaderBlock::forTransfer(QStringLiteral("whole.bin"), kDestination);
        bool ok = header && file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) && socket.create() &&
                  socket.connectTo("127.0.0.1", peer.port(), 5s);
        if (ok) {
            header->setFileSize(quint64(file.size()));
            header->writeTo(block);
            socket.setDeadline(30s);
            ok = sendBlock(block, socket) == BlockResult::kComplete &&
                 receiveBlock(block, socket) == BlockResult::kComplete;
        }
        ok = ok && sendLockStep(file, socket, block);
        const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        socket.close();
        if (!ok) {
            state.SkipWithError("the lock-step transfer failed");
            return;
        }
        state.SetIterationTime(seconds);
        total += seconds;
    }
    state.SetBytesProcessed(state.iterations() * g_setup.bytes);
    note("lock-step peer", megabytesPerSecond(state.iterations() * g_setup.bytes, total));
}

// --- The station's worker into the peer ---------------------------------------------------------------

// Sends every file of names at once, one worker each; returns the seconds until the last worker ended
// (the sender's view) and, in *inPlace, until the peer had stored the last file; negative on failure.
double sendAtOnce(ReportWaiter &reports, quint16 port, const QStringList &names, double *inPlace,
                  quint64 bandwidthLimit = 0, bool hashing = true) {
    reports.clear();
    std::vector<std::unique_ptr<TransferJob>> jobs;
    std::vector<std::unique_ptr<TransferWorker>> workers;
    QElapsedTimer clock;
    clock.start();
    for (const QString &name : names) {
        jobs.push_back(std::make_unique<TransferJob>());
        jobs.back()->bandwidthLimit = bandwidthLimit;
        jobs.back()->hashing = hashing;
        jobs.back()->settleTime = {};
        workers.push_back(std::make_unique<TransferWorker>(*jobs.back()));
        if (!workers.back()->start(g_setup.sourceFolder, name, kDestination, QStringLiteral("127.0.0.1"),
                                   QString::number(port))) {
            return -1;
        }
    }
    bool ok = true;
    for (auto &worker : workers) {
        ok = worker->wait(600s) && worker->lastResult() == TransferResult::Success && ok;
    }
    const double sent = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const auto done = reports.waitFor(size_t(names.size()));
    *inPlace = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    for (const ConnectionReport &report : done) {
        ok = ok && (report.outcome == ConnectionReport::Outcome::Stored ||
                    report.outcome == ConnectionReport::Outcome::Discarded);
    }
    return ok ? sent : -1;
}

void runWorkers(benchmark::State &state, bool discard, const QStringList &names, const std::string &figure,
                bool hashing = true) {
    ReportWaiter reports;
    IsolatorServer peer(peerOptions(discard),
                        [&reports](const ConnectionReport &report) { reports.add(report); });
    QString error;
    if (!peer.start(&error)) {
        state.SkipWithError(error.toStdString().c_str());
        return;
    }
    double sentTotal = 0;
    double inPlaceTotal = 0;
    double peerRateTotal = 0;
    for (auto _ : state) {
        double inPlace = 0;
        const double seconds = sendAtOnce(reports, peer.port(), names, &inPlace, 0, hashing);
        if (seconds < 0) {
            state.SkipWithError("a transfer failed");
            return;
        }
        state.SetIterationTime(seconds);
        sentTotal += seconds;
        inPlaceTotal += inPlace;
        for (const ConnectionReport &report : reports.waitFor(size_t(names.size()))) {
            peerRateTotal += report.megabytesPerSecond();
        }
        state.PauseTiming();
        emptyRoot();
        state.ResumeTiming();
    }
    const qint64 total = state.iterations() * g_setup.bytes;
    state.SetBytesProcessed(total);
    note(figure, megabytesPerSecond(total, sentTotal));
    note(figure + " in place", megabytesPerSecond(total, inPlaceTotal));
    note(figure + " peer", peerRateTotal / static_cast<double>(state.iterations() * names.size()));
}

// The bandwidth limit: 10 MB/s for 10 s of data into the dropping peer, against the limit.
void BM_WorkerLimitedTo10MBps(benchmark::State &state) {
    ReportWaiter reports;
    IsolatorServer peer(peerOptions(true),
                        [&reports](const ConnectionReport &report) { reports.add(report); });
    QString error;
    if (!peer.start(&error) || g_setup.bytes < qint64(100'000'000)) {
        state.SkipWithError("needs the peer and a file of at least 10^8 bytes");
        return;
    }
    for (auto _ : state) {
        double inPlace = 0;
        // The first 10^8 bytes of the file, as a file of its own.
        const QString name = QStringLiteral("limited.bin");
        QFile::remove(g_setup.sourceFolder + QLatin1Char('/') + name);
        QFile::copy(g_setup.sourceFolder + QStringLiteral("/whole.bin"),
                    g_setup.sourceFolder + QLatin1Char('/') + name);
        QFile(g_setup.sourceFolder + QLatin1Char('/') + name).resize(100'000'000);
        const double seconds = sendAtOnce(reports, peer.port(), {name}, &inPlace, 10'000'000);
        if (seconds < 0) {
            state.SkipWithError("the limited transfer failed");
            return;
        }
        state.SetIterationTime(seconds);
        g_rates["limited"] = megabytesPerSecond(100'000'000, seconds);
    }
}

void BM_WorkerIntoDiscardingPeer(benchmark::State &state) {
    runWorkers(state, true, {QStringLiteral("whole.bin")}, "discard");
}

void BM_WorkerWithoutHashIntoDiscardingPeer(benchmark::State &state) {
    runWorkers(state, true, {QStringLiteral("whole.bin")}, "discard no hash", false);
}

// SHA-256 alone (OpenSSL's libcrypto, as the worker uses it) over the file in 1 MiB pieces from memory.
void BM_Sha256Alone(benchmark::State &state) {
    std::vector<char> piece(1 << 20, '\x5A');
    double seconds = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        EVP_MD_CTX *context = EVP_MD_CTX_new();
        EVP_DigestInit_ex(context, EVP_sha256(), nullptr);
        for (qint64 done = 0; done < g_setup.bytes; done += qint64(piece.size())) {
            EVP_DigestUpdate(context, piece.data(), piece.size());
        }
        unsigned char value[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        EVP_DigestFinal_ex(context, value, &length);
        EVP_MD_CTX_free(context);
        benchmark::DoNotOptimize(value);
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        seconds += static_cast<double>(clock.nsecsElapsed()) / 1e9;
    }
    note("sha256", megabytesPerSecond(state.iterations() * g_setup.bytes, seconds));
}

void BM_WorkerIntoStoringPeer(benchmark::State &state) {
    runWorkers(state, false, {QStringLiteral("whole.bin")}, "store");
}

void BM_WorkerWithoutHashIntoStoringPeer(benchmark::State &state) {
    runWorkers(state, false, {QStringLiteral("whole.bin")}, "store no hash", false);
}

QStringList partNames() {
    QStringList names;
    for (int i = 0; i < kSenders; ++i) {
        names.append(QStringLiteral("part-%1.bin").arg(i));
    }
    return names;
}

void BM_EightWorkersIntoStoringPeer(benchmark::State &state) {
    runWorkers(state, false, partNames(), "eight");
}

void BM_EightWorkersIntoDiscardingPeer(benchmark::State &state) {
    runWorkers(state, true, partNames(), "eight discard");
}

// --- The peer's disk path alone ----------------------------------------------------------------------

// What the storing peer does with the data, without a network: 1 MiB writes into a QSaveFile and a
// commit (the data synced to disk, then the rename).
void BM_PeerStorageAlone(benchmark::State &state) {
    std::vector<char> chunk(1 << 20, '\x5A');
    double seconds = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        QSaveFile file(g_setup.rootFolder + QStringLiteral("/alone.bin"));
        bool ok = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        for (qint64 written = 0; ok && written < g_setup.bytes;) {
            const qint64 length = std::min<qint64>(qint64(chunk.size()), g_setup.bytes - written);
            ok = file.write(chunk.data(), length) == length;
            written += length;
        }
        ok = ok && file.commit();
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        seconds += static_cast<double>(clock.nsecsElapsed()) / 1e9;
        if (!ok) {
            state.SkipWithError("cannot write");
            return;
        }
        state.PauseTiming();
        emptyRoot();
        state.ResumeTiming();
    }
    const qint64 total = state.iterations() * g_setup.bytes;
    state.SetBytesProcessed(total);
    note("disk", megabytesPerSecond(total, seconds));
}

void printSummary() {
    auto rate = [](const char *name) { return g_rates.count(name) ? g_rates[name] : 0.0; };
    auto line = [](const char *what, double mbps) { std::printf("  %-66s %8.1f MB/s\n", what, mbps); };
    auto ratio = [](const char *what, double part, double whole, const char *note) {
        std::printf("  %-66s %8.1f %%   %s\n", what, whole > 0 ? 100.0 * part / whole : 0.0, note);
    };
    const double baseline = rate("baseline");
    std::printf(
        "\nTransfer throughput, %lld-byte file, loopback (MB = 10^6 bytes; best of the repetitions)\n",
        static_cast<long long>(g_setup.bytes));
    line("baseline: read + send 4096-byte blocks to a dropping sink", baseline);
    line("lock-step loop speaking the protocol -> peer dropping the data", rate("lock-step peer"));
    line("station worker -> peer dropping the data (SHA-256 on)", rate("discard"));
    ratio("    worker with SHA-256 / lock-step loop into the same peer", rate("discard"),
          rate("lock-step peer"), "(goal: at least 75 %)");
    line("station worker -> peer dropping the data, --no-hash", rate("discard no hash"));
    ratio("    worker without hashing / lock-step loop into the same peer", rate("discard no hash"),
          rate("lock-step peer"), "(goal: at least 100 %)");
    line("SHA-256 alone (libcrypto, one core, from memory)", rate("sha256"));
    ratio("    worker with SHA-256 / without, into the dropping peer", rate("discard"),
          rate("discard no hash"), "(at most SHA-256 alone / without)");
    ratio("    SHA-256 alone / worker without hashing: the most hashing allows", rate("sha256"),
          rate("discard no hash"), "");
    ratio("    worker / baseline", rate("discard"), baseline, "(goal: at least 90 %)");
    line("station worker -> peer storing to disk (sender's view)", rate("store"));
    line("station worker -> peer storing to disk, --no-hash", rate("store no hash"));
    ratio("    worker with SHA-256 / without, into the storing peer", rate("store"), rate("store no hash"),
          "(goal: at least 85 %)");
    ratio("    worker / baseline", rate("store"), baseline, "(goal: at least 90 %)");
    ratio("    storing peer / dropping peer", rate("store"), rate("discard"),
          "(near 100 %: storing does not hold the sender back)");
    line("    until the file is in place (data sync and rename included)", rate("store in place"));
    line("    the peer's own rate, acknowledgement to file in place", rate("store peer"));
    line("peer's disk path alone: 1 MiB writes, data sync, rename; no network", rate("disk"));
    line("eight workers at once into the storing peer, total (sender's view)", rate("eight"));
    line("    until all eight files are in place", rate("eight in place"));
    ratio("    eight senders / one sender", rate("eight"), rate("store"), "");
    line("eight workers at once into the dropping peer, total", rate("eight discard"));
    ratio("    eight senders / one sender", rate("eight discard"), rate("discard"), "");
    line("worker limited to 10 MB/s, 10^8 bytes (goal: 9.5 to 10.5)", rate("limited"));
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    Cp936::requireAvailable();
    // Repetitions interleaved at random, so a burst of load elsewhere does not hit one figure only;
    // a flag given on the command line comes later and wins.
    std::vector<char *> arguments(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    arguments.insert(arguments.begin() + 1, interleave);
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());

    bool ok = false;
    const QByteArray bytesText = qgetenv("BRELVANTIS_BENCH_BYTES");
    g_setup.bytes = bytesText.isEmpty() ? (qint64(1) << 30) : bytesText.toLongLong(&ok);
    if (!bytesText.isEmpty() && (!ok || g_setup.bytes < kBlock * kSenders)) {
        std::fprintf(stderr, "BRELVANTIS_BENCH_BYTES must be a number of bytes, at least %lld\n",
                     static_cast<long long>(kBlock * kSenders));
        return 2;
    }
    // Whole blocks per part, so the eight parts add up to the whole file.
    g_setup.bytes -= g_setup.bytes % (kBlock * kSenders);

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot create a temporary folder\n");
        return 1;
    }
    g_setup.sourceFolder = dir.filePath(QStringLiteral("source"));
    g_setup.rootFolder = dir.filePath(QStringLiteral("root"));
    QDir().mkpath(g_setup.sourceFolder);
    QDir().mkpath(g_setup.rootFolder);
    std::printf("Writing the source files (%lld bytes, and eight parts of it) in %s ...\n",
                static_cast<long long>(g_setup.bytes), qPrintable(dir.path()));
    std::fflush(stdout);
    if (!writeSource(g_setup.sourceFolder + QStringLiteral("/whole.bin"), g_setup.bytes)) {
        std::fprintf(stderr, "cannot write the source file\n");
        return 1;
    }
    for (int i = 0; i < kSenders; ++i) {
        if (!writeSource(g_setup.sourceFolder + QStringLiteral("/part-%1.bin").arg(i),
                         g_setup.bytes / kSenders)) {
            std::fprintf(stderr, "cannot write the source parts\n");
            return 1;
        }
    }

    const int repetitions = qEnvironmentVariableIsSet("BRELVANTIS_BENCH_REPETITIONS")
                                ? std::max(1, qEnvironmentVariableIntValue("BRELVANTIS_BENCH_REPETITIONS"))
                                : 3;
    const std::pair<const char *, void (*)(benchmark::State &)> benchmarks[] = {
        {"BM_BaselineReadAndSendBlocks", BM_BaselineReadAndSendBlocks},
        {"BM_BaselineLockStepIntoDiscardingPeer", BM_BaselineLockStepIntoDiscardingPeer},
        {"BM_WorkerIntoDiscardingPeer", BM_WorkerIntoDiscardingPeer},
        {"BM_WorkerWithoutHashIntoDiscardingPeer", BM_WorkerWithoutHashIntoDiscardingPeer},
        {"BM_Sha256Alone", BM_Sha256Alone},
        {"BM_WorkerIntoStoringPeer", BM_WorkerIntoStoringPeer},
        {"BM_WorkerWithoutHashIntoStoringPeer", BM_WorkerWithoutHashIntoStoringPeer},
        {"BM_PeerStorageAlone", BM_PeerStorageAlone},
        {"BM_EightWorkersIntoStoringPeer", BM_EightWorkersIntoStoringPeer},
        {"BM_EightWorkersIntoDiscardingPeer", BM_EightWorkersIntoDiscardingPeer},
    };
    for (const auto &[name, function] : benchmarks) {
        // One transfer of the whole file per iteration; repetitions give the best-of figure.
        benchmark::RegisterBenchmark(name, function)
            ->UseManualTime()
            ->Iterations(1)
            ->Repetitions(repetitions)
            ->Unit(benchmark::kMillisecond);
    }

    // Ten seconds by design: once is enough.
    benchmark::RegisterBenchmark("BM_WorkerLimitedTo10MBps", BM_WorkerLimitedTo10MBps)
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printSummary();
    // The temporary folder, source files included, goes with dir.
    return 0;
}
