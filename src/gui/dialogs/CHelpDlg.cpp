#include "gui/dialogs/CHelpDlg.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

CHelpDlg::CHelpDlg(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("helpDialog"));
    setWindowTitle(QStringLiteral("使用说明"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto *text = new QTextBrowser(this);
    text->setObjectName(QStringLiteral("manualText"));
    text->setAccessibleName(QStringLiteral("使用说明"));
    text->setOpenExternalLinks(false);
    text->setMarkdown(manualText());

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("关闭"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(buttons);
    resize(640, 560);
}

QString CHelpDlg::manualText() {
    QFile file(QStringLiteral(":/doc/manual.zh_CN.md"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
