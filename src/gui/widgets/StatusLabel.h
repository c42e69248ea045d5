#pragma once

#include <QLabel>
#include <QTimer>

// A text of the status bar that never pushes its neighbours nor runs under them: it takes the width
// the status bar gives it and cuts its text short with "…" there (text() stays whole, and so does the
// tooltip).
class StatusLabel : public QLabel {
    Q_OBJECT

public:
    explicit StatusLabel(QWidget *parent = nullptr);

    QSize minimumSizeHint() const override;
    // The text as drawn now: whole, or cut short to the label's width.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// The status bar's notices beside the live line: a passing notice (a command's summary, a changed
// filter) for a while, over a lasting one (the station is not set up) that shows again once the passing
// one has gone. Hidden while it has nothing to say.
class StatusNotice : public StatusLabel {
    Q_OBJECT

public:
    static constexpr int kPassingMs = 10000;

    explicit StatusNotice(QWidget *parent = nullptr);

    void showPassing(const QString &text, int ms = kPassingMs);
    void setLasting(const QString &text);
    QString lasting() const { return m_lasting; }

private:
    void refresh();

    QTimer m_expiry;
    QString m_passing;
    QString m_lasting;
};
