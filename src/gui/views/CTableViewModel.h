#pragma once

#include <QAbstractTableModel>

class UploadTable;

// Shows the upload table to a QTableView. It keeps nothing of the records: every read goes to the table,
// and every change of the table is passed on with the matching begin/end notifications. After the
// record's seven cells comes one column of the view alone (no log holds it): the progress of the row
// being sent.
class CTableViewModel : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr int kProgressColumn = 7;

    explicit CTableViewModel(UploadTable &table, QObject *parent = nullptr);

    // The figures of the transfer under way ("37% · 11.2 MB/s"), shown on the row that reads 正在上传;
    // empty text when none runs.
    void setProgressText(const QString &text);
    // The row that reads 正在上传, or -1.
    int activeRow() const;

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
    QString m_progressText;
};
