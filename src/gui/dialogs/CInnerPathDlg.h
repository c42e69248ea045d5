#pragma once

#include "core/config/InnerPathMapping.h"

#include <QDialog>
#include <QList>
#include <QString>

class QLineEdit;
class QTableWidget;

// "内网路径设置": one row per subfolder of the transit folder with the inner address and inner path
// its files go to. The operator picks a row, fills the two edits and presses "修改"; OK writes the
// whole mapping file from the rows, Cancel writes nothing.
class CInnerPathDlg : public QDialog {
    Q_OBJECT
public:
    // The inner address is IP:port, which never needs more.
    static constexpr int kInnerAddressMaxLength = 22;

    CInnerPathDlg(const QString &transitFolder, const InnerPathMapping &mapping, QWidget *parent = nullptr);

private:
    enum Column { ColumnFolder, ColumnAddress, ColumnPath };

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
    int m_selectedRow = 0;
    // What stands in the file beyond what could be read, or a file that could not be read at all:
    // writing the rows back would drop those records, so OK refuses instead.
    QString m_unsafeToSave;

    QTableWidget *m_list = nullptr;
    QLineEdit *m_innerPathEdit = nullptr;
    QLineEdit *m_innerAddressEdit = nullptr;
};
