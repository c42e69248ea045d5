#pragma once

#include "core/browse/FileList.h"
#include "gui/views/CSystemImageList.h"

#include <QTableWidget>

struct SettingsRecord;

// The files of the current transit subfolder, each with the platform's icon, its type name and its
// size in KB; a link, a pipe or a name that is not UTF-8 is greyed, with the reason as its tooltip. A
// double-click, or Enter on the current file, hands the file to the queue while queueing is allowed (no
// upload runs).
class CDriveExplorerView : public QTableWidget {
    Q_OBJECT
public:
    explicit CDriveExplorerView(const SettingsRecord &settings, QWidget *parent = nullptr);

    void OnInitialUpdate();

    // Shows the files of the transit subfolder name from now on.
    void showFolder(const QString &name);

    // Rebuilds the rows for the subfolder shown; false (rows kept) when it cannot be listed.
    bool fillFileList();

    // Whether a double-click queues a file; off while uploading.
    void setQueueingAllowed(bool allowed) { m_queueingAllowed = allowed; }

signals:
    // A file was double-clicked while queueing is allowed.
    void fileActivated(const QString &name);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void onDoubleClicked(const QModelIndex &index);
    void fitColumns(int width);

    const SettingsRecord &m_settings;
    QString m_folder;
    bool m_queueingAllowed = true;
    CSystemImageList m_systemImageList;
    FileList m_list;
};
