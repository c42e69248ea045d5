#include "gui/views/CDriveExplorerView.h"

#include "core/config/SettingsRecord.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QResizeEvent>

CDriveExplorerView::CDriveExplorerView(const SettingsRecord &settings, QWidget *parent)
    : QTableWidget(parent), m_settings(settings) {
    setObjectName(QStringLiteral("driveExplorerView"));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setShowGrid(false);
    setWordWrap(false);
    verticalHeader()->hide();
    setIconSize(QSize(16, 16));
    connect(this, &QAbstractItemView::doubleClicked, this, &CDriveExplorerView::onDoubleClicked);
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
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool filled = m_list.fillFileList(m_settings.transitFolder, m_folder);
    if (filled) {
        const auto &rows = m_list.rows();
        const QColor greyed = palette().color(QPalette::Disabled, QPalette::Text);
        setRowCount(0);
        setRowCount(static_cast<int>(rows.size()));
        for (int r = 0; r < rows.size(); ++r) {
            QTableWidgetItem *const cells[] = {
                new QTableWidgetItem(m_systemImageList.getFileIcon(rows[r].path), rows[r].name),
                new QTableWidgetItem(rows[r].typeName), new QTableWidgetItem(rows[r].sizeText)};
            for (int column = 0; column < 3; ++column) {
                // What is not queued stays listed, greyed, with the reason; a double-click says it again.
                if (!rows[r].refusal.isEmpty()) {
                    cells[column]->setForeground(greyed);
                    cells[column]->setToolTip(rows[r].refusal);
                }
                setItem(r, column, cells[column]);
            }
        }
    }
    QApplication::restoreOverrideCursor();
    return filled;
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
