#include "gui/views/CTableView.h"

#include "core/records/UploadTable.h"
#include "gui/views/CTableViewModel.h"

#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <algorithm>

CTableView::CTableView(UploadTable &table, QWidget *parent)
    : QTableView(parent), m_table(table), m_model(new CTableViewModel(table, this)) {
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

    connect(qApp, &QApplication::focusChanged, this, &CTableView::onFocusChanged);
}

QList<int> CTableView::selectedRows() const {
    QList<int> rows;
    for (const QModelIndex &index : selectionModel()->selectedRows()) {
        rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CTableView::followMovedRow(int row, int neighbour) {
    // Qt's selection moved with the rows; only the neighbour's flag is the move's to clear.
    selectionModel()->select(m_model->index(neighbour, 0),
                             QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    selectionModel()->setCurrentIndex(m_model->index(row, 0), QItemSelectionModel::NoUpdate);
    scrollTo(m_model->index(row, 0));
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

void CTableView::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        emit deleteRequested();
        return;
    }
    QTableView::keyPressEvent(event);
}
