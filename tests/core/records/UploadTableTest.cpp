#include "core/records/UploadTable.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace UploadRecord;

namespace {

// A table of count records: record n has file "fn.txt", destination "dn", its own status and times,
// and sequence numbers that are deliberately stale so renumbering shows.
void fill(UploadTable &table, int count) {
    for (int n = 1; n <= count; ++n) {
        const int row = table.appendRow(QStringLiteral("9%1").arg(n));
        table.setCell(row, CellFileName, QStringLiteral("f%1.txt").arg(n));
        table.setCell(row, CellFileSize, QStringLiteral("%1 KB").arg(n));
        table.setCell(row, CellDestination, QStringLiteral("10.0.0.%1:4321||d://%1").arg(n));
        table.setCell(row, CellStatus, n % 2 ? kStatusReady : kStatusFault);
        table.setCell(row, CellStartTime, QStringLiteral("2024-03-05 10:00:0%1").arg(n));
        table.setCell(row, CellFinishTime, QStringLiteral("2024-03-05 11:00:0%1").arg(n));
    }
}

// File names from the top, the quickest way to read the order of the records.
QStringList order(const UploadTable &table) {
    QStringList names;
    for (int row = 0; row < table.rowCount(); ++row) {
        names.append(table.cell(row, CellFileName));
    }
    return names;
}

QStringList sequence(const UploadTable &table) {
    QStringList numbers;
    for (int row = 0; row < table.rowCount(); ++row) {
        numbers.append(table.cell(row, CellSequence));
    }
    return numbers;
}

QStringList cells(const UploadTable &table, int row) {
    QStringList texts;
    for (int column = 0; column < kCellCount; ++column) {
        texts.append(table.cell(row, column));
    }
    return texts;
}

} // namespace

TEST(UploadTableRows, AppendInsertDeleteAndRemoveAll) {
    UploadTable table;
    EXPECT_EQ(table.appendRow(QStringLiteral("1")), 0);
    EXPECT_EQ(table.appendRow(QStringLiteral("2")), 1);
    EXPECT_EQ(table.insertRow(1, QStringLiteral("x")), 1);
    EXPECT_EQ(sequence(table), (QStringList{"1", "x", "2"}));
    EXPECT_EQ(cells(table, 1).mid(1), QStringList(kCellCount - 1, QString())) << "new rows are blank";

    EXPECT_EQ(table.insertRow(4, QStringLiteral("y")), -1);
    EXPECT_EQ(table.insertRow(-1, QStringLiteral("y")), -1);
    EXPECT_EQ(table.rowCount(), 3);

    EXPECT_TRUE(table.deleteRow(0));
    EXPECT_FALSE(table.deleteRow(2));
    EXPECT_EQ(sequence(table), (QStringList{"x", "2"}));

    table.removeAll();
    EXPECT_EQ(table.rowCount(), 0);
}

TEST(UploadTableRows, CellsOutsideTheTableReadEmptyAndIgnoreWrites) {
    UploadTable table;
    fill(table, 1);
    EXPECT_TRUE(table.cell(1, CellFileName).isEmpty());
    EXPECT_TRUE(table.cell(0, kCellCount).isEmpty());
    QSignalSpy changed(&table, &UploadTable::cellChanged);
    table.setCell(3, CellStatus, kStatusComplete);
    table.setCell(0, -1, kStatusComplete);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(cells(table, 0)[CellStatus], kStatusReady);
}

TEST(UploadTableRenumber, NumbersEveryRowByPosition) {
    UploadTable table;
    fill(table, 3);
    table.deleteRow(1);
    table.renumber();
    EXPECT_EQ(sequence(table), (QStringList{"1", "2"}));
    EXPECT_EQ(order(table), (QStringList{"f1.txt", "f3.txt"}));
}

class UploadTableMove : public ::testing::Test {
protected:
    void SetUp() override { fill(table, 4); }
    UploadTable table;
};

TEST_F(UploadTableMove, SwapsTheRecordWithItsNeighbourAndRenumbers) {
    const QStringList moved = cells(table, 2).mid(1);
    const QStringList above = cells(table, 1).mid(1);

    EXPECT_TRUE(table.moveRow(2, 1));
    EXPECT_EQ(order(table), (QStringList{"f1.txt", "f3.txt", "f2.txt", "f4.txt"}));
    EXPECT_EQ(cells(table, 1).mid(1), moved) << "status and times travel with the record";
    EXPECT_EQ(cells(table, 2).mid(1), above);
    EXPECT_EQ(sequence(table), (QStringList{"1", "2", "3", "4"}));

    EXPECT_TRUE(table.moveRow(1, 2));
    EXPECT_EQ(order(table), (QStringList{"f1.txt", "f2.txt", "f3.txt", "f4.txt"}));
}

TEST_F(UploadTableMove, RefusedMovesChangeNothing) {
    QSignalSpy changed(&table, &UploadTable::cellChanged);
    QSignalSpy moved(&table, &UploadTable::rowMoved);
    const QStringList before = order(table);

    EXPECT_FALSE(table.moveRow(0, -1)) << "top row";
    EXPECT_FALSE(table.moveRow(3, 4)) << "bottom row";
    EXPECT_FALSE(table.moveRow(0, 2)) << "not neighbours";
    EXPECT_FALSE(UploadTable().moveRow(0, 1)) << "empty table";

    EXPECT_EQ(order(table), before);
    EXPECT_EQ(sequence(table), (QStringList{"91", "92", "93", "94"})) << "not even renumbered";
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(moved.count(), 0);
}

TEST(UploadTableMoveEdges, LongCellsOfBothRecordsSurviveWhole) {
    UploadTable table;
    fill(table, 2);
    // 600 bytes in GBK: a copy through a 512-byte buffer would have cut it.
    const QString longDestination =
        QStringLiteral("192.168.1.1:4321||d://") + QString(289, QChar(0x6587)); // 文
    table.setCell(0, CellDestination, longDestination);
    table.setCell(1, CellDestination, longDestination + QStringLiteral("/b"));

    ASSERT_TRUE(table.moveRow(1, 0));
    EXPECT_EQ(table.cell(0, CellDestination), longDestination + QStringLiteral("/b"));
    EXPECT_EQ(table.cell(1, CellDestination), longDestination) << "the neighbour keeps its whole cell";
}
