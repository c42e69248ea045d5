#include "gui/views/CTableViewModel.h"

#include "core/records/UploadTable.h"

#include <QColor>

namespace {

const QColor kBackground(200, 200, 200);
const QColor kText(10, 10, 80);

} // namespace

CTableViewModel::CTableViewModel(UploadTable &table, QObject *parent)
    : QAbstractTableModel(parent), m_table(table) {
    connect(&m_table, &UploadTable::rowsAboutToBeInserted, this, &CTableViewModel::onRowsAboutToBeInserted);
    connect(&m_table, &UploadTable::rowsInserted, this, &CTableViewModel::onRowsInserted);
    connect(&m_table, &UploadTable::rowsAboutToBeRemoved, this, &CTableViewModel::onRowsAboutToBeRemoved);
    connect(&m_table, &UploadTable::rowsRemoved, this, &CTableViewModel::onRowsRemoved);
    connect(&m_table, &UploadTable::rowAboutToBeMoved, this, &CTableViewModel::onRowAboutToBeMoved);
    connect(&m_table, &UploadTable::rowMoved, this, &CTableViewModel::onRowMoved);
    connect(&m_table, &UploadTable::aboutToBeReset, this, &CTableViewModel::onAboutToBeReset);
    connect(&m_table, &UploadTable::reset, this, &CTableViewModel::onReset);
    connect(&m_table, &UploadTable::cellChanged, this, &CTableViewModel::onCellChanged);
}

int CTableViewModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : m_table.rowCount();
}

int CTableViewModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : UploadRecord::kCellCount;
}

QVariant CTableViewModel::data(const QModelIndex &index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
        return m_table.cell(index.row(), index.column());
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    case Qt::BackgroundRole:
        return kBackground;
    case Qt::ForegroundRole:
        return kText;
    case Qt::ToolTipRole: {
        // The status cell explains a failure: why, how many tries, when the next one comes.
        const QString note = m_table.attempts(index.row()).note;
        return index.column() == UploadRecord::CellStatus && !note.isEmpty() ? QVariant(note) : QVariant();
    }
    default:
        return {};
    }
}

QVariant CTableViewModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= UploadRecord::kCellCount) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return UploadRecord::kColumnHeaders[section];
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    }
    return {};
}

Qt::ItemFlags CTableViewModel::flags(const QModelIndex &index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void CTableViewModel::onRowsAboutToBeInserted(int first, int last) {
    beginInsertRows(QModelIndex(), first, last);
}

void CTableViewModel::onRowsInserted() {
    endInsertRows();
}

void CTableViewModel::onRowsAboutToBeRemoved(int first, int last) {
    beginRemoveRows(QModelIndex(), first, last);
}

void CTableViewModel::onRowsRemoved() {
    endRemoveRows();
}

void CTableViewModel::onRowAboutToBeMoved(int from, int to) {
    // Qt names the row the moved one is placed before, counted before the move.
    beginMoveRows(QModelIndex(), from, from, QModelIndex(), to > from ? to + 1 : to);
}

void CTableViewModel::onRowMoved() {
    endMoveRows();
}

void CTableViewModel::onAboutToBeReset() {
    beginResetModel();
}

void CTableViewModel::onReset() {
    endResetModel();
}

void CTableViewModel::onCellChanged(int row, int column) {
    const QModelIndex changed = index(row, column);
    emit dataChanged(changed, changed, {Qt::DisplayRole});
}
