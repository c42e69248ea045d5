#pragma once

#include <QAbstractTableModel>

class UploadTable;

// Shows the upload table to a QTableView. It keeps nothing of its own: every read goes to the table,
// and every change of the table is passed on with the matching begin/end notifications.
class CTableViewModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit CTableViewModel(UploadTable &table, QObject *parent = nullptr);

    UploadTable &table() const { return m_table; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    void onRowsAboutToBeInserted(int first, int last);
    void onRowsInserted();
    void onRowsAboutToBeRemoved(int first, int last);
    void onRowsRemoved();
    void onRowAboutToBeMoved(int from, int to);
    void onRowMoved();
    void onAboutToBeReset();
    void onReset();
    void onCellChanged(int row, int column);

    UploadTable &m_table;
};
