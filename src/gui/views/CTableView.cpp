#include "gui/views/CTableView.h"

#include "core/records/RecordLog.h"
#include "core/records/UploadTable.h"
#include "gui/views/CTableViewModel.h"
#include "gui/widgets/OperatorMessages.h"

#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <algorithm>

CTableView::CTableView(UploadTable &table, RecordLog &log, QWidget *parent)
    : QTableView(parent), m_table(table), m_log(log), m_model(new CTableViewModel(table, this)) {
    setObjectName(kObjectName);
    setModel(m_model);

    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setSortingEnabled(false);
    verticalHeader()->hide();
    horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    horizontalHeader()->setStretchLastSection(false);
    for (const UploadRecord::Column &column : UploadRecord::kColumns) {
        setColumnWidth(column.cell, column.width);
    }
    // The two time columns were sized for a smaller platform font: never cut a time stamp short.
    const int stampWidth = fontMetrics().horizontalAdvance(QStringLiteral("2026-12-07 00:00:00")) + 14;
    for (const UploadRecord::Cell cell : {UploadRecord::CellStartTime, UploadRecord::CellFinishTime}) {
        setColumnWidth(cell, std::max(UploadRecord::kColumns[cell].width, stampWidth));
    }

    // The area below the last row wears the rows' colours too.
    QPalette colours = palette();
    colours.setColor(QPalette::Base, QColor(200, 200, 200));
    colours.setColor(QPalette::Text, QColor(10, 10, 80));
    setPalette(colours);

    // Rows that come, go or move keep their selection in Qt's selection model as in the table, so only
    // changes of the flags themselves need passing on. The model was connected to the table first, so
    // the view has seen a move before the neighbour's flag is cleared.
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CTableView::onViewSelectionChanged);
    connect(&m_table, &UploadTable::selectionChanged, this, &CTableView::onTableSelectionChanged);
    connect(qApp, &QApplication::focusChanged, this, &CTableView::onFocusChanged);
    syncViewRows(0, m_table.rowCount() - 1);
}

void CTableView::setNoticePresenter(std::function<void(const Notice &)> presenter) {
    m_presenter = std::move(presenter);
}

bool CTableView::OnInitialUpdate(const QString &recordFolder) {
    Notice notice;
    const bool loaded = m_log.loadRecordLog(recordFolder, &notice);
    if (!loaded) {
        showNotice(notice);
    }
    return loaded;
}

bool CTableView::OnMoveUp() {
    if (!m_active) {
        return false;
    }
    if (m_table.moveUp()) {
        m_log.writeRecordLog();
    }
    return true;
}

bool CTableView::OnMoveDown() {
    if (!m_active) {
        return false;
    }
    if (m_table.moveDown()) {
        m_log.writeRecordLog();
    }
    return true;
}

void CTableView::onFocusChanged(QWidget *, QWidget *now) {
    if (!now) {
        return;
    }
    if (now == this || isAncestorOf(now)) {
        m_active = true;
        return;
    }
    // Another list pane of the same window takes over; anything else (a dialog, the toolbar, a
    // menu) leaves the active pane as it was.
    for (QWidget *widget = now; widget; widget = widget->parentWidget()) {
        if (widget->isWindow()) {
            break;
        }
        if (qobject_cast<QAbstractItemView *>(widget)) {
            if (widget->window() == window()) {
                m_active = false;
            }
            return;
        }
    }
}

void CTableView::onViewSelectionChanged(const QItemSelection &selected, const QItemSelection &deselected) {
    if (m_syncing) {
        return;
    }
    m_syncing = true;
    for (const QItemSelection *ranges : {&selected, &deselected}) {
        for (const QItemSelectionRange &range : *ranges) {
            for (int row = range.top(); row <= range.bottom(); ++row) {
                m_table.setSelected(row, selectionModel()->isRowSelected(row));
            }
        }
    }
    m_syncing = false;
}

void CTableView::onTableSelectionChanged(int row, bool) {
    syncViewRows(row, row);
}

// Makes the view show the table's selected flags for rows first to last.
void CTableView::syncViewRows(int first, int last) {
    if (m_syncing) {
        return;
    }
    m_syncing = true;
    for (int row = first; row <= last; ++row) {
        const bool selected = m_table.isSelected(row);
        if (selectionModel()->isRowSelected(row) == selected) {
            continue;
        }
        const QModelIndex index = m_model->index(row, 0);
        selectionModel()->select(index,
                                 (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                     QItemSelectionModel::Rows);
    }
    m_syncing = false;
}

void CTableView::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        emit deleteRequested();
        return;
    }
    QTableView::keyPressEvent(event);
}

void CTableView::showNotice(const Notice &notice) {
    if (m_presenter) {
        m_presenter(notice);
        return;
    }
    OperatorMessages::show(this, notice);
}
