// The station's window with a queue being sent: one file done, one on its way, the rest waiting.

#include "IsolatorServer.h"
#include "Screenshots.h"
#include "app/CMainFrame.h"
#include "core/common/Cp936.h"
#include "core/config/FileTypeFilter.h"
#include "core/config/SettingsStore.h"
#include "core/records/UploadRecord.h"
#include "core/station/StationParts.h"
#include "gui/widgets/OperatorMessages.h"

#include <QDir>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

using namespace Screenshots;
using namespace UploadRecord;

// Answers the station's message boxes, so that none waits for a click in the picture.
class NoMessages : public OperatorMessages::Responder {
public:
    NoMessages() { OperatorMessages::setResponder(this); }
    ~NoMessages() override { OperatorMessages::setResponder(nullptr); }
    NoMessages(const NoMessages &) = delete;
    NoMessages &operator=(const NoMessages &) = delete;
    void notice(QWidget *, const Notice &) override {}
    bool question(QWidget *, const QString &, const QString &) override { return false; }
};

// A working folder as the end-to-end tests' bench makes it: the transit folder with three subfolders,
// upload, record and completion folders, the filter, and settings and mapping pointing at the peer.
void makeWorkspace(const QString &work, quint16 isolatorPort) {
    auto path = [&work](const QString &relative) { return work + u'/' + relative; };
    for (const char *folder : {"transit/报表", "transit/图片", "transit/归档", "upload", "records", "done"}) {
        require(QDir().mkpath(path(QString::fromUtf8(folder))), QStringLiteral("cannot make %1").arg(folder));
    }
    writeFile(path(QStringLiteral("Brelvantis.filter")), FileTypeFilter::scramble("txt:pdf:jpg:"));
    SettingsRecord settings;
    settings.completionFolder = path(QStringLiteral("done/"));
    settings.transitFolder = path(QStringLiteral("transit/"));
    settings.uploadFolder = path(QStringLiteral("upload/"));
    settings.recordFolder = path(QStringLiteral("records/"));
    settings.isolatorAddress = QStringLiteral("127.0.0.1");
    settings.isolatorPort = QString::number(isolatorPort);
    SettingsStore(path(QStringLiteral("Berlvantis.ini"))).save(settings);
    writeFile(
        path(QStringLiteral("Brelvantis.path")),
        *Cp936::encode(QStringLiteral("|报表*d://报表>192.168.1.10:4321|图片*d://图片>192.168.1.11:4321|")));
}

void addTransitFile(const QString &work, const QString &relative, int size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes) {
        byte = static_cast<char>(QRandomGenerator::global()->bounded(256));
    }
    writeFile(work + QStringLiteral("/transit/") + relative, bytes);
}

} // namespace

void Screenshots::station(const QString &folder) {
    QTemporaryDir peerRoot;
    QTemporaryDir work;
    require(peerRoot.isValid() && work.isValid(), QStringLiteral("cannot make a temporary folder"));
    IsolatorOptions options;
    options.listenPort = 0;
    options.root = peerRoot.path();
    IsolatorServer peer(options);
    IsolatorOptions slowOptions = options;
    slowOptions.neverAnswer = true; // keeps the second file "uploading" for the picture
    IsolatorServer slow(slowOptions);
    QString error;
    require(peer.start(&error) && slow.start(&error), error);

    makeWorkspace(work.path(), peer.port());
    for (const char *name : {"季度报告.txt", "年度汇总.pdf", "明细表 2026.txt"}) {
        addTransitFile(work.path(), QStringLiteral("报表/") + QString::fromUtf8(name), 300000);
    }
    addTransitFile(work.path(), QStringLiteral("图片/现场照片 01.jpg"), 900000);
    addTransitFile(work.path(), QStringLiteral("图片/现场照片 02.jpg"), 120000);
    addTransitFile(work.path(), QStringLiteral("图片/看图工具.exe"), 5000); // stays, greyed: not allowed
    NoMessages messages;
    StationParts parts(work.path());
    parts.filter.load();
    parts.job.settleTime = {}; // the files were just written whole: queued and sent at once
    CMainFrame frame(parts);
    frame.OnCreate();
    frame.OnInitialUpdates();
    frame.showMaximized();
    require(QTest::qWaitForWindowExposed(&frame), QStringLiteral("the window was not shown"));
    parts.upload.setTickInterval(50);

    require(parts.queue.addRecord(QStringLiteral("报表")).succeeded, QStringLiteral("报表 was not queued"));
    require(parts.queue.addRecord(QStringLiteral("图片")).succeeded, QStringLiteral("图片 was not queued"));
    frame.OnRefresh();
    frame.OnStartUpload();
    require(QTest::qWaitFor([&] { return parts.table.cell(0, CellStatus) == kStatusComplete; }, 10000),
            QStringLiteral("the first file was not sent"));
    parts.settings.isolatorPort = QString::number(slow.port());
    require(QTest::qWaitFor([&] { return parts.table.cell(1, CellStatus) == kStatusUploading; }, 10000),
            QStringLiteral("the second file was not on its way"));
    // The queue narrowed to one destination, the row on its way among them.
    if (auto *filter = frame.findChild<QLineEdit *>(QStringLiteral("queueFilter"))) {
        filter->setText(QStringLiteral("报表"));
    }
    QTest::qWait(700);
    const QString output = folder + QStringLiteral("/station-uploading.png");
    require(frame.grab().save(output), QStringLiteral("cannot save %1").arg(output));

    frame.OnStopUpload();
    parts.worker.abandon();
    parts.worker.wait(std::chrono::seconds(5));
}
