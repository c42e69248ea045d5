#include "core/history/DayMerge.h"
#include "core/browse/FileList.h"

#include <QMap>
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

// The records of a day in the order of their places, the journal read twice as the index reads it.
QList<History::Entry> merged(const QList<QStringList> &log, const QList<QStringList> &journal) {
    DayMerge merge(kDay, log);
    for (const QStringList &line : journal) {
        merge.note(line);
    }
    QMap<qsizetype, History::Entry> byPlace;
    const DayMerge::Sink keep = [&](qsizetype place, const History::Entry &entry) {
        EXPECT_FALSE(byPlace.contains(place)) << place;
        byPlace.insert(place, entry);
        return true;
    };
    for (const QStringList &line : journal) {
        EXPECT_TRUE(merge.take(line, keep));
    }
    EXPECT_TRUE(merge.finish(keep));
    return byPlace.values();
}

TEST(DayMerge, EachCompletedRowTakesTheClosestCompletionOnceAndTheRestAreJournalOnly) {
    const QList<QStringList> journal{
        journalLine(u("开始"), u("08:59:58"), u("a.txt"), QString()),
        journalLine(u("完成"), u("09:00:00"), u("a.txt"), u("A1")),
        journalLine(u("完成"), u("09:30:00"), u("b.txt"), u("B")),
        journalLine(u("拒绝"), u("09:40:00"), u("b.txt"), u("R")), // the malware scan refused it
        journalLine(u("完成"), u("10:00:05"), u("a.txt"), u("A2")),
        journalLine(u("完成"), u("11:00:00"), u("c.txt"), u("c")),
        journalLine(u("拒绝"), u("11:30:00"), u("e.txt"), u("E")), // its record deleted since
    };
    const QList<QStringList> log{
        logRow(u("a.txt"), kStatusComplete, u("10:00:00")),
        logRow(u("a.txt"), kStatusComplete, u("09:00:01")),
        logRow(u("b.txt"), kStatusFault, QString()), // a completion of its name is no completion of this row
        logRow(u("d.txt"), kStatusReady, QString()),
    };
    const QList<History::Entry> entries = merged(log, journal);

    QStringList seen;
    for (const History::Entry &entry : entries) {
        seen << entry.cell(CellFileName) + u(" ") + entry.sha256 +
                    (entry.journalOnly ? u(" journal") : QString());
    }
    EXPECT_EQ(seen, QStringList({u("a.txt a2"), u("a.txt a1"), u("b.txt r"), u("d.txt "),
                                 u("b.txt b journal"), u("c.txt c journal"), u("e.txt e journal")}));
    EXPECT_EQ(entries.last().cell(CellStatus), kStatusFault);
    EXPECT_EQ(entries.last().time(), u("11:30:00"));

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

TEST(DayMerge, ClaimsGoByTimeAndOnlyRecordsAStationCanHaveSentTakePlaces) {
    const QString longName = QString(997, QChar(0x6587)); // 1,994 bytes in CP936: no header carries it
    const QList<QStringList> journal{
        journalLine(u("完成"), u("10:00:10"), u("a.txt"), u("x1")),
        journalLine(u("完成"), u("09:59:50"), u("a.txt"), u("x2")),
        journalLine(u("完成"), u("garbled"), u("a.txt"), u("x3")),
        journalLine(u("完成"), u("08:00:00"), u("a.txt"), u("x4")),
        journalLine(u("完成"), u("08:00:00"), longName, u("x5")),
        journalLine(u("完成"), u("12:00:00"), u("b.txt"), u("x6")),
    };
    const QList<QStringList> log{
        logRow(u("a.txt"), kStatusComplete, u("10:00:00")), // as near to x1 as to x2: x1 came first
        QStringList(7),                                     // an empty row takes no place
        logRow(u("a.txt"), kStatusComplete, u("10:00:00")),
        logRow(u("a.txt"), kStatusComplete, QString()),     // no finish: the earliest
        logRow(u("a.txt"), kStatusComplete, u("10:00:00")), // only the one without a time is left
        logRow(longName, kStatusComplete, u("08:00:00")),
        logRow(QString(996, QChar(0x6587)), kStatusReady, QString()), // 1,992 bytes: carried
    };
    DayMerge merge(kDay, log);
    EXPECT_EQ(merge.overlongRows(), 1);
    for (const QStringList &line : journal) {
        merge.note(line);
    }
    QStringList seen;
    const DayMerge::Sink keep = [&](qsizetype place, const History::Entry &entry) {
        seen << QString::number(place) + u(" ") + entry.sha256;
        return true;
    };
    for (const QStringList &line : journal) {
        ASSERT_TRUE(merge.take(line, keep));
    }
    ASSERT_TRUE(merge.finish(keep));
    // The completions take places after the five rows, in journal order; a claimed one leaves its place.
    EXPECT_EQ(seen, QStringList({u("9 x6"), u("0 x1"), u("1 x2"), u("2 x4"), u("3 x3"), u("4 ")}));
    EXPECT_EQ(merge.overlongCompletions(), 1);
    EXPECT_EQ(merge.places(), 5 + 5);
    EXPECT_TRUE(DayMerge::fitsHeader(u("a.txt"), QString(2098, u'x')));
    EXPECT_FALSE(DayMerge::fitsHeader(u("a.txt"), QString(2099, u'x')));
}

} // namespace
