#pragma once

#include <QList>
#include <QTableView>

class CTableViewModel;
class UploadTable;

// The upload table pane: the queue in report style, one line per record. It owns no data: the rows
// live in UploadTable; which rows the operator has selected lives in the view's selection model, and
// the commands are handed the rows they act on.
class CTableView : public QTableView {
    Q_OBJECT

public:
    static inline const QString kObjectName = QStringLiteral("uploadTable");

    explicit CTableView(UploadTable &table, QWidget *parent = nullptr);

    UploadTable &table() const { return m_table; }

    // The rows the operator has selected, top to bottom.
    QList<int> selectedRows() const;

    // After a record moved to row, its old neighbour (now at neighbour) loses its selection, and the
    // moved record stays selected, current and in sight.
    void followMovedRow(int row, int neighbour);

    // The active pane is the pane that last held keyboard focus; dialogs, menus and the toolbar
    // do not change it. Moving a record acts only while this pane is active.
    bool isActivePane() const { return m_active; }

signals:
    // The Delete key was pressed on the table: the frame deletes the selected records.
    void deleteRequested();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void onFocusChanged(QWidget *old, QWidget *now);

    UploadTable &m_table;
    CTableViewModel *m_model;
    bool m_active = false;
};
