#include "gui/widgets/OperatorMessages.h"

#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

namespace OperatorMessages {
namespace {

Responder *g_responder = nullptr;

QString captionOr(const QString &caption) {
    return caption.isEmpty() ? applicationName() : caption;
}

} // namespace

void fitCaption(QMessageBox &box) {
    // Room for the caption's icon and close button, and the window manager's margins around them.
    constexpr int kCaptionDecoration = 140;
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    if (!grid) {
        return;
    }
    QFont font = box.font();
    font.setBold(true); // as most window managers draw the caption
    const int width = QFontMetrics(font).horizontalAdvance(box.windowTitle()) + kCaptionDecoration;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0,
                  1, grid->columnCount());
}

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
    fitCaption(box);
    box.exec();
}

bool ask(QWidget *parent, const QString &text, const QString &caption) {
    if (g_responder) {
        return g_responder->question(parent, captionOr(caption), text);
    }
    QMessageBox box(QMessageBox::Question, captionOr(caption), text, QMessageBox::Yes | QMessageBox::No,
                    parent);
    fitCaption(box);
    return box.exec() == QMessageBox::Yes;
}

void setResponder(Responder *responder) {
    g_responder = responder;
}

} // namespace OperatorMessages
