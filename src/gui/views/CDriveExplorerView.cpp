#include "gui/views/CDriveExplorerView.h"

#include "core/common/Notice.h"
#include "core/config/SettingsRecord.h"
#include "gui/widgets/OperatorMessages.h"

#include <QApplication>
#include <QDropEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QProgressDialog>
#include <QResizeEvent>
#include <QScrollBar>
#include <QToolTip>

CDriveExplorerView::CDriveExplorerView(const SettingsRecord &settings, QWidget *parent)
    : QTableWidget(parent), m_settings(settings) {
    setObjectName(QStringLiteral("driveExplorerView"));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setShowGrid(false);
    setWordWrap(false);
    verticalHeader()->hide();
    setIconSize(QSize(16, 16));
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    connect(this, &QAbstractItemView::doubleClicked, this, &CDriveExplorerView::onDoubleClicked);
    connect(&m_drop, &TransitDropJob::finished, this, &CDriveExplorerView::onDropFinished);
}

void CDriveExplorerView::OnInitialUpdate() {
    setColumnCount(3);
    setHorizontalHeaderLabels(
        {QStringLiteral("名称(双击添加单个文件)"), QStringLiteral("类型"), QStringLiteral("大小(KB)")});
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setStretchLastSection(false);
    fitColumns(viewport()->width());
    fillFileList();
}

void CDriveExplorerView::showFolder(const QString &name) {
    m_folder = name;
    fillFileList();
}

bool CDriveExplorerView::fillFileList() {
    const QString before = m_list.folder();
    const QList<FileList::Row> shown = m_list.rows();
    const bool otherFolder = FileList::folderFor(m_settings.transitFolder, m_folder) != before;
    if (otherFolder) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    const bool filled = m_list.fillFileList(m_settings.transitFolder, m_folder, m_filter);
    // A rescan that finds what is shown changes nothing: no flicker, no lost place.
    if (filled && (otherFolder || m_list.rows() != shown || rowCount() != shown.size())) {
        showRows();
    }
    if (otherFolder) {
        QApplication::restoreOverrideCursor();
    }
    return filled;
}

void CDriveExplorerView::showRows() {
    const auto &rows = m_list.rows();
    // The place the operator had in this folder: the selected names, the current one, the scroll.
    QStringList selected;
    for (const QModelIndex &index : selectionModel()->selectedRows()) {
        selected << item(index.row(), 0)->text();
    }
    const QString current = currentItem() ? item(currentRow(), 0)->text() : QString();
    const int scrolled = verticalScrollBar()->value();

    const QColor greyed = palette().color(QPalette::Disabled, QPalette::Text);
    setRowCount(0);
    setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        const FileList::Row &row = rows[r];
        QTableWidgetItem *const cells[] = {
            new QTableWidgetItem(m_systemImageList.getFileIcon(row.path), row.name),
            new QTableWidgetItem(row.typeName), new QTableWidgetItem(row.sizeText)};
        QStringList sizeTip{row.refusal, row.sizeTip};
        sizeTip.removeAll(QString());
        cells[2]->setToolTip(sizeTip.join(QLatin1Char('\n')));
        for (int column = 0; column < 3; ++column) {
            // What is not queued stays listed, greyed, with the reason; a double-click says it again.
            if (!row.refusal.isEmpty()) {
                cells[column]->setForeground(greyed);
                if (column < 2) {
                    cells[column]->setToolTip(row.refusal);
                }
            }
            setItem(r, column, cells[column]);
        }
        if (selected.contains(row.name)) {
            selectionModel()->select(model()->index(r, 0),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        if (row.name == current) {
            selectionModel()->setCurrentIndex(model()->index(r, 0), QItemSelectionModel::NoUpdate);
        }
    }
    verticalScrollBar()->setValue(scrolled);
}

void CDriveExplorerView::resizeEvent(QResizeEvent *event) {
    QTableWidget::resizeEvent(event);
    fitColumns(viewport()->width());
}

void CDriveExplorerView::keyPressEvent(QKeyEvent *event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        event->modifiers() == Qt::NoModifier) {
        onDoubleClicked(currentIndex());
        return;
    }
    QTableWidget::keyPressEvent(event);
}

