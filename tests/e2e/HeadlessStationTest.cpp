#include "IsolatorServer.h"
#include "StationTestBench.h"
#include "core/common/Clock.h"
#include "core/config/SettingsCheck.h"
#include "core/config/SettingsStore.h"
#include "core/records/DayJournal.h"
#include "core/records/RecordLog.h"
#include "core/records/UploadRecord.h"
#include "core/station/StationStatus.h"
#include "core/upload/UploadController.h"
#include "support/ScriptedPeer.h"
#include "support/TestFiles.h"
#include "support/Xlrd.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>
#include <atomic>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>

using namespace UploadRecord;

namespace {

QString u(const char *text) {
    return QString::fromUtf8(text);
}

// The settings of the workspace with the subfolders given queueing by themselves, at once; changed
// further by adjust.
SettingsRecord makeAutomatic(const StationWorkspace &workspace, const QStringList &folders = {u("报表")},
                             const std::function<void(SettingsRecord &)> &adjust = {}) {
    const SettingsStore store(workspace.path(u("Berlvantis.ini")));
    SettingsRecord settings;
    EXPECT_TRUE(store.load(settings));
    settings.autoFolders = folders;
    settings.settleSeconds = u("0");
    if (adjust) {
        adjust(settings);
    }
    EXPECT_EQ(store.save(settings).outcome, SettingsStore::SaveResult::Outcome::Saved);
    return settings;
}

// A transit file written an hour ago and moved in whole, so neither the automatic queue nor the upload
// waits for it to settle (a wait would add 等待 lines to the journal, depending on timing).
QByteArray addSettledFile(StationWorkspace &workspace, const QString &name, int size,
                          const QString &folder = u("报表")) {
    const QByteArray bytes = workspace.addTransitFile(name, size);
    QFile file(workspace.path(u("transit/") + name));
    EXPECT_TRUE(file.open(QIODevice::ReadWrite));
    EXPECT_TRUE(
        file.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
    file.close();
    EXPECT_TRUE(QFile::rename(file.fileName(), workspace.path(u("transit/%1/%2").arg(folder, name))));
    return bytes;
}

// What the station says of itself in its status file.
StationStatus publishedStatus(const QString &workFolder) {
    QFile file(QDir(workFolder).filePath(StationStatus::fileName()));
    StationStatus status;
    QString error;
    if (file.open(QIODevice::ReadOnly)) {
        StationStatus::fromJson(file.readAll(), &status, &error);
    }
    return status;
}

// The station as a service runs it: its own process, no display of any kind.
class Headless {
public:
    explicit Headless(const QString &workFolder) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            environment.remove(QString::fromLatin1(name));
        }
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(BRELVANTIS_BIN_DIR "/brelvantis"),
                      {u("--headless"), u("--workdir"), workFolder});
    }
    ~Headless() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(10000);
        }
    }

    // Waits (bounded) for a line of standard error holding text.
    bool waitForLine(const QString &text, int timeoutMs = 60000) {
        return QTest::qWaitFor(
                   [&] {
                       err += QString::fromUtf8(process.readAllStandardError());
                       return err.contains(text) || process.state() == QProcess::NotRunning;
                   },
                   timeoutMs) &&
               err.contains(text);
    }

    // Sends SIGTERM and waits for the end; the milliseconds it took, or -1.
    qint64 terminate() {
        QElapsedTimer took;
        took.start();
        process.terminate();
        if (!process.waitForFinished(UploadController::kStopGraceMs + 10000)) {
            return -1;
        }
        err += QString::fromUtf8(process.readAllStandardError());
        return took.elapsed();
    }

    QProcess process;
    QString err;
};

// brelvantis-status --json on the folder: its exit code, and what it printed in *answer.
int status(const QString &workFolder, QJsonObject *answer = nullptr) {
    QProcess tool;
    tool.start(QStringLiteral(BRELVANTIS_BIN_DIR "/brelvantis-status"),
               {u("--workdir"), workFolder, u("--json")});
    if (!tool.waitForFinished(30000)) {
        return -1;
    }
    if (answer) {
        *answer = QJsonDocument::fromJson(tool.readAllStandardOutput()).object();
    }
    return tool.exitCode();
}

