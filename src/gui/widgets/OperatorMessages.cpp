#include "gui/widgets/OperatorMessages.h"

#include <QMessageBox>

namespace OperatorMessages {
namespace {

Responder *g_responder = nullptr;

QString captionOr(const QString &caption) {
    return caption.isEmpty() ? applicationName() : caption;
}

} // namespace

QString applicationName() {
    return QStringLiteral("网络隔离外网上传软件");
}

void show(QWidget *parent, const Notice &notice) {
    if (notice.isEmpty()) {
        return;
    }
    const Notice shown{captionOr(notice.caption), notice.text};
    if (g_responder) {
        g_responder->notice(parent, shown);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, shown.caption, shown.text, QMessageBox::Ok, parent);
    box.exec();
}

bool ask(QWidget *parent, const QString &text, const QString &caption) {
    if (g_responder) {
        return g_responder->question(parent, captionOr(caption), text);
    }
    QMessageBox box(QMessageBox::Question, captionOr(caption), text, QMessageBox::Yes | QMessageBox::No,
                    parent);
    return box.exec() == QMessageBox::Yes;
}

void setResponder(Responder *responder) {
    g_responder = responder;
}

} // namespace OperatorMessages
