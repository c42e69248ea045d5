#pragma once

// For widget tests only: answers the station's message boxes instead of showing them.

#include "gui/widgets/OperatorMessages.h"

#include <QList>
#include <QStringList>

// Installed for its lifetime: records every notice and every question, and answers questions with
// `answer`.
class RecordingResponder : public OperatorMessages::Responder {
public:
    RecordingResponder() { OperatorMessages::setResponder(this); }
    ~RecordingResponder() override { OperatorMessages::setResponder(nullptr); }
    RecordingResponder(const RecordingResponder &) = delete;
    RecordingResponder &operator=(const RecordingResponder &) = delete;

    void notice(QWidget *, const Notice &shown) override { notices.append(shown); }
    bool question(QWidget *, const QString &caption, const QString &text) override {
        questions.append(caption + QLatin1Char('|') + text);
        return answer;
    }

    QList<Notice> notices;
    QStringList questions; // "caption|text"
    bool answer = false;
};
