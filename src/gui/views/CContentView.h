#pragma once

#include "core/browse/TransitFolderList.h"
#include "core/browse/TransitWatch.h"

#include <QHash>
#include <QTableWidget>
#include <QUrl>

class InnerPathMapping;
struct SettingsRecord;

// The transit folder list: one row per subfolder with its file count, the current one marked, and
// beside the name why a subfolder's files cannot be queued (未配置内网路径 …). A double-click makes a row
// current (also while uploading). The list holds the station's current transit subfolder;
// currentDirChanged() tells the file list which folder to show. It keeps itself current (TransitWatch):
// a change on disk lists it again, the current subfolder kept by name, and the file list with it.
// Files dropped on the current row are handed on (filesDropped); on any other place they are refused.
class CContentView : public QTableWidget {
    Q_OBJECT
public:
    explicit CContentView(const SettingsRecord &settings, QWidget *parent = nullptr);

    // First showing: sets up the columns and fills the list.
    void OnInitialUpdate();

    // Rebuilds the rows from the transit folder and re-establishes the current row (by position).
    void refreshFolderList();
    // The same after a change on disk: the current subfolder is kept by name while it exists.
    void rescan();

    // Makes row current and announces the new current name.
    bool setCurrentItem(int row);

    // The mapping whose missing or unusable records are marked (none while null).
    void setMapping(const InnerPathMapping *mapping) { m_mapping = mapping; }

    // The automatic subfolders, each with how many of its files wait to settle: marked in the list.
    void setAutomatic(const QHash<QString, int> &waiting);

    // A text shown across the empty list (empty: none), such as how to set the station up.
    void setHint(const QString &text);
    const QString &hint() const { return m_hint; }

    int currentItem() const { return m_list.currentItem(); }
    const QString &currentDir() const { return m_list.currentDir(); }
    TransitWatch &watch() { return m_watch; }

signals:
    void currentDirChanged(const QString &name);
    // Files were dropped on the current subfolder's row.
    void filesDropped(const QList<QUrl> &urls);

protected:
    void paintEvent(QPaintEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void refresh(TransitFolderList::Keep keep);
    void showRows();
    void onDoubleClicked(const QModelIndex &index);

    const SettingsRecord &m_settings;
    const InnerPathMapping *m_mapping = nullptr;
    TransitFolderList m_list;
    TransitWatch m_watch;
    QString m_hint;
    QHash<QString, int> m_automatic;
};
