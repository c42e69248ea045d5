#pragma once

#include "core/browse/TransitFolderList.h"

#include <QTableWidget>

class CBrelvantisDoc;
struct SettingsRecord;

// The transit folder list: one row per subfolder with its file count, the current one marked.
// A double-click makes a row current (also while uploading).
class CContentView : public QTableWidget {
    Q_OBJECT
public:
    CContentView(const SettingsRecord &cfg, CBrelvantisDoc &doc, QWidget *parent = nullptr);

    // First showing: registers with the document, sets up the columns and fills the list.
    void OnInitialUpdate();

    // Rebuilds the rows from the transit folder and re-establishes the current row.
    void RefreshFolderList();

    // Makes row current, announces the new current name and has the file list refilled.
    bool SetCurrentItem(int row);

    static int CountFiles(const QString &folder) { return TransitFolderList::CountFiles(folder); }

    int currentItem() const { return m_list.currentItem(); }
    const QString &currentDir() const { return m_list.currentDir(); }

signals:
    // Emitted before the file list is refilled, so the frame's copy of the name is current by then.
    void currentDirChanged(const QString &name);

private:
    void showRows();
    void onDoubleClicked(const QModelIndex &index);

    const SettingsRecord &m_cfg;
    CBrelvantisDoc &m_doc;
    TransitFolderList m_list;
};
