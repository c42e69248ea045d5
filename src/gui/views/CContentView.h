#pragma once

#include "core/browse/TransitFolderList.h"

#include <QTableWidget>

struct SettingsRecord;

// The transit folder list: one row per subfolder with its file count, the current one marked.
// A double-click makes a row current (also while uploading). The list holds the station's current
// transit subfolder; currentDirChanged() tells the file list which folder to show.
class CContentView : public QTableWidget {
    Q_OBJECT
public:
    explicit CContentView(const SettingsRecord &settings, QWidget *parent = nullptr);

    // First showing: sets up the columns and fills the list.
    void OnInitialUpdate();

    // Rebuilds the rows from the transit folder and re-establishes the current row.
    void refreshFolderList();

    // Makes row current and announces the new current name.
    bool setCurrentItem(int row);

    // A text shown across the empty list (empty: none), such as how to set the station up.
    void setHint(const QString &text);
    const QString &hint() const { return m_hint; }

    int currentItem() const { return m_list.currentItem(); }
    const QString &currentDir() const { return m_list.currentDir(); }

signals:
    void currentDirChanged(const QString &name);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void showRows();
    void onDoubleClicked(const QModelIndex &index);

    const SettingsRecord &m_settings;
    TransitFolderList m_list;
    QString m_hint;
};
