#pragma once

#include "core/common/Notice.h"

#include <QString>

class QMessageBox;
class QWidget;

// How widgets put a notice or a yes/no question before the operator: modal message boxes with the
// application name as caption where the notice names none. Widget tests install a Responder that
// answers in place of the boxes.
namespace OperatorMessages {

class Responder {
public:
    virtual ~Responder() = default;
    virtual void notice(QWidget *parent, const Notice &notice) = 0;
    virtual bool question(QWidget *parent, const QString &caption, const QString &text) = 0;
};

// The caption of boxes that name none of their own.
QString applicationName();

// Shows notice (nothing when it is empty).
void show(QWidget *parent, const Notice &notice);

// Asks a yes/no question with the question-mark icon; true for Yes.
bool ask(QWidget *parent, const QString &text, const QString &caption = QString());

// Makes box wide enough to show its whole caption: a box is as wide as its text, and a short question
// ("是否退出程序?") would otherwise cut the caption ("网络隔… 传软件").
void fitCaption(QMessageBox &box);

// nullptr restores the real message boxes.
void setResponder(Responder *responder);

} // namespace OperatorMessages
