#include "gui/views/CContentView.h"

#include "core/common/Notice.h"
#include "core/config/SettingsRecord.h"
#include "gui/widgets/OperatorMessages.h"

#include <QApplication>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>

CContentView::CContentView(const SettingsRecord &settings, QWidget *parent)
    : QTableWidget(parent), m_settings(settings) {
    setObjectName(QStringLiteral("contentView"));
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    connect(this, &QAbstractItemView::doubleClicked, this, &CContentView::onDoubleClicked);
    connect(&m_watch, &TransitWatch::rescanDue, this, &CContentView::rescan);
}

void CContentView::OnInitialUpdate() {
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setShowGrid(true);
    setWordWrap(false);
    verticalHeader()->hide();
    QPalette colours = palette();
    colours.setColor(QPalette::Base, QColor(200, 200, 200));
    colours.setColor(QPalette::Text, QColor(10, 10, 80));
    setPalette(colours);

    setColumnCount(3);
    setHorizontalHeaderLabels({QStringLiteral("中转子目录  (双击切换当前目录)"), QStringLiteral("文件数量"),
                               QStringLiteral("状态")});
    horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    horizontalHeader()->setStretchLastSection(false);
    const int widths[] = {260, 80, 80};
    for (int column = 0; column < 3; ++column) {
        setColumnWidth(column, widths[column]);
    }
    refreshFolderList();
}

void CContentView::refreshFolderList() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    refresh(TransitFolderList::Keep::Position);
    QApplication::restoreOverrideCursor();
}

void CContentView::rescan() {
    refresh(TransitFolderList::Keep::Name);
}

void CContentView::refresh(TransitFolderList::Keep keep) {
    const int scrolled = verticalScrollBar()->value();
    const bool madeCurrent = m_list.refreshFolderList(m_settings.transitFolder, m_mapping, keep);
    showRows();
    verticalScrollBar()->setValue(scrolled);
    if (madeCurrent) {
        setCurrentItem(m_list.currentItem());
    } else {
        m_watch.watch(m_settings.transitFolder, QString());
    }
}

bool CContentView::setCurrentItem(int row) {
    if (!m_list.setCurrentItem(row)) {
        return false;
    }
    showRows();
    m_watch.watch(m_settings.transitFolder, m_list.currentDir());
    emit currentDirChanged(m_list.currentDir());
    return true;
}

void CContentView::showRows() {
    const auto &rows = m_list.rows();
    setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        QStringList marks;
        if (!rows[r].mark.isEmpty()) {
            marks << rows[r].mark;
        }
        if (const auto automatic = m_automatic.constFind(rows[r].name); automatic != m_automatic.cend()) {
            marks << (*automatic > 0 ? QStringLiteral("自动，%1 个等待稳定").arg(*automatic)
                                     : QStringLiteral("自动"));
        }
        const QString name =
            marks.isEmpty() ? rows[r].name : QStringLiteral("%1（%2）").arg(rows[r].name, marks.join(u'，'));
        const QString texts[] = {name, QString::number(rows[r].fileCount), rows[r].status};
        for (int column = 0; column < 3; ++column) {
            QTableWidgetItem *cell = item(r, column);
            if (!cell) {
                cell = new QTableWidgetItem;
                cell->setTextAlignment(Qt::AlignCenter);
                setItem(r, column, cell);
            }
            cell->setText(texts[column]);
        }
        // The whole name as tooltip, since the column may cut it short, and what the mark means.
        item(r, 0)->setToolTip(rows[r].mark.isEmpty() ? rows[r].name : rows[r].markTip);
        item(r, 0)->setForeground(rows[r].mark.isEmpty() ? palette().color(QPalette::Text)
                                                         : QColor(150, 0, 0));
    }
}

void CContentView::setAutomatic(const QHash<QString, int> &waiting) {
    if (waiting != m_automatic) {
        m_automatic = waiting;
        showRows();
    }
}

void CContentView::onDoubleClicked(const QModelIndex &index) {
    if (index.isValid() && index.row() >= 0) {
        setCurrentItem(index.row());
    }
}

void CContentView::setHint(const QString &text) {
    m_hint = text;
    viewport()->update();
}

void CContentView::paintEvent(QPaintEvent *event) {
    QTableWidget::paintEvent(event);
    if (m_hint.isEmpty() || rowCount() > 0) {
        return;
    }
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(viewport()->rect().adjusted(16, 16, -16, -16), Qt::AlignCenter | Qt::TextWordWrap,
                     m_hint);
}

void CContentView::dragEnterEvent(QDragEnterEvent *event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void CContentView::dragMoveEvent(QDragMoveEvent *event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

// Only the current subfolder takes files, as only its files are shown: a drop elsewhere would put files
// where the operator does not look.
void CContentView::dropEvent(QDropEvent *event) {
    if (!event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    const int row = indexAt(event->position().toPoint()).row();
    if (row >= 0 && row == m_list.currentItem() && !m_list.currentDir().isEmpty()) {
        emit filesDropped(event->mimeData()->urls());
        return;
    }
    OperatorMessages::show(
        this, Notice{NoticeCaption::kHint,
                     row >= 0 && row < m_list.rows().size()
                         ? QStringLiteral(
                               "子文件夹“%1”不是当前目录，未复制：请先双击它使其成为当前目录，再拖放文件。")
                               .arg(m_list.rows()[row].name)
                         : QStringLiteral("没有拖放到子文件夹上，未复制：请拖放到当前目录的文件列表中。")});
}
