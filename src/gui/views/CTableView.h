#pragma once

#include "core/common/Notice.h"

#include <QTableView>
#include <functional>

class CTableViewModel;
class QItemSelection;
class RecordLog;
class UploadTable;

// The upload table pane: the queue in report style, one line per record. It owns no data: the rows
// and their selected flags live in UploadTable, the day's file in RecordLog. The operator's selection
// and the table's selected flags are kept in step both ways.
class CTableView : public QTableView {
    Q_OBJECT

public:
    static inline const QString kObjectName = QStringLiteral("uploadTable");

    CTableView(UploadTable &table, RecordLog &log, QWidget *parent = nullptr);

    UploadTable &table() const { return m_table; }

    // Refills the table from today's record log (which fixes the log's file for the run) and shows
    // what went wrong, if anything. Runs once, when the frame first shows its panes.
    bool OnInitialUpdate(const QString &recordFolder);

    // Move record up and move record down. They act only while this is the active pane, and rewrite
    // the record log only when a record moved. True when the command was handled.
    bool OnMoveUp();
    bool OnMoveDown();

    // The active pane is the pane that last held keyboard focus; dialogs, menus and the toolbar
    // do not change it.
    bool isActivePane() const { return m_active; }

    // How a notice reaches the operator; a message box unless replaced (tests answer it).
    void setNoticePresenter(std::function<void(const Notice &)> presenter);

signals:
    // The Delete key was pressed on the table: the frame deletes the selected records.
    void deleteRequested();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void onFocusChanged(QWidget *old, QWidget *now);
    void onViewSelectionChanged(const QItemSelection &selected, const QItemSelection &deselected);
    void onTableSelectionChanged(int row, bool selected);
    void syncViewRows(int first, int last);
    void showNotice(const Notice &notice);

    UploadTable &m_table;
    RecordLog &m_log;
    CTableViewModel *m_model;
    std::function<void(const Notice &)> m_presenter;
    bool m_active = false;
    bool m_syncing = false;
};
