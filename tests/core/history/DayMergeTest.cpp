#include "core/history/DayMerge.h"
#include "core/browse/FileList.h"

#include <gtest/gtest.h>

namespace {

using namespace UploadRecord;

QString u(const char *text) {
    return QString::fromUtf8(text);
}

const QString kDay = u("2026-11-03");
const QString kTo = u("192.168.1.10:4321||d://合同");

QStringList logRow(const QString &name, const QString &status, const QString &finish) {
    return {QString(),
            name,
            u("2 KB"),
            kTo,
            status,
            kDay + u(" 08:00:00"),
            finish.isEmpty() ? QString() : kDay + u(" ") + finish};
}

QStringList journalLine(const QString &event, const QString &time, const QString &name, const QString &sha) {
    return {kDay + u(" ") + time, event,      name,      kTo, u("10.0.0.1:4321"), QString(),
            u("1500000"),         u("0.500"), u("3.00"), sha};
}

TEST(DayMerge, EachCompletedRowTakesTheClosestCompletionOnceAndTheRestAreJournalOnly) {
    const QList<QStringList> journal{
        journalLine(u("开始"), u("08:59:58"), u("a.txt"), QString()),
        journalLine(u("完成"), u("09:00:00"), u("a.txt"), u("A1")),
        journalLine(u("完成"), u("09:30:00"), u("b.txt"), u("B")),
        journalLine(u("完成"), u("10:00:05"), u("a.txt"), u("A2")),
        journalLine(u("完成"), u("11:00:00"), u("c.txt"), u("c")),
    };
    const QList<QStringList> log{
        logRow(u("a.txt"), kStatusComplete, u("10:00:00")),
        logRow(u("a.txt"), kStatusComplete, u("09:00:01")),
        logRow(u("b.txt"), kStatusFault, QString()), // a completion of its name is no completion of this row
        logRow(u("d.txt"), kStatusReady, QString()),
    };
    const QList<History::Entry> entries = DayMerge(kDay, journal).entries(log);

    QStringList seen;
    for (const History::Entry &entry : entries) {
        seen << entry.cell(CellFileName) + u(" ") + entry.sha256 +
                    (entry.journalOnly ? u(" journal") : QString());
    }
    EXPECT_EQ(seen, QStringList({u("a.txt a2"), u("a.txt a1"), u("b.txt "), u("d.txt "), u("b.txt b journal"),
                                 u("c.txt c journal")}));

    const History::Entry &row = entries.at(0);
    EXPECT_EQ(row.day, kDay);
    EXPECT_EQ(row.cells, (Cells{QString(), u("a.txt"), u("2 KB"), kTo, kStatusComplete, kDay + u(" 08:00:00"),
                                kDay + u(" 10:00:00")}));
    EXPECT_EQ(row.time(), u("10:00:00"));
    EXPECT_EQ(entries.at(3).time(), u("08:00:00")) << "no finish: the start";

    const History::Entry &journalOnly = entries.at(5);
    EXPECT_EQ(journalOnly.cells, (Cells{QString(), u("c.txt"), FileList::sizeText(1500000), kTo,
                                        kStatusComplete, QString(), kDay + u(" 11:00:00")}));
}

} // namespace
