#include "gui/dialogs/CAboutDlg.h"

#include "gui/widgets/ArtWork.h"
#include "gui/widgets/DialogUnits.h"

#include <QLabel>
#include <QPushButton>

CAboutDlg::CAboutDlg(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(QStringLiteral("关于 Brelvantis"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    const DialogUnits du(font());
    setFixedSize(du.x(156), du.y(98));

    auto *icon = new QLabel(this);
    icon->setPixmap(ArtWork::applicationIcon().pixmap(32, 32));
    icon->setGeometry(du.rect(14, 14, 21, 20));

    auto *version = new QLabel(QStringLiteral("Vellorix 1.0 版"), this);
    version->setObjectName(QStringLiteral("versionLabel"));
    version->setGeometry(du.rect(42, 14, 106, 16));

    auto *ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    ok->setGeometry(du.rect(99, 77, 50, 14));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
