#pragma once

#include "core/history/HistoryEntry.h"

#include <QAbstractTableModel>
#include <QList>
#include <QString>

// The days of the record folder, newest first: the date and its record count, or that its files
// cannot be read.
class DayListModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setDays(const QList<History::Day> &days);
    const QList<History::Day> &days() const { return m_days; }
    const History::Day &day(int row) const { return m_days.at(row); }
    // The row of day ("YYYY-MM-DD"), -1 when it is not listed.
    int rowOf(const QString &day) const;

    // 周一 … 周日 of day ("YYYY-MM-DD"); empty when it is no date.
    static QString weekday(const QString &day);
    // Why the day's files cannot be read, a sentence for each file that cannot; empty when both can.
    static QString problem(const History::Day &day);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    QList<History::Day> m_days;
};
