#pragma once

#include "core/config/SettingsCheck.h"
#include "core/config/SettingsRecord.h"

#include <QDialog>
#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <functional>

class DialogUnits;
class FileTypeFilter;
class InnerPathMapping;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QThread;
class SettingsStore;
struct InspectionSettings;

// "设置": the settings dialog, editing the station's one settings record and the file-type filter. The
// frame keeps one dialog for the whole run and shows it again and again; each showing starts from the
// record's values and the filter file. OK checks every field (SettingsCheck), offers to create missing
// folders, makes sure the folders the station writes to take a new file, writes the filter file (only
// when its types were edited) and saves the record; a refusal names the field and keeps the dialog open.
// Folders are stored with a trailing separator. A folder chosen with a "..." button goes into the record
// at once, even if the dialog is then cancelled. Its fields are the settings of kSettings
// (SettingsRecord.h), labelled as the table names them and placed where the form has them.
// The group 内容检查 edits the [Inspection] settings (InspectionSettings); 测试连接 asks clamd its
// version on a thread of its own, so the dialog answers while it waits. The group 自动上传 edits the
// [Automatic] settings (AutomaticSettings): the settle time and uploading at start.
class CCfgDlg : public QDialog {
    Q_OBJECT
public:
    // Asks the operator for a folder, starting at startFolder; an empty result means the operator
    // cancelled.
    using FolderChooser =
        std::function<QString(QWidget *parent, const QString &title, const QString &startFolder)>;

    CCfgDlg(SettingsRecord &record, const SettingsStore &store, const InnerPathMapping &mapping,
            FileTypeFilter &filter, QWidget *parent = nullptr);
    // Waits for a connection test still running (bounded by its time-outs).
    ~CCfgDlg() override;

    const SettingsRecord &record() const { return m_record; }

    // Replaces the platform's folder chooser (tests answer it themselves).
    void setFolderChooser(FolderChooser chooser);
    // Replaces the check that a folder takes new files (tests make it fail).
    void setWriteProbe(SettingsCheck::WriteProbe probe) { m_writeProbe = std::move(probe); }

    void setVisible(bool visible) override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    struct Binding {
        QLineEdit *edit;
        QString SettingsRecord::*field;
    };

    void createControls();
    void showRecord();
    void takeEdits();
    void browseFor(QString SettingsRecord::*field);
    void onInnerPath();
    void onOk();
    bool refuse(QLineEdit *edit, const QString &text);
    QLineEdit *editFor(SettingsCheck::Field field) const;
    bool checkFields();
    bool makeMissingFolders();
    bool checkWritable();
    bool writeFileTypes();
    void createInspectionControls(const DialogUnits &du);
    void showInspection();
    InspectionSettings shownInspection() const;
    bool takeInspection();
    void onTestClamd();
    void showInspectionText(const QString &text);
    void createAutomaticControls(const DialogUnits &du);
    void showAutomatic();
    void takeAutomatic();

    SettingsRecord &m_record;
    const SettingsStore &m_store;
    const InnerPathMapping &m_mapping;
    FileTypeFilter &m_filter;
    QLineEdit *m_fileTypesEdit = nullptr;
    QString m_shownFileTypes; // the allow-list as this showing put it into its edit
    FolderChooser m_folderChooser;
    SettingsCheck::WriteProbe m_writeProbe = SettingsCheck::probeWritable;
    QPixmap m_background;
    QList<Binding> m_bindings;
    QCheckBox *m_checkContentBox = nullptr;
    QCheckBox *m_openArchivesBox = nullptr;
    QComboBox *m_scannerCombo = nullptr;
    QLineEdit *m_clamdSocketEdit = nullptr;
    QLineEdit *m_clamdAddressEdit = nullptr;
    QPushButton *m_testClamdButton = nullptr;
    QLabel *m_inspectionText = nullptr; // the test's answer, or what makes no sense in the values
    QPointer<QThread> m_clamdTest;
    QSpinBox *m_settleSpin = nullptr;
    QCheckBox *m_startUploadingBox = nullptr;
    QLabel *m_automaticText = nullptr; // what the settings file holds that makes no sense
};
