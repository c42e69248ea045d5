#pragma once

#include <QDialog>

// "关于 Brelvantis": the icon, the version line and an OK button.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget *parent = nullptr);
};
