#include "IsolatorServer.h"
#include "StationTestBench.h"
#include "core/common/Clock.h"
#include "core/records/RecordLog.h"
#include "core/records/UploadRecord.h"
#include "core/records/UploadTable.h"
#include "core/xls/Workbook.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <cstdio>
#include <gtest/gtest.h>

using namespace UploadRecord;

namespace {

// Where each of the test's files is now, by name: transit subfolders, upload folder, completion folder.
QMap<QString, int> placesOfFiles(const StationWorkspace &workspace) {
    QMap<QString, int> places;
    for (const char *folder : {"transit", "upload", "done"}) {
        QDirIterator it(workspace.path(QString::fromLatin1(folder)), QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            ++places[it.fileName()];
        }
    }
    return places;
}

// The real station killed outright (SIGKILL) at random moments while it queues, deletes and sends, on a
// day's log of 5,000 rows: after every kill the log reads cleanly, every file is in exactly one place,
// and the station starts again.
TEST(StationKillTest, NothingIsLostOrDoubledWhenTheStationIsKilledAtAnyMoment) {
    IsolatorOptions options;
    options.listenPort = 0;
    QTemporaryDir peerRoot;
    options.root = peerRoot.path();
    IsolatorServer peer(options);
    QString error;
    ASSERT_TRUE(peer.start(&error)) << error.toStdString();
    StationWorkspace workspace(peer.port());

    QStringList names;
    for (int i = 0; i < 300; ++i) {
        const QString name = QStringLiteral("件%1.txt").arg(i, 3, 10, QLatin1Char('0'));
        workspace.addTransitFile((i % 2 ? QStringLiteral("报表/") : QStringLiteral("图片/")) + name,
                                 1000 + i * 13);
        names << name;
    }
    {
        Clock clock;
        UploadTable table;
        RecordLog log(table, clock);
        ASSERT_TRUE(log.loadRecordLog(workspace.path(QStringLiteral("records/"))));
        for (int i = 0; i < 5000; ++i) {
            const int row = table.appendRow(QString::number(i + 1));
            table.setCell(row, CellFileName, QStringLiteral("earlier-%1.pdf").arg(i));
            table.setCell(row, CellFileSize, QStringLiteral("12 KB"));
            table.setCell(row, CellDestination, QStringLiteral("192.168.1.10:4321||d://报表"));
            table.setCell(row, CellStatus, kStatusComplete);
        }
        ASSERT_TRUE(log.writeRecordLog());
    }
    const QString logPath =
        workspace.path(QStringLiteral("records/") + Clock().dateText() + QStringLiteral(".xls"));

    QRandomGenerator random(20261207);
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        QProcess station;
        station.setProcessChannelMode(QProcess::SeparateChannels);
        station.start(QStringLiteral(BRELVANTIS_BIN_DIR "/test_crash_driver"),
                      {workspace.dir.path(), QString::number(random.generate())});
        ASSERT_TRUE(station.waitForStarted(10000));
        // Started and its log loaded (bounded; a sanitizer build loads slowly).
        QByteArray out;
        while (!out.contains("ready") && station.waitForReadyRead(60000)) {
            out += station.readAllStandardOutput();
        }
        ASSERT_TRUE(out.contains("ready")) << station.readAllStandardError().toStdString();
        QTest::qWait(100 + static_cast<int>(random.bounded(600)));
        station.kill(); // SIGKILL: no chance to finish anything
        ASSERT_TRUE(station.waitForFinished(10000));

        Xls::Rows rows;
        EXPECT_TRUE(Xls::readWorksheet(logPath, RecordLog::kSheetName, &rows, &error)) << error.toStdString();
        EXPECT_GE(rows.size(), 5001) << "the earlier rows are all still there";
        const QMap<QString, int> places = placesOfFiles(workspace);
        for (const QString &name : std::as_const(names)) {
            EXPECT_EQ(places.value(name), 1) << name.toStdString();
        }
    }
    // The rounds did real work: files were queued and sent, not only started and killed.
    const int sent =
        int(QDir(workspace.path(QStringLiteral("done/") + Clock().dateText())).entryList(QDir::Files).size());
    const int waiting = int(QDir(workspace.path(QStringLiteral("upload"))).entryList(QDir::Files).size());
    EXPECT_GT(sent, 0);
    std::printf("after 30 kills: %d files sent, %d waiting in the upload folder\n", sent, waiting);
}

} // namespace
