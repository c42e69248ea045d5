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
    return parent.isValid() ? 0 : kProgressColumn + 1;
}

int CTableViewModel::activeRow() const {
    for (int row = 0; row < m_table.rowCount(); ++row) {
        if (m_table.cell(row, UploadRecord::CellStatus) == UploadRecord::kStatusUploading) {
            return row;
        }
    }
    return -1;
}

void CTableViewModel::setProgressText(const QString &text) {
    if (text == m_progressText) {
        return;
    }
    m_progressText = text;
    if (const int row = activeRow(); row >= 0) {
        const QModelIndex changed = index(row, kProgressColumn);
        emit dataChanged(changed, changed, {Qt::DisplayRole});
    }
}

QVariant CTableViewModel::data(const QModelIndex &index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == kProgressColumn) {
            const bool sending =
                m_table.cell(index.row(), UploadRecord::CellStatus) == UploadRecord::kStatusUploading;
            return sending ? m_progressText : QString();
        }
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
    if (orientation != Qt::Horizontal || section < 0 || section > kProgressColumn) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return section == kProgressColumn ? QStringLiteral("进度") : UploadRecord::kColumnHeaders[section];
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
    // A status that changes to or from 正在上传 shows or takes away the row's progress too.
    const QModelIndex changed = index(row, column);
    const QModelIndex last = column == UploadRecord::CellStatus ? index(row, kProgressColumn) : changed;
    emit dataChanged(changed, last, {Qt::DisplayRole});
}
