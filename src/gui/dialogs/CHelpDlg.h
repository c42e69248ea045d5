#pragma once

#include <QDialog>

// 帮助 → 使用说明: the operator's short manual, shipped inside the program (and installed beside the
// package's documentation), shown in a browser that follows its own headings.
class CHelpDlg : public QDialog {
public:
    explicit CHelpDlg(QWidget *parent = nullptr);

    // The manual's text (Markdown), as the program carries it.
    static QString manualText();
};
