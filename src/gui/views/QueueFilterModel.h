#pragma once

#include <QSortFilterProxyModel>

// What the operator sees of the queue: the rows in send order (the table's order) or sorted by a
// column, without the finished rows when they are hidden, and only the rows whose file name,
// destination or status holds the filter text. It changes nothing of the queue: the rows the commands
// act on are always the table's rows (mapToSource).
class QueueFilterModel : public QSortFilterProxyModel {
    Q_OBJECT

public:
    explicit QueueFilterModel(QObject *parent = nullptr);

    void setHideFinished(bool hide);
    bool hidesFinished() const { return m_hideFinished; }
    // Matched anywhere in the name, the destination or the status, ignoring case; blanks around it
    // are dropped.
    void setFilterText(const QString &text);
    QString filterText() const { return m_filterText; }
    // Sorted by a column; false in send order.
    bool isSorted() const { return sortColumn() >= 0; }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    bool m_hideFinished = false;
    QString m_filterText;
};
