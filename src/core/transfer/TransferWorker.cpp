#include "core/transfer/TransferWorker.h"

#include "core/common/Cp936.h"
#include "core/common/FileProbe.h"
#include "core/common/Paths.h"
#include "core/common/SystemErrors.h"
#include "core/transfer/BlockIo.h"
#include "core/transfer/HeaderBlock.h"
#include "core/transfer/ReadAhead.h"
#include "core/transfer/Socket.h"
#include "core/transfer/TokenBucket.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// Keeps the worker's socket where TransferJob::abandonConnection() can shut it, for exactly as long
// as the socket is open.
class AttachedConnection {
public:
    AttachedConnection(TransferJob &job, TcpSocket &socket)
        : m_job(job), m_attached(job.attachConnection(&socket)) {}
    ~AttachedConnection() {
        if (m_attached) {
            m_job.detachConnection();
        }
    }
    AttachedConnection(const AttachedConnection &) = delete;
    AttachedConnection &operator=(const AttachedConnection &) = delete;
    bool attached() const { return m_attached; }

private:
    TransferJob &m_job;
    bool m_attached;
};

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || (c >= QLatin1Char('\t') && c <= QLatin1Char('\r'));
}

qint64 steadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Holds the next bytes back as long as the bandwidth limit asks (a limit changed meanwhile applies
// from the next run of blocks on). False when a stop is requested while waiting.
bool waitForBandwidth(TransferJob &job, std::optional<TokenBucket> &pace, quint64 bytes) {
    const quint64 limit = job.bandwidthLimit.load(std::memory_order_relaxed);
    if (limit == 0) {
        pace.reset();
        return true;
    }
    if (!pace || pace->rate() != limit) {
        // A tenth of a second's worth may go at once: smooth, yet few wake-ups.
        pace.emplace(limit, qMax<quint64>(limit / 10, kChunkBlocks * kBlockSize));
    }
    qint64 waitNs = pace->take(bytes, steadyNs());
    const qint64 until = steadyNs() + waitNs;
    while (waitNs > 0) {
        if (job.stopRequested.load()) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::nanoseconds(qMin<qint64>(waitNs, 50'000'000)));
        waitNs = until - steadyNs();
    }
    return true;
}

QString seconds(std::chrono::milliseconds wait) {
    return QString::number(static_cast<double>(wait.count()) / 1000.0, 'g', 3);
}

// Opens the job's file for sending; a refusal when there is no regular file or it is still being written.
std::optional<TransferOutcome> openToSend(TransferJob &job, QFile &file, FileProbe::Stamp *opened) {
    const QString path = job.folder + job.fileName;
    FileProbe::Look seen;
    if (!FileProbe::openRegular(path, file, opened, &seen)) {
        if (seen.kind == FileProbe::Kind::Missing) {
            return TransferOutcome::failure(TransferResult::FileMissing,
                                            QStringLiteral("文件不在上传目录中"));
        }
        if (seen.kind == FileProbe::Kind::Unreadable) {
            return TransferOutcome::failure(
                TransferResult::Data, QStringLiteral("无法读取文件 %1：%2")
                                          .arg(QDir::toNativeSeparators(path), systemErrorText(seen.error)));
        }
        return TransferOutcome::failure(TransferResult::FileMissing,
                                        QStringLiteral("上传目录中的“%1”%2")
                                            .arg(job.fileName, FileProbe::kindText(seen.kind, seen.error)));
    }
    if (FileProbe::modifiedWithin(*opened, job.settleTime)) {
        return TransferOutcome::failure(TransferResult::NotSettled,
                                        QStringLiteral("等待文件写完：文件刚被修改"));
    }
    if (FileProbe::heldOpenForWriting(*opened)) {
        return TransferOutcome::failure(TransferResult::NotSettled,
                                        QStringLiteral("等待文件写完：另一个程序正在写入此文件"));
    }
    return std::nullopt;
}

