// A picture of the station at work, for people to look at: taken only when BRELVANTIS_SCREENSHOT_DIR
// names the folder to save it in (scripts/screenshot does that on a virtual screen); skipped otherwise.
#include "StationTestBench.h"

#include "IsolatorServer.h"
#include "app/CMainFrame.h"
#include "core/common/CommandIds.h"
#include "core/records/UploadRecord.h"
#include "core/station/StationParts.h"
#include "gui/views/CContentView.h"

#include <QAction>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace UploadRecord;

namespace {

TEST(StationScreenshot, AQueueBeingSent) {
    const QString output = qEnvironmentVariable("BRELVANTIS_SCREENSHOT_DIR");
    if (output.isEmpty()) {
        GTEST_SKIP() << "BRELVANTIS_SCREENSHOT_DIR is not set";
    }
    QTemporaryDir peerRoot;
    IsolatorOptions options;
    options.listenPort = 0;
    options.root = peerRoot.path();
    IsolatorServer peer(options);
    IsolatorOptions slowOptions = options;
    slowOptions.neverAnswer = true; // keeps the second file "uploading" for the picture
    IsolatorServer slow(slowOptions);
    QString error;
    ASSERT_TRUE(peer.start(&error) && slow.start(&error)) << error.toStdString();

    StationWorkspace workspace(peer.port());
    for (const char *name : {"季度报告.txt", "年度汇总.pdf", "明细表 2026.txt"}) {
        workspace.addTransitFile(QStringLiteral("报表/") + QString::fromUtf8(name), 300000);
    }
    workspace.addTransitFile(QStringLiteral("图片/现场照片 01.jpg"), 900000);
    workspace.addTransitFile(QStringLiteral("图片/现场照片 02.jpg"), 120000);
    RecordingResponder messages;
    StationParts parts(workspace.dir.path());
    parts.filter.load();
    CMainFrame frame(parts);
    frame.OnCreate();
    frame.OnInitialUpdates();
    frame.showMaximized();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    parts.upload.setTickInterval(50);

    ASSERT_TRUE(parts.queue.addRecord(QStringLiteral("报表")).succeeded);
    ASSERT_TRUE(parts.queue.addRecord(QStringLiteral("图片")).succeeded);
    frame.OnRefresh();
    frame.OnStartUpload();
    ASSERT_TRUE(QTest::qWaitFor([&] { return parts.table.cell(0, CellStatus) == kStatusComplete; }, 10000));
    parts.settings.isolatorPort = QString::number(slow.port());
    ASSERT_TRUE(QTest::qWaitFor([&] { return parts.table.cell(1, CellStatus) == kStatusUploading; }, 10000));
    QTest::qWait(700);
    ASSERT_TRUE(frame.grab().save(output + QStringLiteral("/station-uploading.png")));

    frame.OnStopUpload();
    parts.worker.abandon();
    parts.worker.wait(std::chrono::seconds(5));
}

} // namespace
