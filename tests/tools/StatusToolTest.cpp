// brelvantis-status reads what a station publishes in its working folder, and tells when none runs.

#include "core/station/StationLock.h"
#include "core/station/StatusPublisher.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct ToolRun {
    int exitCode = -1;
    QString out;
    QJsonObject json;
};

ToolRun runStatus(const QString &folder) {
    ToolRun run;
    for (bool json : {false, true}) {
        QProcess tool;
        QStringList arguments{QStringLiteral("--workdir"), folder};
        if (json) {
            arguments << QStringLiteral("--json");
        }
        tool.start(QStringLiteral(BRELVANTIS_BIN_DIR "/brelvantis-status"), arguments);
        EXPECT_TRUE(tool.waitForFinished(60000));
        EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit);
        if (json) {
            run.json = QJsonDocument::fromJson(tool.readAllStandardOutput()).object();
            EXPECT_EQ(tool.exitCode(), run.exitCode) << "the same answer in JSON";
        } else {
            run.exitCode = tool.exitCode();
            run.out = QString::fromUtf8(tool.readAllStandardOutput());
        }
    }
    return run;
}

QString shown(const QDateTime &time) {
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

class StatusToolTest : public ::testing::Test {
protected:
    static QDateTime nowInWholeSeconds() {
        const QDateTime now = QDateTime::currentDateTime();
        return now.addMSecs(-now.time().msec()); // the status file keeps whole seconds
    }

    QTemporaryDir m_dir;
    FixedClock m_clock{nowInWholeSeconds()};
};

TEST_F(StatusToolTest, NoLockMeansNoStation) {
    const ToolRun run = runStatus(m_dir.path());
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.out, QStringLiteral("没有上传站在运行：工作目录 %1 未被锁定\n").arg(m_dir.path()));
    EXPECT_FALSE(run.json.value(QStringLiteral("running")).toBool());
    EXPECT_EQ(run.json.value(QStringLiteral("problem")).toString(), QStringLiteral("no-lock"));
}

TEST_F(StatusToolTest, ALiveStationIsDescribedAndItsFailuresCount) {
    StationLock lock(m_dir.path());
    QString refusal;
    ASSERT_TRUE(lock.acquire(&refusal)) << refusal.toStdString();
    StatusPublisher publisher(m_dir.path(), m_clock, QStringLiteral("headless"));
    int failed = 0;
    publisher.setCounter([&failed](StationStatus *status) {
        status->waiting = 3;
        status->sentToday = 10;
        status->failedToday = failed;
    });
    StationStatus &status = publisher.status();
    status.state = StationStatus::State::Uploading;
    status.sendingFile = QStringLiteral("报告.pdf");
    status.bytesDone = 1'500'000;
    status.bytesTotal = 3'000'000;
    status.bytesPerSecond = 2'500'000;
    publisher.start();

    ToolRun run = runStatus(m_dir.path());
    EXPECT_EQ(run.exitCode, 0);
    const QString now = shown(m_clock.now());
    const QString head = QStringLiteral("上传站正在运行（进程 %1，无界面，启动于 %2）\n状态：正在上传\n"
                                        "正在发送：报告.pdf  1.5 MB / 3.0 MB（50%）  2.5 MB/s\n")
                             .arg(QCoreApplication::applicationPid())
                             .arg(now);
    EXPECT_EQ(run.out,
              head +
                  QStringLiteral("等待发送 3 个，今日已发送 10 个，今日失败 0 个\n状态写于 %1\n").arg(now));
    EXPECT_TRUE(run.json.value(QStringLiteral("running")).toBool());
    const QJsonObject inJson = run.json.value(QStringLiteral("status")).toObject();
    EXPECT_EQ(inJson.value(QStringLiteral("state")).toString(), QStringLiteral("uploading"));
    EXPECT_EQ(
        inJson.value(QStringLiteral("sending")).toObject().value(QStringLiteral("bytesDone")).toDouble(),
        1'500'000);

    failed = 1;
    status.faultFile = QStringLiteral("b.txt");
    status.faultReason = QStringLiteral("隔离器拒绝连接");
    status.faultTime = m_clock.now();
    publisher.stateChanged();
    run = runStatus(m_dir.path());
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_EQ(run.out, head + QStringLiteral("等待发送 3 个，今日已发送 10 个，今日失败 1 个\n"
                                             "最近故障：%1 “b.txt”：隔离器拒绝连接\n状态写于 %1\n")
                                  .arg(now));
    EXPECT_EQ(run.json.value(QStringLiteral("status"))
                  .toObject()
                  .value(QStringLiteral("lastFault"))
                  .toObject()
                  .value(QStringLiteral("reason")),
              QStringLiteral("隔离器拒绝连接"));

    // A station that has not written for more than 10 s does not answer: it counts as gone.
    m_clock.advanceSeconds(-30);
    publisher.stateChanged();
    run = runStatus(m_dir.path());
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.json.value(QStringLiteral("problem")).toString(), QStringLiteral("stale"));
    EXPECT_EQ(run.out, QStringLiteral("上传站没有响应：状态文件写于 %1，已超过 10 秒未更新（进程 %2）\n")
                           .arg(shown(m_clock.now()))
                           .arg(QCoreApplication::applicationPid()));
}

} // namespace
