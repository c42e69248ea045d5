#include "gui/dialogs/CAboutDlg.h"

#include "core/common/CommandLine.h"
#include "gui/widgets/ArtWork.h"
#include "gui/widgets/DialogUnits.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>

CAboutDlg::CAboutDlg(const QString &workFolder, QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(QStringLiteral("关于 Brelvantis"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    const DialogUnits du(font());
    setFixedSize(du.x(156), du.y(98));

    auto *icon = new QLabel(this);
    icon->setPixmap(ArtWork::applicationIcon().pixmap(32, 32));
    icon->setGeometry(du.rect(14, 14, 21, 20));

    // The name the window's title carries, so the operator meets one name for the program.
    auto *version =
        new QLabel(QStringLiteral("Vellorix900 外网上传软件 %1 版").arg(CommandLine::version()), this);
    version->setObjectName(QStringLiteral("versionLabel"));
    version->setWordWrap(true);
    version->setGeometry(du.rect(42, 12, 106, 24)); // two lines where the font is wide

    auto *folder = new QLabel(QStringLiteral("工作目录：%1").arg(QDir::toNativeSeparators(workFolder)), this);
    folder->setObjectName(QStringLiteral("workFolderLabel"));
    folder->setWordWrap(true);
    folder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    folder->setGeometry(du.rect(14, 38, 135, 34));

    auto *ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    ok->setGeometry(du.rect(99, 77, 50, 14));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
