#pragma once

#include <QWidget>

class CTableView;
class QAction;
class QLineEdit;
class UploadTable;

// The left pane: a filter field above the upload table. Ctrl+F anywhere in the window puts the cursor
// in the field; Esc there empties it (and the table shows every row again).
class QueuePane : public QWidget {
    Q_OBJECT

public:
    explicit QueuePane(UploadTable &table, QWidget *parent = nullptr);

    CTableView *tableView() const { return m_table; }
    QLineEdit *filterField() const { return m_filter; }
    // Ctrl+F, for the window's menu.
    QAction *findAction() const { return m_find; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    CTableView *m_table;
    QLineEdit *m_filter;
    QAction *m_find;
};
