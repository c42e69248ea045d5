// The two configuration dialogs and the history window, with a sample transit folder, mapping and
// record folder.

#include "Screenshots.h"
#include "app/CBrelvantisApp.h"
#include "core/common/Clock.h"
#include "core/config/FileTypeFilter.h"
#include "core/config/InnerPathMapping.h"
#include "core/config/SettingsStore.h"
#include "core/history/HistoryService.h"
#include "core/records/DayJournal.h"
#include "core/records/RecordLog.h"
#include "core/records/UploadRecord.h"
#include "core/xls/Workbook.h"
#include "gui/dialogs/CCfgDlg.h"
#include "gui/dialogs/CHistoryDlg.h"
#include "gui/dialogs/CInnerPathDlg.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QLineEdit>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

using namespace Screenshots;

// One day of the sample record folder: the day's log and its journal, as the station writes them.
struct SampleRecord {
    const char16_t *name;
    int kilobytes;
    const char16_t *destination;
    const char *start;  // HH:MM:SS
    const char *finish; // empty: the transfer failed
};

void writeSampleDay(const QString &folder, const QString &day, std::initializer_list<SampleRecord> records) {
    using namespace UploadRecord;
    FixedClock clock(QDateTime::fromString(day + QStringLiteral("T08:30:00"), Qt::ISODate));
    DayJournal journal(clock);
    journal.open(folder);
    Xls::Rows rows{RecordLog::kColumnNames};
    for (const SampleRecord &record : records) {
        const QString name = QString::fromUtf16(record.name);
        const QString destination = QString::fromUtf16(record.destination);
        const QString start = day + QLatin1Char(' ') + QLatin1String(record.start);
        const QString finish =
            *record.finish ? day + QLatin1Char(' ') + QLatin1String(record.finish) : QString();
        rows.append({QString::number(rows.size()), name, QStringLiteral("%1 KB").arg(record.kilobytes),
                     destination, finish.isEmpty() ? kStatusFault : kStatusComplete, start, finish});
        DayJournal::Entry entry;
        entry.event = JournalEvent::Started;
        entry.fileName = name;
        entry.destination = destination;
        entry.isolator = QStringLiteral("192.168.0.10:4321");
        clock.set(QDateTime::fromString(start, QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        journal.append(entry);
        if (finish.isEmpty()) {
            entry.event = JournalEvent::Failed;
            entry.reason = QStringLiteral("隔离器在 30 秒内没有应答");
            entry.bytes = quint64(record.kilobytes) * 1024 / 3;
            entry.seconds = 31.2;
        } else {
            clock.set(QDateTime::fromString(finish, QStringLiteral("yyyy-MM-dd HH:mm:ss")));
            entry.event = JournalEvent::Completed;
            entry.bytes = quint64(record.kilobytes) * 1024;
            entry.seconds = std::max(0.2, record.kilobytes / 9000.0);
            entry.sha256 = QString::fromLatin1(
                QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha256).toHex());
        }
        journal.append(entry);
    }
    QString error;
    require(Xls::writeWorkbook(folder + day + QStringLiteral(".xls"), QStringLiteral("Sheet1"), rows, &error),
            error);
}

void settingsDialog(const QString &output, const QString &work, const InnerPathMapping &mapping) {
    const SettingsStore store(work + QStringLiteral("/Berlvantis.ini"));
    FileTypeFilter filter(work + QStringLiteral("/Brelvantis.filter"));
    filter.write(QStringLiteral("txt:doc:xls:pdf:jpg:"));
    SettingsRecord record;
    CCfgDlg dialog(record, store, mapping, filter);
    // The folders need not exist for the picture.
    record = {QStringLiteral("/srv/brelvantis/回收/"),
              QStringLiteral("/srv/brelvantis/上传/"),
              QStringLiteral("/srv/brelvantis/中转/"),
              QStringLiteral("txt|doc|xls"),
              QStringLiteral("/srv/brelvantis/记录/"),
              QStringLiteral("192.168.0.10"),
              QStringLiteral("4321")};
    save(dialog, output, QStringLiteral("settings-dialog"));
}

void innerPathDialog(const QString &output, const QString &transit, const InnerPathMapping &mapping) {
    CInnerPathDlg dialog(transit, mapping);
    dialog.show();
    require(QTest::qWaitForWindowExposed(&dialog), QStringLiteral("the inner path dialog was not shown"));
    // Choose the row of "广告" (after ".备份" and "人事档案"), as an operator about to change it would.
    auto *list = dialog.findChild<QTableWidget *>(QStringLiteral("mappingList"));
    const QRect row = list->visualRect(list->model()->index(2, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
    save(dialog, output, QStringLiteral("inner-path-dialog"));
}

void historyWindow(const QString &output, const QString &work) {
    const QString records = work + QStringLiteral("/记录/");
    require(QDir().mkpath(records), QStringLiteral("cannot make %1").arg(records));
    const char16_t *finance = u"192.168.1.1:4321||d://财务";
    const char16_t *adverts = u"192.168.1.1:4321||d://广告";
    const char16_t *technical = u"192.168.1.20:4321||e://资料/技术";
    writeSampleDay(records, QStringLiteral("2026-11-05"),
                   {{u"2026年第三季度财务报告.pdf", 2356, finance, "09:02:11", "09:02:14"},
                    {u"项目进度周报-第45周.docx", 418, technical, "09:05:40", "09:05:41"},
                    {u"设备巡检记录表.xls", 96, technical, "10:17:02", "10:17:02"},
                    {u"网络拓扑图.vsdx", 1780, technical, "10:20:15", ""},
                    {u"宣传海报_终稿.jpg", 5120, adverts, "14:41:09", "14:41:16"},
                    {u"会议纪要20261105.txt", 3, adverts, "16:03:55", "16:03:55"}});
    writeFile(records + QStringLiteral("2026-11-04.xls"), "saved over by another program");
    writeSampleDay(records, QStringLiteral("2026-11-03"),
                   {{u"安全检查报告.pdf", 860, technical, "08:55:30", "08:55:31"},
                    {u"采购合同-扫描件.pdf", 3420, finance, "09:40:12", "09:40:17"},
                    {u"产品手册v2.3.pdf", 12480, adverts, "11:22:48", "11:23:05"}});
    writeSampleDay(records, QStringLiteral("2026-10-30"),
                   {{u"月度运维报告-10月.docx", 254, technical, "15:10:00", "15:10:01"},
                    {u"员工培训课件.pptx", 8820, adverts, "15:31:27", "15:31:39"}});

    HistoryService service;
    CHistoryDlg window(service, records);
    window.show();
    require(QTest::qWaitForWindowExposed(&window), QStringLiteral("the history window was not shown"));
    auto *days = window.findChild<QTableView *>(QStringLiteral("dayList"));
    require(QTest::qWaitFor([&] { return days->model()->rowCount() == 4; }, 30000),
            QStringLiteral("the history window did not list the four days"));
    // The operator looks for the reports of the last weeks and picks the newest.
    window.findChild<QLineEdit *>(QStringLiteral("searchEdit"))->setText(QStringLiteral("报告"));
    auto *results = window.findChild<QTableView *>(QStringLiteral("searchResults"));
    require(QTest::qWaitFor([&] { return results->model()->rowCount() == 3; }, 30000),
            QStringLiteral("the search found no three reports"));
    QTest::mouseClick(results->viewport(), Qt::LeftButton, Qt::NoModifier,
                      results->visualRect(results->model()->index(0, 1)).center());
    save(window, output, QStringLiteral("history-window"));

    // The unreadable day, and then a day with its journal.
    window.findChild<QLineEdit *>(QStringLiteral("searchEdit"))->clear();
    QTest::mouseClick(days->viewport(), Qt::LeftButton, Qt::NoModifier,
                      days->visualRect(days->model()->index(1, 0)).center());
    save(window, output, QStringLiteral("history-window-unreadable"));
    QTest::mouseClick(days->viewport(), Qt::LeftButton, Qt::NoModifier,
                      days->visualRect(days->model()->index(0, 0)).center());
    auto *journal = window.findChild<QTableView *>(QStringLiteral("journalLines"));
    require(QTest::qWaitFor([&] { return journal->model()->rowCount() > 0; }, 30000),
            QStringLiteral("the day's journal was not shown"));
    save(window, output, QStringLiteral("history-window-day"));
}

} // namespace

void Screenshots::dialogs(const QString &folder) {
    QTemporaryDir work;
    require(work.isValid(), QStringLiteral("cannot make a temporary folder"));
    // As the station shows them: Qt's own texts in Chinese.
    CBrelvantisApp::setUp(*qApp);
    const QString transit = work.path() + QStringLiteral("/中转/");
    for (const QString &name : {QStringLiteral("广告"), QStringLiteral("财务部"), QStringLiteral("技术资料"),
                                QStringLiteral("人事档案"), QStringLiteral(".备份")}) {
        require(QDir().mkpath(transit + name), QStringLiteral("cannot make %1").arg(transit + name));
    }
    InnerPathMapping mapping(work.path() + QStringLiteral("/Brelvantis.path"));
    mapping.write(
        {{QStringLiteral("广告"), QStringLiteral("192.168.1.1:4321"), QStringLiteral("d://广告")},
         {QStringLiteral("技术资料"), QStringLiteral("192.168.1.20:4321"), QStringLiteral("e://资料/技术")}});

    settingsDialog(folder, work.path(), mapping);
    innerPathDialog(folder, transit, mapping);
    historyWindow(folder, work.path());
}
