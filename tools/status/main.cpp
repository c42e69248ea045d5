// brelvantis-status: what the station of a working folder is doing, from the status file it keeps there
// (station-status.json) and the lock it holds (station.lock); says plainly when no station runs.
#include "core/common/ByteUnits.h"
#include "core/common/CommandLine.h"
#include "core/common/SafeRead.h"
#include "core/station/StationLock.h"
#include "core/station/StationStatus.h"
#include "core/station/WorkFolder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const char kUsage[] =
    "Usage: brelvantis-status [--workdir DIR] [--json]\n"
    "       brelvantis-status --help | --version\n"
    "\n"
    "Prints what the upload station running in the working folder is doing: its state, the file being\n"
    "sent with its bytes and speed, the files waiting, sent and failed today, and the last fault with\n"
    "its reason. It reads station-status.json, which the station rewrites every few seconds, and\n"
    "station.lock, which it holds while it runs. The working folder is chosen as the station chooses\n"
    "it, or given with --workdir.\n"
    "\n"
    "  --workdir DIR   the station's working folder\n"
    "  --json          print the same as one JSON object\n"
    "  -h, --help      print this text\n"
    "  -v, --version   print the version\n"
    "\n"
    "Exit codes: 0 a station runs; 3 none runs (no lock held, its process is gone, or its status is\n"
    "older than 10 s); 4 a station runs and files it failed to send wait; 64 a wrong command line.\n";

constexpr int kRunning = 0;
constexpr int kNotRunning = 3;
constexpr int kFailuresWaiting = 4;
constexpr qint64 kStaleSeconds = 10;

// Keeps a text on its line: no control character reaches the terminal.
QString printable(const QString &text) {
    QString out;
    for (QChar c : text) {
        if (c == u'\n') {
            out.append(QStringLiteral("；"));
        } else if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F)) {
            out.append(QStringLiteral("\\x%1").arg(int(c.unicode()), 2, 16, QLatin1Char('0')));
        } else {
            out.append(c);
        }
    }
    return out;
}

QString timeText(const QDateTime &time) {
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString describe(const StationStatus &status) {
    QString kind = status.kind == QLatin1String("headless") ? QStringLiteral("无界面")
                   : status.kind == QLatin1String("window") ? QStringLiteral("窗口")
                                                            : printable(status.kind);
    QString text = QStringLiteral("上传站正在运行（进程 %1，%2，启动于 %3）\n")
                       .arg(status.pid)
                       .arg(kind, timeText(status.started));
    text += QStringLiteral("状态：%1\n").arg(StationStatus::stateText(status.state));
    if (!status.sendingFile.isEmpty()) {
        const int percent = status.bytesTotal > 0 ? int(status.bytesDone * 100 / status.bytesTotal) : 100;
        text += QStringLiteral("正在发送：%1  %2 / %3（%4%）  %5\n")
                    .arg(printable(status.sendingFile), ByteUnits::formatBytes(status.bytesDone),
                         ByteUnits::formatBytes(status.bytesTotal))
                    .arg(percent)
                    .arg(ByteUnits::formatRate(status.bytesPerSecond));
    }
    text += QStringLiteral("等待发送 %1 个，今日已发送 %2 个，今日失败 %3 个\n")
                .arg(status.waiting)
                .arg(status.sentToday)
                .arg(status.failedToday);
    if (!status.faultFile.isEmpty()) {
        text +=
            QStringLiteral("最近故障：%1 “%2”：%3\n")
                .arg(timeText(status.faultTime), printable(status.faultFile), printable(status.faultReason));
    }
    if (!status.recordingFailure.isEmpty()) {
        text += QStringLiteral("无法写入记录：%1，已暂停上传\n").arg(printable(status.recordingFailure));
    }
    if (!status.scannerDown.isEmpty()) {
        text += printable(status.scannerDown) + QLatin1Char('\n');
    }
    text += QStringLiteral("状态写于 %1\n").arg(timeText(status.written));
    return text;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const CommandLine::Program program{QStringLiteral("brelvantis-status"), QString::fromUtf8(kUsage), 64,
                                       CommandLine::UsageErrorForm::TryHelp};
    QCommandLineParser parser;
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption workdir(QStringLiteral("workdir"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption json(QStringLiteral("json"));
    parser.addOption(workdir);
    parser.addOption(json);
    const bool parsed = parser.parse(app.arguments());
    if (parser.isSet(help)) {
        return program.showHelp();
    }
    if (parsed && parser.isSet(version)) {
        return program.showVersion();
    }
    if (!parsed) {
        return program.usageError(CommandLine::problem(parser, app.arguments()));
    }
    if (!parser.positionalArguments().isEmpty()) {
        return program.usageError(
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    }

    const QString folder =
        WorkFolder::choose(parser.value(workdir), QDir::currentPath(), WorkFolder::dataHome()).folder;
    const StationLock::Holder holder = StationLock::holderOf(folder);
    QByteArray bytes;
    Failure unread;
    StationStatus status;
    QString error;
    const bool haveStatus =
        SafeRead::readAll(QDir(folder).filePath(StationStatus::fileName()), 1 << 20, &bytes, &unread) &&
        StationStatus::fromJson(bytes, &status, &error);
    const QString shownFolder = QDir::toNativeSeparators(folder);

    QString key;
    QString why;
    if (holder.state == StationLock::Holder::State::Free) {
        key = QStringLiteral("no-lock");
        why = QStringLiteral("没有上传站在运行：工作目录 %1 未被锁定").arg(shownFolder);
    } else if (holder.state == StationLock::Holder::State::Gone) {
        key = QStringLiteral("process-gone");
        why = QStringLiteral("没有上传站在运行：锁定工作目录 %1 的进程 %2 已不存在")
                  .arg(shownFolder)
                  .arg(holder.pid);
    } else if (!haveStatus || status.pid != holder.pid) {
        key = QStringLiteral("no-status");
        why = QStringLiteral("上传站正在运行（进程 %1），但没有发布状态：%2")
                  .arg(holder.pid)
                  .arg(unread.failed() ? unread.sentence() : QStringLiteral("状态文件不是它写的"));
    } else if (status.written.secsTo(QDateTime::currentDateTime()) > kStaleSeconds) {
        key = QStringLiteral("stale");
        why = QStringLiteral("上传站没有响应：状态文件写于 %1，已超过 %2 秒未更新（进程 %3）")
                  .arg(timeText(status.written))
                  .arg(kStaleSeconds)
                  .arg(holder.pid);
    }
    // A station that runs but publishes nothing yet counts as running: it holds the folder.
    const bool running = key.isEmpty() || key == QLatin1String("no-status");
    const bool current = key.isEmpty();
    const int code = !running ? kNotRunning : current && status.failedToday > 0 ? kFailuresWaiting : kRunning;

    if (parser.isSet(json)) {
        QJsonObject answer{{QStringLiteral("workdir"), shownFolder},
                           {QStringLiteral("running"), running},
                           {QStringLiteral("pid"), double(holder.pid)}};
        if (!key.isEmpty()) {
            answer.insert(QStringLiteral("problem"), key);
            answer.insert(QStringLiteral("problemText"), why);
        }
        if (haveStatus) {
            answer.insert(QStringLiteral("status"), QJsonDocument::fromJson(status.toJson()).object());
        }
        CommandLine::print(stdout, QString::fromUtf8(QJsonDocument(answer).toJson(QJsonDocument::Indented)));
        return code;
    }
    CommandLine::print(stdout, current ? describe(status) : why + QLatin1Char('\n'));
    return code;
}
