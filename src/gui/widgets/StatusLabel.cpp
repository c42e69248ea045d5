#include "gui/widgets/StatusLabel.h"

#include <QPainter>
#include <QStyle>

StatusLabel::StatusLabel(QWidget *parent) : QLabel(parent) {
    // The width is the status bar's to give; the height that of one line.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setTextFormat(Qt::PlainText);
}

QSize StatusLabel::minimumSizeHint() const {
    return {fontMetrics().horizontalAdvance(QStringLiteral("……")), QLabel::minimumSizeHint().height()};
}

QString StatusLabel::shownText() const {
    const QString line = text().section(QLatin1Char('\n'), 0, 0);
    return fontMetrics().elidedText(line, Qt::ElideRight, contentsRect().width());
}

void StatusLabel::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    style()->drawItemText(&painter, contentsRect(), Qt::AlignLeft | Qt::AlignVCenter, palette(), isEnabled(),
                          shownText(), foregroundRole());
}

StatusNotice::StatusNotice(QWidget *parent) : StatusLabel(parent) {
    m_expiry.setSingleShot(true);
    connect(&m_expiry, &QTimer::timeout, this, [this] {
        m_passing.clear();
        refresh();
    });
    hide();
}

void StatusNotice::showPassing(const QString &text, int ms) {
    m_passing = text;
    m_expiry.start(ms > 0 ? ms : kPassingMs);
    refresh();
}

void StatusNotice::setLasting(const QString &text) {
    m_lasting = text;
    refresh();
}

void StatusNotice::refresh() {
    const QString now = m_passing.isEmpty() ? m_lasting : m_passing;
    setText(now);
    setToolTip(now);
    setVisible(!now.isEmpty());
}
