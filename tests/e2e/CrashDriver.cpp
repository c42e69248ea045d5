// The station's own parts and window, offscreen, doing what an operator does at random, until it is
// killed: the subject of the kill -9 test. Usage: test_crash_driver WORK_FOLDER SEED
// Prints "ready" once the day's log is loaded; exits 3 when the log could not be read.

#include "app/CMainFrame.h"
#include "core/common/Cp936.h"
#include "core/station/StationParts.h"
#include "gui/views/CContentView.h"
#include "gui/views/CTableView.h"
#include "gui/widgets/OperatorMessages.h"

#include <QApplication>
#include <QRandomGenerator>
#include <QTimer>
#include <cstdio>

namespace {

// Answers every question with yes and every notice with OK, as a patient operator would.
class Agreeing : public OperatorMessages::Responder {
public:
    void notice(QWidget *, const Notice &) override {}
    bool question(QWidget *, const QString &, const QString &) override { return true; }
};

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    Cp936::requireAvailable();
    if (argc < 3) {
        std::fprintf(stderr, "usage: test_crash_driver WORK_FOLDER SEED\n");
        return 2;
    }
    Agreeing agreeing;
    OperatorMessages::setResponder(&agreeing);
    StationParts parts(QString::fromLocal8Bit(argv[1]));
    parts.job.settleTime = {};
    parts.filter.load();
    CMainFrame frame(parts);
    frame.OnCreate();
    frame.OnInitialUpdates();
    if (!parts.log.keptAsidePath().isEmpty()) {
        std::fprintf(stderr, "the day's log could not be read\n");
        return 3;
    }
    parts.upload.setTickInterval(50);
    std::printf("ready %d rows\n", parts.table.rowCount());
    std::fflush(stdout);

    auto *folders = frame.findChild<CContentView *>(QStringLiteral("contentView"));
    auto *queueView = frame.findChild<CTableView *>(CTableView::kObjectName);
    QRandomGenerator random(QByteArray(argv[2]).toUInt());
    QTimer operatorHand;
    QObject::connect(&operatorHand, &QTimer::timeout, [&] {
        switch (random.bounded(10)) {
        case 0:
        case 1:
        case 2:
            folders->setCurrentItem(random.bounded(qMax(1, folders->rowCount())));
            frame.OnAddRecord();
            break;
        case 3:
            for (int i = 0; i < 3 && parts.table.rowCount() > 0; ++i) {
                const int row = parts.table.rowCount() - 1 - random.bounded(qMin(parts.table.rowCount(), 50));
                queueView->selectionModel()->select(queueView->model()->index(row, 0),
                                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
            }
            frame.OnDeleteRecord();
            break;
        case 4:
        case 5:
        case 6:
        case 7:
            frame.OnStartUpload();
            break;
        case 8:
            frame.OnStopUpload();
            break;
        default:
            break;
        }
    });
    operatorHand.start(30);
    return app.exec();
}
