#include "gui/views/CContentView.h"

#include "core/config/SettingsRecord.h"

#include <QApplication>
#include <QHeaderView>
#include <QPainter>

CContentView::CContentView(const SettingsRecord &settings, QWidget *parent)
    : QTableWidget(parent), m_settings(settings) {
    setObjectName(QStringLiteral("contentView"));
    connect(this, &QAbstractItemView::doubleClicked, this, &CContentView::onDoubleClicked);
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
    const bool madeCurrent = m_list.refreshFolderList(m_settings.transitFolder);
    showRows();
    QApplication::restoreOverrideCursor();
    if (madeCurrent) {
        setCurrentItem(m_list.currentItem());
    }
}

bool CContentView::setCurrentItem(int row) {
    if (!m_list.setCurrentItem(row)) {
        return false;
    }
    showRows();
    emit currentDirChanged(m_list.currentDir());
    return true;
}

void CContentView::showRows() {
    const auto &rows = m_list.rows();
    setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        const QString texts[] = {rows[r].name, QString::number(rows[r].fileCount), rows[r].status};
        for (int column = 0; column < 3; ++column) {
            QTableWidgetItem *cell = item(r, column);
            if (!cell) {
                cell = new QTableWidgetItem;
                cell->setTextAlignment(Qt::AlignCenter);
                setItem(r, column, cell);
            }
            cell->setText(texts[column]);
        }
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
