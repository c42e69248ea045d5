#include "core/records/UploadTable.h"

UploadTable::UploadTable(QObject *parent) : QObject(parent) {}

QString UploadTable::cell(int row, int column) const {
    if (!hasRow(row) || column < 0 || column >= UploadRecord::kCellCount) {
        return {};
    }
    return m_rows[row].cells[column];
}

void UploadTable::setCell(int row, int column, const QString &text) {
    if (!hasRow(row) || column < 0 || column >= UploadRecord::kCellCount) {
        return;
    }
    QString &target = m_rows[row].cells[column];
    if (target == text) {
        return;
    }
    target = text;
    emit cellChanged(row, column);
}

UploadTable::Attempts UploadTable::attempts(int row) const {
    return hasRow(row) ? m_rows[row].attempts : Attempts{};
}

void UploadTable::setAttempts(int row, const Attempts &attempts) {
    if (!hasRow(row) || m_rows[row].attempts == attempts) {
        return;
    }
    m_rows[row].attempts = attempts;
    emit cellChanged(row, UploadRecord::CellStatus);
}

int UploadTable::appendRow(const QString &sequence) {
    return insertRow(rowCount(), sequence);
}

int UploadTable::insertRow(int index, const QString &sequence) {
    if (index < 0 || index > rowCount()) {
        return -1;
    }
    emit rowsAboutToBeInserted(index, index);
    Row row;
    row.cells[UploadRecord::CellSequence] = sequence;
    m_rows.insert(index, row);
    emit rowsInserted(index, index);
    return index;
}

bool UploadTable::deleteRow(int index) {
    if (!hasRow(index)) {
        return false;
    }
    emit rowsAboutToBeRemoved(index, index);
    m_rows.removeAt(index);
    emit rowsRemoved(index, index);
    return true;
}

void UploadTable::removeAll() {
    emit aboutToBeReset();
    m_rows.clear();
    emit reset();
}

void UploadTable::renumber() {
    for (int i = 0; i < rowCount(); ++i) {
        setCell(i, UploadRecord::CellSequence, QString::number(i + 1));
    }
}

bool UploadTable::moveRow(int from, int to) {
    if (!hasRow(from) || !hasRow(to) || qAbs(from - to) != 1) {
        return false;
    }
    // Both records keep every cell whole: copying through a fixed buffer would cut a long destination of
    // the neighbour and send its file to the wrong place.
    emit rowAboutToBeMoved(from, to);
    m_rows.swapItemsAt(from, to);
    emit rowMoved(from, to);
    renumber();
    return true;
}

int UploadTable::countWithStatus(const QString &status) const {
    int count = 0;
    for (const Row &row : m_rows) {
        count += row.cells[UploadRecord::CellStatus] == status;
    }
    return count;
}