TransferOutcome exchange(TransferJob &job) {
    const auto fail = [](TransferResult result, const QString &reason) {
        return TransferOutcome::failure(result, reason);
    };
    const auto stopped = [] {
        return TransferOutcome::failure(TransferResult::Stopped, QStringLiteral("已停止上传"));
    };
    // Texts that cannot travel are refused before anyone is contacted.
    std::optional<HeaderBlock> header = HeaderBlock::forTransfer(job.fileName, job.destination);
    if (!header) {
        return fail(TransferResult::Unsendable,
                    QStringLiteral("文件名“%1”或存放路径“%2”无法传输（有无法转换的字符、过长或格式不对）")
                        .arg(job.fileName, job.destination));
    }

    // Only a regular file that nobody is writing is sent, and it is opened before anyone is contacted: a
    // missing file, a link or a pipe never costs the isolator a connection, nor blocks this thread.
    QFile file;
    FileProbe::Stamp opened;
    if (const std::optional<TransferOutcome> refusal = openToSend(job, file, &opened)) {
        return *refusal;
    }
    if (!job.scannedSha256.isEmpty() && opened.size != job.scannedSize) {
        return fail(TransferResult::Changed, QStringLiteral("文件在扫描后被改动，未发送"));
    }

    const SocketLibrary library;
    if (!library.started()) {
        return fail(TransferResult::SocketLibrary, QStringLiteral("网络功能无法启动"));
    }
    TcpSocket socket;
    if (!socket.create()) {
        return fail(TransferResult::SocketCreation, QStringLiteral("无法创建网络连接"));
    }
    const AttachedConnection attached(job, socket);
    const QByteArray address(job.isolatorAddress, qstrnlen(job.isolatorAddress, sizeof job.isolatorAddress));
    const QString isolator = QStringLiteral("%1:%2").arg(QString::fromLatin1(address)).arg(job.isolatorPort);
    if (!attached.attached() || job.stopRequested.load()) {
        return stopped();
    }
    if (!socket.connectTo(address, job.isolatorPort, job.connectTimeout)) {
        if (socket.timedOut()) {
            return fail(
                TransferResult::Connect,
                QStringLiteral("%1 秒内未能连接到隔离器 %2").arg(seconds(job.connectTimeout), isolator));
        }
        switch (socket.connectFailure()) {
        case TcpSocket::ConnectFailure::Refused:
            return fail(TransferResult::Connect,
                        QStringLiteral("隔离器 %1 拒绝连接（该端口无人监听）").arg(isolator));
        case TcpSocket::ConnectFailure::Unreachable:
            return fail(TransferResult::Connect,
                        QStringLiteral("无法到达隔离器 %1（网络不可达）").arg(isolator));
        default:
            return fail(TransferResult::Connect, QStringLiteral("无法连接到隔离器 %1").arg(isolator));
        }
    }

    const auto size = static_cast<quint64>(opened.size);
    job.fileSize.store(size);
    header->setFileSize(size);

    // One block for the header and the acknowledgement.
    char block[kBlockSize];
    header->writeTo(block);
    socket.setDeadline(job.blockTimeout);
    if (sendBlock(block, socket) != BlockResult::kComplete) {
        return fail(TransferResult::Header,
                    socket.timedOut()
                        ? QStringLiteral("%1 秒内未能把文件头发给隔离器").arg(seconds(job.blockTimeout))
                        : QStringLiteral("发送文件头时连接中断"));
    }
    socket.setDeadline(job.acknowledgementTimeout);
    if (receiveBlock(block, socket) != BlockResult::kComplete) {
        if (socket.timedOut()) {
            return fail(TransferResult::Header,
                        QStringLiteral("%1 秒内未收到隔离器的确认").arg(seconds(job.acknowledgementTimeout)));
        }
        if (job.stopRequested.load()) {
            return stopped();
        }
        // A close is the isolator's refusal; a trickled acknowledgement is a fault of the link.
        return fail(socket.closedByPeer() ? TransferResult::Refused : TransferResult::Header,
                    QStringLiteral("隔离器在确认前关闭了连接"));
    }

    // Blocks go out whole, in runs of up to kChunkBlocks per system call, read (and hashed) ahead on
    // another thread. The last one carries, after the file's end, the previous block's tail (zeros
    // for a file shorter than a block); the peer takes the true length from the header. Exactly the
    // announced bytes are read, so a file that shrinks meanwhile fails instead of reporting a short
    // transfer as success, and one that grows sends no block the header did not announce.
    // A file the malware scanner passed goes only as the bytes it scanned: the last block is held back
    // until the hash of everything before it is known, so a file changed since its scan never reaches
    // the isolator whole.
    const bool verify = !job.scannedSha256.isEmpty();
    ReadAhead reader(file, size, kChunkBlocks, job.hashing || verify);
    std::optional<TokenBucket> pace;
    // Sends the blocks [first, end) of a run; a failure's outcome, or nothing when they all left.
    const auto sendRange = [&](const char *data, int first, int end) -> std::optional<TransferOutcome> {
        while (first < end) {
            // Under a bandwidth limit, a run goes in pieces of about a tenth of a second's worth.
            const quint64 limit = job.bandwidthLimit.load(std::memory_order_relaxed);
            const int piece =
                limit == 0
                    ? end - first
                    : static_cast<int>(qBound<quint64>(1, limit / 10 / kBlockSize, quint64(end - first)));
            const int blocks = qMin(piece, end - first);
            if (!waitForBandwidth(job, pace, static_cast<quint64>(blocks) * kBlockSize)) {
                return stopped();
            }
            socket.setDeadline(job.blockTimeout);
            if (sendBlocks(data + first * kBlockSize, blocks, socket) != BlockResult::kComplete) {
                if (job.stopRequested.load()) {
                    return stopped();
                }
                const quint64 sent = qMin(job.bytesSent.load(), size);
                return fail(TransferResult::Data,
                            socket.timedOut()
                                ? QStringLiteral("%1 秒内未能发出数据（已发送 %2 / %3 字节）")
                                      .arg(seconds(job.blockTimeout))
                                      .arg(sent)
                                      .arg(size)
                                : QStringLiteral("连接在发送 %1 / %2 字节后中断").arg(sent).arg(size));
            }
            if (job.stopRequested.load()) {
                return stopped();
            }
            job.bytesSent.fetch_add(static_cast<quint64>(blocks) * kBlockSize);
            job.totalBytesSent.fetch_add(static_cast<quint64>(blocks) * kBlockSize);
            first += blocks;
        }
        return std::nullopt;
    };
    quint64 taken = 0;
    while (const std::optional<ReadAhead::Run> run = reader.next()) {
        taken += static_cast<quint64>(run->bytes);
        const int held = verify && taken == size ? 1 : 0;
        if (std::optional<TransferOutcome> failure = sendRange(run->data, 0, run->blocks - held)) {
            return *failure;
        }
        if (held == 0) {
            continue;
        }
        if (reader.finishedSha256() != job.scannedSha256) {
            return fail(TransferResult::Changed, QStringLiteral("文件在扫描后被改动，未发送完"));
        }
        if (std::optional<TransferOutcome> failure = sendRange(run->data, run->blocks - 1, run->blocks)) {
            return *failure;
        }
    }
    if (reader.failed() == -1) {
        return fail(TransferResult::Changed,
                    QStringLiteral("文件在发送过程中变小了（原为 %1 字节）").arg(size));
    }
    if (reader.failed() != 0) {
        return fail(TransferResult::Data,
                    QStringLiteral("读取文件 %1 时出错：%2")
                        .arg(QDir::toNativeSeparators(file.fileName()), systemErrorText(reader.failed())));
    }
    if (FileProbe::stampOf(file) != opened) {
        // Every announced byte left, but the file is not what it was when it was opened.
        return fail(TransferResult::Changed, QStringLiteral("文件在发送时被修改"));
    }
    TransferOutcome done;
    done.sha256 = reader.sha256();
    return done;
}

