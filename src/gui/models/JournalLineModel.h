#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>

// A day's journal lines under the journal's columns (DayJournal::kColumns), their events coloured by
// outcome.
class JournalLineModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setLines(QList<QStringList> lines);
    const QList<QStringList> &lines() const { return m_lines; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    QList<QStringList> m_lines;
};
