#pragma once

#include "core/records/UploadRecord.h"

#include <QList>
#include <QObject>
#include <QString>
#include <array>

// The upload queue: rows of seven text cells in queue order, each with a selected flag. The table is
// the only store of the queue; the widget shows it through an adapter that keeps nothing of its own,
// so every change is announced before and after it happens, in the order an item model needs.
class UploadTable : public QObject {
    Q_OBJECT

public:
    explicit UploadTable(QObject *parent = nullptr);

    int rowCount() const { return static_cast<int>(m_rows.size()); }

    // Empty text for a row or cell that does not exist.
    QString cell(int row, int column) const;
    // Ignored for a row or cell that does not exist.
    void setCell(int row, int column, const QString &text);

    // New rows hold sequence in cell 0, empty cells elsewhere, and are not selected.
    int appendRow(const QString &sequence);
    // index may be rowCount() (append). Returns index, or -1 (nothing changed) when out of range.
    int insertRow(int index, const QString &sequence);
    bool deleteRow(int index);
    void removeAll();

    // What the station knows of a row beyond its cells, for this run only (the log keeps the cells):
    // the failed attempts so far, when the next may start, and a note for the operator (the reason
    // of the last failure). Empty for a row that does not exist.
    struct Attempts {
        int failures = 0;
        qint64 retryAtMs = 0; // on the clock's monotonic scale
        QString note;
        bool operator==(const Attempts &) const = default;
    };
    Attempts attempts(int row) const;
    // Announced as a change of the row's status cell.
    void setAttempts(int row, const Attempts &attempts);

    bool isSelected(int row) const;
    void setSelected(int row, bool selected);
    // The lowest selected row, or -1.
    int firstSelected() const;
    // The lowest selected row after row, or -1.
    int nextSelected(int row) const;

    // Cell 0 of every row becomes its 1-based position.
    void renumber();

    // Swap the lowest selected record with the record above (below). The moved record keeps its
    // cells and its selection, the neighbour loses its selection, and the table is renumbered.
    // False, and nothing changed, when there is no selection or no neighbour on that side.
    bool moveUp();
    bool moveDown();

signals:
    void rowsAboutToBeInserted(int first, int last);
    void rowsInserted(int first, int last);
    void rowsAboutToBeRemoved(int first, int last);
    void rowsRemoved(int first, int last);
    // The record at from and its neighbour at to (one row away) change places.
    void rowAboutToBeMoved(int from, int to);
    void rowMoved(int from, int to);
    void aboutToBeReset();
    void reset();
    void cellChanged(int row, int column);
    void selectionChanged(int row, bool selected);

private:
    struct Row {
        std::array<QString, UploadRecord::kCellCount> cells;
        bool selected = false;
        Attempts attempts;
    };

    bool hasRow(int row) const { return row >= 0 && row < rowCount(); }
    void moveRecord(int from, int to);

    QList<Row> m_rows;
};
