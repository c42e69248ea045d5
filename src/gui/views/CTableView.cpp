#include "gui/views/CTableView.h"

#include "core/records/UploadTable.h"
#include "gui/views/CTableViewModel.h"
#include "gui/views/QueueFilterModel.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <algorithm>

CTableView::CTableView(UploadTable &table, QWidget *parent)
    : QTableView(parent), m_table(table), m_model(new CTableViewModel(table, this)),
      m_proxy(new QueueFilterModel(this)) {
    setObjectName(kObjectName);
    setAccessibleName(QStringLiteral("上传队列"));
    m_proxy->setSourceModel(m_model);
    setModel(m_proxy);

    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setSortingEnabled(false); // sorting follows sortByHeader's three steps instead
    verticalHeader()->hide();
    horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setSectionsClickable(true);
    for (const UploadRecord::Column &column : UploadRecord::kColumns) {
        setColumnWidth(column.cell, column.width);
    }
    // The two time columns were sized for a smaller platform font: never cut a time stamp short.
    const int stampWidth = fontMetrics().horizontalAdvance(QStringLiteral("2026-12-07 00:00:00")) + 14;
    for (const UploadRecord::Cell cell : {UploadRecord::CellStartTime, UploadRecord::CellFinishTime}) {
        setColumnWidth(cell, std::max(UploadRecord::kColumns[cell].width, stampWidth));
    }
    // The progress stands beside the status it belongs to.
    setColumnWidth(CTableViewModel::kProgressColumn,
                   fontMetrics().horizontalAdvance(QStringLiteral("100% · 888.8 MB/s")) + 14);
    horizontalHeader()->moveSection(CTableViewModel::kProgressColumn, UploadRecord::CellStatus + 1);

    // The area below the last row wears the rows' colours too.
    QPalette colours = palette();
    colours.setColor(QPalette::Base, QColor(200, 200, 200));
    colours.setColor(QPalette::Text, QColor(10, 10, 80));
    setPalette(colours);

    createRowMenu();
    connect(qApp, &QApplication::focusChanged, this, &CTableView::onFocusChanged);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &CTableView::sortByHeader);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &CTableView::onScrolled);
    connect(m_model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &first, const QModelIndex &last) {
                if (first.column() <= UploadRecord::CellStatus && last.column() >= UploadRecord::CellStatus) {
                    followActiveRow();
                }
            });
    // Selecting the row being sent asks the view to keep it in sight again.
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                const int active = m_model->activeRow();
                if (active >= 0 && current.isValid() && m_proxy->mapToSource(current).row() == active) {
                    m_following = true;
                }
            });
}

QModelIndex CTableView::shown(int tableRow, int column) const {
    return m_proxy->mapFromSource(m_model->index(tableRow, column));
}