// The day's journal as fields, header left out.
QList<QStringList> journalLines(const StationWorkspace &workspace) {
    QList<QStringList> lines;
    Failure failure;
    EXPECT_TRUE(DayJournal::readFile(DayJournal::dayPath(workspace.path(u("records/")), Clock().dateText()),
                                     &lines, &failure))
        << failure.sentence().toStdString();
    return lines;
}

QStringList eventsOf(const QList<QStringList> &journal, const QString &fileName) {
    QStringList events;
    for (const QStringList &fields : journal) {
        if (fields.value(2) == fileName) {
            events << fields.value(1);
        }
    }
    return events;
}

// The statuses of the day's log by file name, read by an independent reader.
QHash<QString, QString> logStatuses(const StationWorkspace &workspace) {
    QHash<QString, QString> statuses;
    const QString path = workspace.path(u("records/") + Clock().dateText() + u(".xls"));
    const QJsonArray rows = Xlrd::read(path, RecordLog::kSheetName, false).value(u("rows")).toArray();
    for (qsizetype r = 1; r < rows.size(); ++r) {
        const QJsonArray row = rows.at(r).toArray();
        statuses.insert(row.at(CellFileName).toArray().at(1).toString(),
                        row.at(CellStatus).toArray().at(1).toString());
    }
    return statuses;
}

// Started as a service starts it: the files of its automatic subfolder go to the isolator, those that
// come while it runs too (after the queue drained, from a subfolder SIGHUP made automatic), the status
// tool sees it, a second station on the folder is refused naming it, and SIGTERM ends it cleanly with
// the log and the journal agreeing.
TEST(HeadlessStationTest, SendsWhatItsFolderQueuesAndStopsCleanlyOnSigterm) {
    IsolatorOptions options;
    options.listenPort = 0;
    QTemporaryDir peerRoot;
    options.root = peerRoot.path();
    std::atomic<int> stored{0};
    IsolatorServer peer(options, [&stored](const ConnectionReport &report) {
        if (report.outcome == ConnectionReport::Outcome::Stored) {
            ++stored;
        }
    });
    QString error;
    ASSERT_TRUE(peer.start(&error)) << error.toStdString();
    StationWorkspace workspace(peer.port());
    makeAutomatic(workspace);
    QHash<QString, QByteArray> files;
    for (const char *name : {"日报.txt", "周报.txt", "月报.pdf"}) {
        files.insert(u(name), addSettledFile(workspace, u(name), 200000));
    }
    const QString folder = workspace.dir.path();

    Headless station(folder);
    ASSERT_TRUE(station.waitForLine(u("已启动"))) << station.err.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return stored == 3; }, 60000)) << station.err.toStdString();

    QJsonObject answer;
    EXPECT_EQ(status(folder, &answer), 0);
    EXPECT_TRUE(answer.value(u("running")).toBool());
    EXPECT_EQ(answer.value(u("status")).toObject().value(u("kind")).toString(), u("headless"));

    Headless second(folder);
    ASSERT_TRUE(second.process.waitForFinished(30000));
    EXPECT_EQ(second.process.exitCode(), 1);
    EXPECT_EQ(QString::fromUtf8(second.process.readAllStandardError()),
              u("工作目录 %1 已有上传站在运行（进程 %2，无界面），不能再启动一个。\n")
                  .arg(folder)
                  .arg(station.process.processId()));

    // The queue has drained and the upload stopped: a new file must start it again by itself.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const StationStatus now = publishedStatus(folder);
            return now.state == StationStatus::State::Idle && now.sentToday == 3;
        },
        30000));
    // Settings edited by hand and SIGHUP: refused while unusable, followed once right.
    const SettingsRecord broken = makeAutomatic(
        workspace, {u("报表"), u("图片")}, [](SettingsRecord &settings) { settings.isolatorPort = u("0"); });
    ::kill(pid_t(station.process.processId()), SIGHUP);
    ASSERT_TRUE(station.waitForLine(u("未采用修改后的软件设置，继续使用原设置：软件设置有误：%1\n")
                                        .arg(SettingsCheck::firstProblem(broken).text)))
        << station.err.toStdString();
    makeAutomatic(workspace, {u("报表"), u("图片")}, [&peer](SettingsRecord &settings) {
        settings.isolatorPort = QString::number(peer.port());
    });
    ::kill(pid_t(station.process.processId()), SIGHUP);
    ASSERT_TRUE(station.waitForLine(u("自动上传的子文件夹：报表、图片\n"))) << station.err.toStdString();
    files.insert(u("年报.txt"), addSettledFile(workspace, u("年报.txt"), 1000, u("图片")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return stored == 4; }, 60000)) << station.err.toStdString();
    ASSERT_TRUE(station.waitForLine(u("上传完成：年报.txt"))) << station.err.toStdString();

    const qint64 took = station.terminate();
    EXPECT_GE(took, 0);
    EXPECT_LT(took, UploadController::kStopGraceMs);
    EXPECT_EQ(station.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(station.process.exitCode(), 0);
    EXPECT_TRUE(station.err.endsWith(u("正在停止…\n已停止\n"))) << station.err.toStdString();
    EXPECT_EQ(status(folder), 3);

    const QList<QStringList> journal = journalLines(workspace);
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        SCOPED_TRACE(it.key().toStdString());
        const QString sha =
            QString::fromLatin1(QCryptographicHash::hash(it.value(), QCryptographicHash::Sha256).toHex());
        EXPECT_TRUE(station.err.contains(
            u("上传完成：%1（%2 字节，SHA-256 %3）").arg(it.key()).arg(it.value().size()).arg(sha)));
        EXPECT_EQ(eventsOf(journal, it.key()), (QStringList{u("排队"), u("开始"), u("完成")}));
        for (const QStringList &fields : journal) {
            if (fields.value(2) == it.key() && fields.value(1) == u("完成")) {
                EXPECT_EQ(fields.value(9), sha);
            }
        }
    }
    if (Xlrd::python().isEmpty()) {
        GTEST_SKIP() << "python3 with xlrd (Debian package python3-xlrd) is not installed";
    }
    const QHash<QString, QString> statuses = logStatuses(workspace);
    EXPECT_EQ(statuses.size(), files.size());
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        EXPECT_EQ(statuses.value(it.key()), kStatusComplete) << it.key().toStdString();
    }
}

