#pragma once

#include "core/history/HistoryEntry.h"

#include <QAbstractTableModel>
#include <QList>

// Records of the history under the history's columns (HistoryExport): a day's, or a search's. A record
// only the journal holds is shown in italics and says so in its tooltip.
class HistoryEntryModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setEntries(QList<History::Entry> entries);
    const QList<History::Entry> &entries() const { return m_entries; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    QList<History::Entry> m_entries;
};