QList<int> CTableView::selectedRows() const {
    QList<int> rows;
    for (const QModelIndex &index : selectionModel()->selectedRows()) {
        rows.append(m_proxy->mapToSource(index).row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CTableView::followMovedRow(int row, int neighbour) {
    // Qt's selection moved with the rows; only the neighbour's flag is the move's to clear.
    if (const QModelIndex other = shown(neighbour); other.isValid()) {
        selectionModel()->select(other, QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    }
    if (const QModelIndex moved = shown(row); moved.isValid()) {
        selectionModel()->setCurrentIndex(moved, QItemSelectionModel::NoUpdate);
        scrollTo(moved);
    }
}

bool CTableView::isSorted() const {
    return m_proxy->isSorted();
}

void CTableView::sortByHeader(int column) {
    if (column < 0 || column >= CTableViewModel::kProgressColumn) {
        // Keeps the indicator where the sort is.
        horizontalHeader()->setSortIndicator(m_proxy->sortColumn(), m_proxy->sortOrder());
        return;
    }
    if (m_proxy->sortColumn() != column) {
        m_proxy->sort(column, Qt::AscendingOrder);
    } else if (m_proxy->sortOrder() == Qt::AscendingOrder) {
        m_proxy->sort(column, Qt::DescendingOrder);
    } else {
        showSendOrder();
        return;
    }
    horizontalHeader()->setSortIndicatorShown(true);
    horizontalHeader()->setSortIndicator(column, m_proxy->sortOrder());
    emit sortChanged(true);
}

void CTableView::showSendOrder() {
    const bool wasSorted = isSorted();
    m_proxy->sort(-1);
    horizontalHeader()->setSortIndicatorShown(false);
    horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    if (wasSorted) {
        emit sortChanged(false);
    }
}

void CTableView::showProgress(const QString &text) {
    m_model->setProgressText(text);
}

bool CTableView::activeRowInSight() const {
    const QModelIndex active = shown(m_model->activeRow());
    if (!active.isValid()) {
        return false;
    }
    const QRect rect = visualRect(active);
    return rect.isValid() && viewport()->rect().intersects(rect);
}

void CTableView::followActiveRow() {
    const QModelIndex active = shown(m_model->activeRow());
    if (!m_following || !active.isValid()) {
        return;
    }
    m_scrollingItself = true;
    executeDelayedItemsLayout(); // rows just queued have their place before the view scrolls to one
    scrollTo(active, QAbstractItemView::EnsureVisible);
    m_scrollingItself = false;
}

// Whether the operator scrolled the row being sent out of sight, or back into it. Between two files,
// with no row being sent, it stays as it was.
void CTableView::onScrolled() {
    if (m_scrollingItself || !shown(m_model->activeRow()).isValid()) {
        return;
    }
    m_following = activeRowInSight();
}

void CTableView::createRowMenu() {
    m_rowMenu = new QMenu(this);
    m_rowMenu->setObjectName(QStringLiteral("queueRowMenu"));
    m_rowMenu->setAccessibleName(QStringLiteral("上传记录操作菜单"));
    const auto add = [this](const char *name, const QString &text, auto signal) {
        QAction *action = m_rowMenu->addAction(text);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, [this, signal] { (this->*signal)(); });
        return action;
    };
    add("retryRowAction", QStringLiteral("立即重试(&N)"), &CTableView::retryRequested);
    add("deleteRowAction", QStringLiteral("删除记录(&R)"), &CTableView::deleteRequested);
    m_rowMenu->addSeparator();
    const auto addForRow = [this](const char *name, const QString &text, void (CTableView::*signal)(int)) {
        QAction *action = m_rowMenu->addAction(text);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, [this, signal] { emit(this->*signal)(m_menuRow); });
    };
    addForRow("copyShaAction", QStringLiteral("复制 SHA-256(&C)"), &CTableView::copyShaRequested);
    addForRow("historyRowAction", QStringLiteral("在历史记录中查看(&H)"), &CTableView::historyRequested);
    addForRow("openFolderAction", QStringLiteral("打开所在文件夹(&O)"), &CTableView::openFolderRequested);
}

// The row under the point becomes the selection unless it is part of it already, as in file managers;
// the menu then acts on the selection (retry, delete) or on that row.
void CTableView::showRowMenu(const QPoint &viewportPoint) {
    const QModelIndex at = indexAt(viewportPoint);
    if (!at.isValid()) {
        return;
    }
    if (!selectionModel()->isRowSelected(at.row(), QModelIndex())) {
        selectionModel()->setCurrentIndex(at,
                                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    m_menuRow = m_proxy->mapToSource(at).row();
    const RowActions allowed = m_judgeRow ? m_judgeRow(m_menuRow) : RowActions{};
    const std::pair<const char *, bool> states[] = {
        {"retryRowAction", allowed.retry},    {"deleteRowAction", allowed.remove},
        {"copyShaAction", allowed.copySha},   {"historyRowAction", allowed.history},
        {"openFolderAction", allowed.folder},
    };
    for (const auto &[name, enabled] : states) {
        m_rowMenu->findChild<QAction *>(QLatin1String(name))->setEnabled(enabled);
    }
    m_rowMenu->popup(viewport()->mapToGlobal(viewportPoint));
}

void CTableView::contextMenuEvent(QContextMenuEvent *event) {
    QPoint point = event->pos(); // a mouse's reaches the view through its viewport, in its coordinates
    if (event->reason() == QContextMenuEvent::Keyboard && currentIndex().isValid()) {
        point = visualRect(currentIndex()).center(); // the menu key opens it on the current row
    }
    showRowMenu(point);
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
