#include "gui/dialogs/CInnerPathDlg.h"

#include "core/browse/FolderScan.h"
#include "gui/widgets/DialogUnits.h"
#include "gui/widgets/OperatorMessages.h"

#include <QApplication>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>

CInnerPathDlg::CInnerPathDlg(const QString &transitFolder, const InnerPathMapping &mapping,
                             const QStringList &automaticFolders, QWidget *parent)
    : QDialog(parent), m_mapping(mapping), m_transitFolder(transitFolder),
      m_automaticFolders(automaticFolders) {
    setObjectName(QStringLiteral("innerPathDialog"));
    setWindowTitle(QStringLiteral("内网路径设置"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    createControls();
    setUpList();
    fillRows();
    loadMapping();
    // Modify acts on row 0 until another row is chosen; show it so the operator can see which row that is.
    if (m_list->rowCount() > 0) {
        const QSignalBlocker quiet(m_list);
        m_list->setCurrentCell(0, ColumnFolder);
    }
}

void CInnerPathDlg::createControls() {
    const DialogUnits du(font());
    setFixedSize(du.x(291), du.y(233));

    auto *ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    ok->setGeometry(du.rect(53, 212, 50, 14));
    connect(ok, &QPushButton::clicked, this, &CInnerPathDlg::onOk);

    auto *cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setGeometry(du.rect(180, 212, 50, 14));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    m_list = new QTableWidget(this);
    m_list->setObjectName(QStringLiteral("mappingList"));
    m_list->setAccessibleName(QStringLiteral("中转子目录的内网IP和内网路径"));
    m_list->setGeometry(du.rect(7, 75, 277, 133));

    m_innerPathEdit = new QLineEdit(this);
    m_innerPathEdit->setObjectName(QStringLiteral("innerPathEdit"));
    m_innerPathEdit->setGeometry(du.rect(172, 34, 106, 14));
    m_innerPathEdit->setPlaceholderText(QStringLiteral("d://广告"));
    m_innerPathEdit->setToolTip(QStringLiteral("例如 d://广告、e:/资料/技术；不能使用c:盘"));

    auto *pathLabel = new QLabel(QStringLiteral("内网路径(填写格式 d://广告 ,不能使用c:盘)"), this);
    pathLabel->setObjectName(QStringLiteral("innerPathLabel"));
    pathLabel->setGeometry(du.rect(9, 35, 163, 14));
    pathLabel->setBuddy(m_innerPathEdit);

    auto *modify = new QPushButton(QStringLiteral("修改"), this);
    modify->setObjectName(QStringLiteral("modifyButton"));
    modify->setGeometry(du.rect(119, 54, 53, 15));
    connect(modify, &QPushButton::clicked, this, &CInnerPathDlg::onModify);

    auto *addressLabel = new QLabel(QStringLiteral("内网IP:端口(填写格式  192.168.1.1:4321)"), this);
    addressLabel->setObjectName(QStringLiteral("innerAddressLabel"));
    addressLabel->setGeometry(du.rect(10, 14, 182, 13));

    m_innerAddressEdit = new QLineEdit(this);
    m_innerAddressEdit->setObjectName(QStringLiteral("innerAddressEdit"));
    m_innerAddressEdit->setMaxLength(kInnerAddressMaxLength);
    m_innerAddressEdit->setGeometry(du.rect(172, 11, 106, 14));
    m_innerAddressEdit->setPlaceholderText(QStringLiteral("192.168.1.1:4321"));
    m_innerAddressEdit->setToolTip(QStringLiteral("内网机器的IPv4地址和端口，例如 192.168.1.1:4321"));
    addressLabel->setBuddy(m_innerAddressEdit);
}

void CInnerPathDlg::setUpList() {
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setShowGrid(true);
    m_list->setWordWrap(false);
    m_list->verticalHeader()->hide();
    m_list->horizontalHeader()->setStretchLastSection(false);
    // Compact rows, as a report list has them.
    const int rowHeight = m_list->fontMetrics().height() + 6;
    m_list->verticalHeader()->setMinimumSectionSize(rowHeight);
    m_list->verticalHeader()->setDefaultSectionSize(rowHeight);

    QPalette colours = m_list->palette();
    colours.setColor(QPalette::Base, QColor(200, 200, 200));
    colours.setColor(QPalette::Text, QColor(10, 10, 80));
    // The chosen row stays marked while the operator types into the edits.
    for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
        colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
    }
    m_list->setPalette(colours);
    // Styles derive the grid from the window colour, which on this grey background all but vanishes.
    m_list->setStyleSheet(QStringLiteral("QTableWidget { gridline-color: rgb(150, 150, 150); }"));

    m_list->setColumnCount(4);
    m_list->setHorizontalHeaderLabels({QStringLiteral("本地文件夹"), QStringLiteral("内网IP"),
                                       QStringLiteral("内网路径"), QStringLiteral("自动上传")});
    const int clientWidth = m_list->width() - 2 * m_list->frameWidth();
    const double shares[] = {0.22, 0.3, 0.33, 0.15};
    for (int column = 0; column < 4; ++column) {
        m_list->setColumnWidth(column, static_cast<int>(clientWidth * shares[column]));
    }

    // A click, or moving the marked row with the keyboard, chooses the row Modify acts on.
    connect(m_list, &QTableWidget::cellClicked, this, [this](int row, int) { onRowChosen(row); });
    connect(m_list, &QTableWidget::currentCellChanged, this,
            [this](int row, int, int, int) { onRowChosen(row); });
}

void CInnerPathDlg::fillRows() {
    if (m_transitFolder.isEmpty()) {
        return;
    }
    QList<FolderScan::Entry> folders;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    FolderScan::subfolders(m_transitFolder, &folders);
    m_list->setRowCount(folders.size());
    for (int row = 0; row < folders.size(); ++row) {
        m_list->setItem(row, ColumnFolder, new QTableWidgetItem(folders[row].name));
        m_list->setItem(row, ColumnAddress, new QTableWidgetItem());
        m_list->setItem(row, ColumnPath, new QTableWidgetItem());
        auto *automatic = new QTableWidgetItem();
        automatic->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        automatic->setCheckState(m_automaticFolders.contains(folders[row].name) ? Qt::Checked
                                                                                : Qt::Unchecked);
        m_list->setItem(row, ColumnAutomatic, automatic);
    }
    QApplication::restoreOverrideCursor();
}

void CInnerPathDlg::loadMapping() {
    QString text;
    bool complete = true;
    if (!m_mapping.readText(&text, &complete)) {
        if (QFileInfo::exists(m_mapping.filePath())) {
            m_unsafeToSave = QStringLiteral("无法读取内网路径配置文件 %1，为免覆盖其中的记录，修改未保存。")
                                 .arg(m_mapping.filePath());
        }
        return;
    }
    if (!complete) {
        m_unsafeToSave = QStringLiteral("内网路径配置文件 %1 大于 1 MB，只读入了前 1 MB；"
                                        "为免丢失其余记录，修改未保存。")
                             .arg(m_mapping.filePath());
    }
    for (int row = 0; row < m_list->rowCount(); ++row) {
        const InnerPathMapping::Lookup found =
            InnerPathMapping::find(text, m_list->item(row, ColumnFolder)->text());
        if (found.pathFound) {
            m_list->item(row, ColumnPath)->setText(found.innerPath);
        }
        if (found.addressFound) {
            m_list->item(row, ColumnAddress)->setText(found.innerAddress);
        }
    }
}

void CInnerPathDlg::onRowChosen(int row) {
    if (row < 0 || row >= m_list->rowCount()) {
        return;
    }
    m_selectedRow = row;
    // The edits show the chosen row as it is, empty where it has no mapping yet: values of another
    // row are never left standing, ready to be given to the wrong folder.
    m_innerPathEdit->setText(m_list->item(row, ColumnPath)->text());
    m_innerAddressEdit->setText(m_list->item(row, ColumnAddress)->text());
}

void CInnerPathDlg::onModify() {
    if (m_selectedRow < 0 || m_selectedRow >= m_list->rowCount()) {
        OperatorMessages::show(
            this, Notice{NoticeCaption::kHint, QStringLiteral("中转目录下没有子文件夹可以设置。")});
        return;
    }
    const QString innerPath = m_innerPathEdit->text().trimmed();
    const QString innerAddress = m_innerAddressEdit->text().trimmed();
    // An empty inner address is a record the mapping file and the queue accept as they always have.
    const QString addressProblem =
        innerAddress.isEmpty() ? QString() : InnerPathMapping::innerAddressProblem(innerAddress);
    for (const auto &[problem, edit] :
         {std::pair(addressProblem, m_innerAddressEdit),
          std::pair(InnerPathMapping::innerPathProblem(innerPath), m_innerPathEdit)}) {
        if (!problem.isEmpty()) {
            OperatorMessages::show(this, Notice{NoticeCaption::kError, problem});
            edit->setFocus();
            edit->selectAll();
            return;
        }
    }
    m_list->item(m_selectedRow, ColumnAddress)->setText(innerAddress);
    m_list->item(m_selectedRow, ColumnPath)->setText(innerPath);
}

void CInnerPathDlg::onOk() {
    if (!m_unsafeToSave.isEmpty()) {
        OperatorMessages::show(this, Notice{NoticeCaption::kError, m_unsafeToSave});
        return;
    }
    for (int row = 0; row < m_list->rowCount(); ++row) {
        if (m_list->item(row, ColumnAutomatic)->checkState() == Qt::Checked &&
            m_list->item(row, ColumnPath)->text().isEmpty()) {
            OperatorMessages::show(
                this, Notice{NoticeCaption::kError, QStringLiteral("“%1”尚未设置内网路径，不能自动上传。")
                                                        .arg(m_list->item(row, ColumnFolder)->text())});
            m_list->setCurrentCell(row, ColumnFolder);
            return;
        }
    }
    const Notice notice = m_mapping.write(rows());
    if (!notice.isEmpty()) {
        OperatorMessages::show(this, notice);
        return;
    }
    accept();
}

QList<InnerPathMapping::Row> CInnerPathDlg::rows() const {
    QList<InnerPathMapping::Row> rows;
    for (int row = 0; row < m_list->rowCount(); ++row) {
        rows.append({m_list->item(row, ColumnFolder)->text(), m_list->item(row, ColumnAddress)->text(),
                     m_list->item(row, ColumnPath)->text()});
    }
    return rows;
}

QStringList CInnerPathDlg::automaticFolders() const {
    QStringList folders;
    QStringList listed;
    for (int row = 0; row < m_list->rowCount(); ++row) {
        listed << m_list->item(row, ColumnFolder)->text();
        if (m_list->item(row, ColumnAutomatic)->checkState() == Qt::Checked) {
            folders << listed.back();
        }
    }
    for (const QString &folder : m_automaticFolders) {
        if (!listed.contains(folder)) {
            folders << folder;
        }
    }
    return folders;
}
