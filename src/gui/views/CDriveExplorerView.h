#pragma once

#include "core/browse/FileList.h"
#include "core/browse/TransitDrop.h"
#include "gui/views/CSystemImageList.h"

#include <QTableWidget>

class FileTypeFilter;
class QProgressDialog;
struct SettingsRecord;

// The files of the current transit subfolder, each with the platform's icon, its type name and its
// size ("1.9 KB", the exact bytes as tooltip); what is not queued (a link, a pipe, a name that is not
// UTF-8, a type the allow-list refuses) is greyed, with the reason as its tooltip. A double-click, or
// Enter on the current file, hands the file to the queue while queueing is allowed (no upload runs).
// Files and folders dropped from a file manager are copied into the subfolder shown (TransitDrop), on
// a thread of their own; nothing is queued.
class CDriveExplorerView : public QTableWidget {
    Q_OBJECT
public:
    explicit CDriveExplorerView(const SettingsRecord &settings, QWidget *parent = nullptr);

    void OnInitialUpdate();

    // Shows the files of the transit subfolder name from now on.
    void showFolder(const QString &name);

    // Rebuilds the rows for the subfolder shown, keeping the selection and the scroll position while
    // the folder stays the same; false (rows kept) when it cannot be listed.
    bool fillFileList();

    // Whether a double-click queues a file; off while uploading.
    void setQueueingAllowed(bool allowed) { m_queueingAllowed = allowed; }

    // The allow-list whose refusals are greyed (none while null).
    void setFilter(const FileTypeFilter *filter) { m_filter = filter; }

    // Copies what urls name into the subfolder shown; refused with a message while none is shown or a
    // copy still runs.
    void copyDropped(const QList<QUrl> &urls);
    // The copy under way, for its progress and its end.
    TransitDropJob &dropJob() { return m_drop; }

signals:
    // A file was double-clicked while queueing is allowed.
    void fileActivated(const QString &name);
    // A drop was copied: what arrived and what did not, in one line.
    void dropCopied(const QString &summary);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void onDoubleClicked(const QModelIndex &index);
    void onDropFinished();
    void fitColumns(int width);
    void showRows();

    const SettingsRecord &m_settings;
    const FileTypeFilter *m_filter = nullptr;
    QString m_folder;
    bool m_queueingAllowed = true;
    CSystemImageList m_systemImageList;
    FileList m_list;
    TransitDropJob m_drop;
    QProgressDialog *m_dropProgress = nullptr;
};
