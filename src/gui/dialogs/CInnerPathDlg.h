#pragma once

#include "core/config/InnerPathMapping.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

class QLineEdit;
class QTableWidget;

// "内网路径设置": one row per subfolder of the transit folder with the inner address and inner path
// its files go to. The operator picks a row, fills the two edits and presses "修改"; OK writes the
// whole mapping file from the rows, Cancel writes nothing. The column 自动上传 marks the subfolders whose
// files queue by themselves; OK refuses one that has no inner path.
class CInnerPathDlg : public QDialog {
    Q_OBJECT
public:
    // The inner address is IP:port, which never needs more.
    static constexpr int kInnerAddressMaxLength = 22;

    CInnerPathDlg(const QString &transitFolder, const InnerPathMapping &mapping,
                  const QStringList &automaticFolders = {}, QWidget *parent = nullptr);

    // The automatic subfolders after OK: those marked, and those given that are not listed (a subfolder
    // missing for now keeps its setting).
    QStringList automaticFolders() const;

private:
    enum Column { ColumnFolder, ColumnAddress, ColumnPath, ColumnAutomatic };

    void createControls();
    void setUpList();
    void fillRows();
    void loadMapping();
    void onRowChosen(int row);
    void onModify();
    void onOk();
    QList<InnerPathMapping::Row> rows() const;

    const InnerPathMapping &m_mapping;
    QString m_transitFolder;
    QStringList m_automaticFolders;
    int m_selectedRow = 0;
    // What stands in the file beyond what could be read, or a file that could not be read at all:
    // writing the rows back would drop those records, so OK refuses instead.
    QString m_unsafeToSave;

    QTableWidget *m_list = nullptr;
    QLineEdit *m_innerPathEdit = nullptr;
    QLineEdit *m_innerAddressEdit = nullptr;
};
