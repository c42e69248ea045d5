#pragma once

#include "gui/views/CSystemImageList.h"
#include "core/browse/FileList.h"

#include <QTableWidget>

class CBrelvantisDoc;
struct SettingsRecord;

// The files of the current transit subfolder, each with the platform's icon, its type name and its
// size in KB. A double-click hands the file to the queue while no upload runs.
class CDriveExplorerView : public QTableWidget {
    Q_OBJECT
public:
    // currentDir and uploadStopped are the frame's members, read when the view acts.
    CDriveExplorerView(const SettingsRecord &cfg, const QString &currentDir, const bool &uploadStopped,
                       CBrelvantisDoc &doc, QWidget *parent = nullptr);

    void OnInitialUpdate();

    // Rebuilds the rows for the current subfolder; false (rows kept) when it cannot be listed.
    bool FillFileList();

    static QString GetFileTypeName(const QString &name);

signals:
    // A file was double-clicked while uploading is switched off.
    void fileActivated(const QString &name);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void onDoubleClicked(const QModelIndex &index);
    void fitColumns(int width);

    const SettingsRecord &m_cfg;
    const QString &m_currentDir;
    const bool &m_uploadStopped;
    CBrelvantisDoc &m_doc;
    CSystemImageList m_sysImageList;
    FileList m_list;
};