// A name cut short by its column gets the whole name as tooltip (a greyed one has its reason, which
// names it).
bool CDriveExplorerView::viewportEvent(QEvent *event) {
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex index = indexAt(help->pos());
        const QTableWidgetItem *cell = itemFromIndex(index);
        if (cell && index.column() == 0 && cell->toolTip().isEmpty()) {
            QStyleOptionViewItem option;
            initViewItemOption(&option);
            option.rect = visualRect(index);
            if (itemDelegate()->sizeHint(option, index).width() > columnWidth(0)) {
                QToolTip::showText(help->globalPos(), cell->text(), viewport(), option.rect);
                return true;
            }
        }
    }
    return QTableWidget::viewportEvent(event);
}

void CDriveExplorerView::dragEnterEvent(QDragEnterEvent *event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void CDriveExplorerView::dragMoveEvent(QDragMoveEvent *event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void CDriveExplorerView::dropEvent(QDropEvent *event) {
    if (!event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    // A copy, whatever the file manager proposed: the dropped files stay where they are.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    copyDropped(event->mimeData()->urls());
}

void CDriveExplorerView::copyDropped(const QList<QUrl> &urls) {
    if (m_folder.isEmpty()) {
        OperatorMessages::show(this, Notice{NoticeCaption::kHint,
                                            QStringLiteral("没有当前子文件夹，未复制：请先在中转子目录列表中"
                                                           "双击选中一个子文件夹，再拖放文件。")});
        return;
    }
    if (!m_drop.start(urls, FileList::folderFor(m_settings.transitFolder, m_folder))) {
        OperatorMessages::show(
            this,
            Notice{NoticeCaption::kHint, QStringLiteral("上一次拖放的文件还在复制，未复制：请稍候再拖放。")});
        return;
    }
    // Shown only for a copy that lasts; its button cancels what is not yet in place.
    m_dropProgress =
        new QProgressDialog(QStringLiteral("正在复制拖放的文件…"), QStringLiteral("取消"), 0, 1000, this);
    m_dropProgress->setObjectName(QStringLiteral("dropProgress"));
    m_dropProgress->setAccessibleName(QStringLiteral("拖放文件的复制进度"));
    m_dropProgress->setWindowTitle(OperatorMessages::applicationName());
    m_dropProgress->setMinimumDuration(500);
    m_dropProgress->setValue(0);
    connect(m_dropProgress, &QProgressDialog::canceled, &m_drop, &TransitDropJob::cancel);
    connect(&m_drop, &TransitDropJob::progress, m_dropProgress, [this](qint64 done, qint64 total) {
        m_dropProgress->setValue(total > 0 ? static_cast<int>(done * 1000 / total) : 0);
    });
}

void CDriveExplorerView::onDropFinished() {
    delete m_dropProgress;
    m_dropProgress = nullptr;
    const TransitDrop::Result &result = m_drop.result();
    const QString summary = TransitDrop::summary(result);
    fillFileList();
    emit dropCopied(summary);
    // What did not arrive is for the operator to decide on: named in a box, not only in passing.
    if (!result.notCopied.isEmpty()) {
        OperatorMessages::show(this, Notice{NoticeCaption::kHint, summary});
    }
}

void CDriveExplorerView::fitColumns(int width) {
    if (columnCount() != 3) {
        return;
    }
    setColumnWidth(0, width / 2);
    setColumnWidth(1, width / 4);
    setColumnWidth(2, width / 4);
}

void CDriveExplorerView::onDoubleClicked(const QModelIndex &index) {
    if (!index.isValid() || !m_queueingAllowed) {
        return;
    }
    const QTableWidgetItem *name = item(index.row(), 0);
    if (name) {
        emit fileActivated(name->text());
    }
    fillFileList();
}