void copyAddress(const QString &text, char (&field)[128]) {
    std::memset(field, 0, sizeof field);
    // Text with no CP936 form is left empty: it could never be a numeric address, so connecting fails.
    const QByteArray bytes =
        Cp936::truncateBytes(Cp936::encode(text).value_or(QByteArray()), sizeof field - 1);
    std::memcpy(field, bytes.constData(), static_cast<size_t>(bytes.size()));
}

} // namespace

quint16 portFromText(const QString &text) {
    qsizetype i = 0;
    while (i < text.size() && isBlank(text.at(i))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    // Out-of-range values saturate as atoi's int does, before the cut to 16 bits.
    long long value = 0;
    for (; i < text.size() && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9'); ++i) {
        value = qMin(value * 10 + (text.at(i).unicode() - '0'), static_cast<long long>(INT_MAX) + 1);
    }
    if (negative) {
        value = -value;
    }
    value = qBound(static_cast<long long>(INT_MIN), value, static_cast<long long>(INT_MAX));
    return static_cast<quint16>(static_cast<unsigned long long>(value) & 0xFFFFu);
}

TransferOutcome transferThreadProc(TransferJob &job) {
    const auto started = std::chrono::steady_clock::now();
    TransferOutcome outcome = exchange(job);
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    outcome.bytes = qMin(job.bytesSent.load(), job.fileSize.load());
    outcome.isolator =
        QStringLiteral("%1:%2")
            .arg(QString::fromLatin1(job.isolatorAddress,
                                     qstrnlen(job.isolatorAddress, sizeof job.isolatorAddress)))
            .arg(job.isolatorPort);
    job.running.store(false, std::memory_order_release);
    return outcome;
}

TransferWorker::TransferWorker(TransferJob &job) : m_job(job) {}

TransferWorker::~TransferWorker() {
    if (m_thread.joinable()) {
        abandon();
        m_thread.join();
    }
}

bool TransferWorker::start(const QString &folder, const QString &fileName, const QString &destination,
                           const QString &isolatorAddress, const QString &portText) {
    if (m_job.running.load(std::memory_order_acquire)) {
        return false;
    }
    // The previous worker has done its last act; its thread only has to return.
    if (!wait(std::chrono::seconds(5))) {
        return false;
    }

    copyAddress(isolatorAddress, m_job.isolatorAddress);
    m_job.isolatorPort = portFromText(portText);
    m_job.folder = Paths::withTrailingSeparator(folder);
    m_job.fileName = fileName;
    m_job.destination = destination;
    m_job.resetAbandon();
    // Running before the thread exists, so a tick in between never takes it for a finished transfer.
    m_job.running.store(true, std::memory_order_release);
    m_job.stopRequested.store(false);
    m_job.bytesSent.store(0);
    m_job.fileSize.store(0);

    std::packaged_task<TransferOutcome()> task([this] {
        const TransferOutcome outcome = transferThreadProc(m_job);
        notifyFinished(outcome);
        return outcome;
    });
    m_result = task.get_future();
    try {
        m_thread = std::thread(std::move(task));
    } catch (const std::system_error &) {
        // No worker will ever clear the flag: report the failure here, as a worker would.
        m_result = std::future<TransferOutcome>();
        m_job.running.store(false, std::memory_order_release);
        return false;
    }
    return true;
}

bool TransferWorker::wait(std::chrono::milliseconds limit) {
    if (!m_thread.joinable()) {
        return true;
    }
    if (m_result.wait_for(limit) != std::future_status::ready) {
        return false;
    }
    m_lastOutcome = m_result.get();
    m_thread.join();
    return true;
}

void TransferWorker::setFinishedCallback(std::function<void(const TransferOutcome &)> callback) {
    const std::lock_guard lock(m_callbackLock);
    m_finished = std::move(callback);
}

void TransferWorker::notifyFinished(const TransferOutcome &outcome) {
    const std::lock_guard lock(m_callbackLock);
    if (m_finished) {
        m_finished(outcome);
    }
}

void TransferWorker::abandon() {
    m_job.stopRequested.store(true);
    m_job.abandonConnection();
}