// SIGTERM while the isolator holds the connection without acknowledging the header: the transfer gets
// its grace and is then cut;
// a second SIGTERM during the grace cuts it at once. Either way the row reads 传输停止 in the log, the
// journal ends its attempt with 停止, and the station exits 0.
TEST(HeadlessStationTest, SigtermDuringAStalledTransferStopsWithinTheGrace) {
    for (const int signalCount : {1, 2}) {
        SCOPED_TRACE("signals: " + std::to_string(signalCount));
        std::atomic<bool> held{false};
        ScriptedPeer::Script script;
        script.neverAnswer = true;
        script.onHeader = [&held] { held = true; };
        ScriptedPeer peer(script);
        StationWorkspace workspace(peer.port());
        makeAutomatic(workspace);
        addSettledFile(workspace, u("大文件.txt"), 1 << 20);

        Headless station(workspace.dir.path());
        // The sender now waits for an acknowledgement that never comes.
        ASSERT_TRUE(QTest::qWaitFor([&held] { return held.load(); }, 60000)) << station.err.toStdString();
        QElapsedTimer took;
        took.start();
        if (signalCount == 2) {
            station.process.terminate();
            ASSERT_TRUE(station.waitForLine(u("传输停止：大文件.txt"))) << station.err.toStdString();
        }
        EXPECT_GE(station.terminate(), 0);
        peer.finish();
        EXPECT_LT(took.elapsed(),
                  signalCount == 1 ? UploadController::kStopGraceMs + 3000 : UploadController::kStopGraceMs);
        EXPECT_EQ(station.process.exitCode(), 0);
        const QString cut = signalCount == 2 ? u("再次收到停止信号：立即结束\n") : QString();
        EXPECT_TRUE(station.err.endsWith(u("正在停止…\n传输停止：大文件.txt\n") + cut + u("已停止\n")))
            << station.err.toStdString();
        EXPECT_EQ(eventsOf(journalLines(workspace), u("大文件.txt")),
                  (QStringList{u("排队"), u("开始"), u("停止")}));
        if (!Xlrd::python().isEmpty()) {
            EXPECT_EQ(logStatuses(workspace).value(u("大文件.txt")), kStatusStopped);
        }
    }
}

} // namespace
