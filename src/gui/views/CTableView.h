#pragma once

#include <QList>
#include <QTableView>
#include <functional>

class CTableViewModel;
class QMenu;
class QueueFilterModel;
class UploadTable;

// The upload table pane: the queue in report style, one line per record. It owns no data: the rows
// live in UploadTable; which rows the operator has selected lives in the view's selection model, and
// the commands are handed the rows they act on. What it shows may be sorted by a column, filtered or
// without the finished rows: every row it hands out is a row of the table (the send order), never a
// line of the screen.
class CTableView : public QTableView {
    Q_OBJECT

public:
    static inline const QString kObjectName = QStringLiteral("uploadTable");

    explicit CTableView(UploadTable &table, QWidget *parent = nullptr);

    UploadTable &table() const { return m_table; }
    CTableViewModel &queueModel() const { return *m_model; }
    QueueFilterModel &queueFilter() const { return *m_proxy; }

    // The table rows the operator has selected, in send order.
    QList<int> selectedRows() const;

    // After a record moved to row, its old neighbour (now at neighbour) loses its selection, and the
    // moved record stays selected, current and in sight (rows of the table).
    void followMovedRow(int row, int neighbour);

    // The active pane is the pane that last held keyboard focus; dialogs, menus and the toolbar
    // do not change it. Moving a record acts only while this pane is active.
    bool isActivePane() const { return m_active; }

    // A click on a header sorts by its column, a second click the other way, a third goes back to send
    // order. The progress column does not sort.
    void sortByHeader(int column);
    void showSendOrder();
    bool isSorted() const;

    // The figures of the transfer under way for its row; empty text when none runs.
    void showProgress(const QString &text);
    // Whether the view keeps the row being sent in sight: until the operator scrolls it out of sight,
    // again once they scroll back to it or select it.
    bool followsActiveRow() const { return m_following; }

    // What the row menu offers for a table row (the frame knows the upload state and the records).
    struct RowActions {
        bool retry = true;
        bool remove = true;
        bool copySha = true;
        bool history = true;
        bool folder = true;
    };
    void setRowActions(std::function<RowActions(int row)> judge) { m_judgeRow = std::move(judge); }
    // The menu of a row, as a right-click shows it (for the row at a point of the viewport).
    QMenu *rowMenu() const { return m_rowMenu; }
    void showRowMenu(const QPoint &viewportPoint);

signals:
    // The Delete key was pressed on the table, or 删除记录 chosen in the row menu: the frame deletes
    // the selected records.
    void deleteRequested();
    // The row menu's commands; row is a row of the table.
    void retryRequested();
    void copyShaRequested(int row);
    void historyRequested(int row);
    void openFolderRequested(int row);
    // Sorted by a column, or back in send order.
    void sortChanged(bool sorted);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void onFocusChanged(QWidget *old, QWidget *now);
    void createRowMenu();
    QModelIndex shown(int tableRow, int column = 0) const;
    bool activeRowInSight() const;
    void followActiveRow();
    void onScrolled();

    UploadTable &m_table;
    CTableViewModel *m_model;
    QueueFilterModel *m_proxy;
    QMenu *m_rowMenu = nullptr;
    int m_menuRow = -1;
    std::function<RowActions(int row)> m_judgeRow;
    bool m_active = false;
    bool m_following = true;
    bool m_scrollingItself = false;
};
