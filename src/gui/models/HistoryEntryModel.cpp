#include "gui/models/HistoryEntryModel.h"

#include "core/history/HistoryExport.h"
#include "gui/models/StatusColours.h"

#include <QFont>
#include <utility>

namespace {

const QString kJournalOnlyNote = QStringLiteral("此记录仅见于当天的传输日志");

} // namespace

void HistoryEntryModel::setEntries(QList<History::Entry> entries) {
    beginResetModel();
    m_entries = std::move(entries);
    endResetModel();
}

int HistoryEntryModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_entries.size());
}

int HistoryEntryModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(HistoryExport::columnNames().size());
}

QVariant HistoryEntryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < HistoryExport::columnNames().size()) {
        return HistoryExport::columnNames().at(section);
    }
    return QVariant();
}

QVariant HistoryEntryModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid()) {
        return QVariant();
    }
    const History::Entry &entry = m_entries.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return HistoryExport::cell(entry, index.column());
    case Qt::ToolTipRole: {
        const QString text = HistoryExport::cell(entry, index.column());
        if (!entry.journalOnly) {
            return text.isEmpty() ? QVariant() : QVariant(text);
        }
        return text.isEmpty() ? kJournalOnlyNote : kJournalOnlyNote + QLatin1Char('\n') + text;
    }
    case Qt::FontRole:
        if (entry.journalOnly) {
            QFont italic;
            italic.setItalic(true);
            return italic;
        }
        break;
    case Qt::ForegroundRole:
        if (index.column() == HistoryExport::columnOf(UploadRecord::CellStatus)) {
            return StatusColours::of(entry.cell(UploadRecord::CellStatus));
        }
        break;
    default:
        break;
    }
    return QVariant();
}
