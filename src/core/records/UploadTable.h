#pragma once

#include "core/records/UploadRecord.h"

#include <QList>
#include <QObject>
#include <QString>
#include <array>

// The upload queue: rows of seven text cells in queue order. The table is the only store of the queue
// (which rows the operator has selected is the view's business); the widget shows it through an adapter that
// keeps nothing of its own, so every change is announced before and after it happens, in the order an item
// model needs.
class UploadTable : public QObject {
    Q_OBJECT

public:
    explicit UploadTable(QObject *parent = nullptr);

    int rowCount() const { return static_cast<int>(m_rows.size()); }

    // Empty text for a row or cell that does not exist.
    QString cell(int row, int column) const;
    // Ignored for a row or cell that does not exist.
    void setCell(int row, int column, const QString &text);

    // New rows hold sequence in cell 0, empty cells elsewhere.
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
        bool tried = false;       // a transfer of it started in this run
        bool fileMissing = false; // its file was not in the upload folder: waits for it to come back
        int refusals = 0;         // the isolator's refusals in a row
        int completedAtFirstRefusal = 0;
        bool operator==(const Attempts &) const = default;
    };
    Attempts attempts(int row) const;
    // Announced as a change of the row's status cell.
    void setAttempts(int row, const Attempts &attempts);

    // Cell 0 of every row becomes its 1-based position.
    void renumber();

    // Swaps the record at from with its neighbour at to (one row away) and renumbers the table. False,
    // and nothing changed, when either row does not exist or they are not neighbours.
    bool moveRow(int from, int to);

    // How many rows hold status in their status cell.
    int countWithStatus(const QString &status) const;

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

private:
    struct Row {
        std::array<QString, UploadRecord::kCellCount> cells;
        Attempts attempts;
    };

    bool hasRow(int row) const { return row >= 0 && row < rowCount(); }

    QList<Row> m_rows;
};
