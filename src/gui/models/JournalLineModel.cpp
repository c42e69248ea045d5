#include "gui/models/JournalLineModel.h"

#include "core/records/DayJournal.h"
#include "gui/models/StatusColours.h"

#include <utility>

void JournalLineModel::setLines(QList<QStringList> lines) {
    beginResetModel();
    m_lines = std::move(lines);
    endResetModel();
}

int JournalLineModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_lines.size());
}

int JournalLineModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(DayJournal::kColumns.size());
}

QVariant JournalLineModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < DayJournal::kColumns.size()) {
        return DayJournal::kColumns.at(section);
    }
    return QVariant();
}

QVariant JournalLineModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid()) {
        return QVariant();
    }
    const QString text = m_lines.at(index.row()).value(index.column());
    switch (role) {
    case Qt::DisplayRole:
        return text;
    case Qt::ToolTipRole:
        return text.isEmpty() ? QVariant() : QVariant(text);
    case Qt::ForegroundRole: {
        static const qsizetype event = DayJournal::kColumns.indexOf(QStringLiteral("事件"));
        return index.column() == event ? StatusColours::of(text) : QVariant();
    }
    default:
        return QVariant();
    }
}
