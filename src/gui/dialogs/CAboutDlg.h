#pragma once

#include <QDialog>
#include <QString>

// "关于 Brelvantis": the icon, the version line, the working folder in use and an OK button.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(const QString &workFolder, QWidget *parent = nullptr);
};
