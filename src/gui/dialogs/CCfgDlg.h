#pragma once

#include "core/config/SettingsRecord.h"

#include <QDialog>
#include <QList>
#include <QPixmap>
#include <QString>
#include <functional>

class InnerPathMapping;
class QLineEdit;
class SettingsStore;

// "设置": the settings dialog, editing the station's one settings record. The frame keeps one dialog
// for the whole run and shows it again and again; each showing starts from the record's values, and
// OK saves them (or refuses silently while a required folder is empty). A folder chosen with a "..."
// button goes into the record at once, even if the dialog is then cancelled.
class CCfgDlg : public QDialog {
    Q_OBJECT
public:
    // Asks the operator for a folder, starting at startFolder; an empty result means the operator
    // cancelled.
    using FolderChooser =
        std::function<QString(QWidget *parent, const QString &title, const QString &startFolder)>;

    CCfgDlg(SettingsRecord &record, const SettingsStore &store, const InnerPathMapping &mapping,
            QWidget *parent = nullptr);

    const SettingsRecord &record() const { return m_record; }

    // Replaces the platform's folder chooser (tests answer it themselves).
    void setFolderChooser(FolderChooser chooser);

    void setVisible(bool visible) override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    struct Binding {
        QLineEdit *edit;
        QString SettingsRecord::*field;
    };

    void createControls();
    QLineEdit *addEdit(const char *name, QString SettingsRecord::*field, const QRect &geometry);
    void addBrowseButton(const char *name, QString SettingsRecord::*field, const QRect &geometry);
    void showRecord();
    void takeEdits();
    void browseFor(QString SettingsRecord::*field);
    void onInnerPath();
    void onOk();

    SettingsRecord &m_record;
    const SettingsStore &m_store;
    const InnerPathMapping &m_mapping;
    FolderChooser m_folderChooser;
    QPixmap m_background;
    QList<Binding> m_bindings;
};
