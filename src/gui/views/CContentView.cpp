#include "gui/views/CContentView.h"

#include "app/CBrelvantisDoc.h"
#include "gui/views/CDriveExplorerView.h"
#include "core/config/SettingsRecord.h"

#include <QApplication>
#include <QHeaderView>

CContentView::CContentView(const SettingsRecord &cfg, CBrelvantisDoc &doc, QWidget *parent)
    : QTableWidget(parent), m_cfg(cfg), m_doc(doc) {
    setObjectName(QStringLiteral("contentView"));
    connect(this, &QAbstractItemView::doubleClicked, this, &CContentView::onDoubleClicked);
}

void CContentView::OnInitialUpdate() {
    m_doc.m_pContentView = this;
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
    RefreshFolderList();
}

void CContentView::RefreshFolderList() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool madeCurrent = m_list.RefreshFolderList(m_cfg.transitFolder);
    showRows();
    QApplication::restoreOverrideCursor();
    if (madeCurrent) {
        SetCurrentItem(m_list.currentItem());
    }
}

bool CContentView::SetCurrentItem(int row) {
    if (!m_list.SetCurrentItem(row)) {
        return false;
    }
    showRows();
    emit currentDirChanged(m_list.currentDir());
    if (m_doc.m_pDriveExplorerView) {
        m_doc.m_pDriveExplorerView->FillFileList();
    }
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
        SetCurrentItem(index.row());
    }
}
