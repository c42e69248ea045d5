#include "gui/widgets/DialogUnits.h"

#include <QFontMetricsF>
#include <cmath>

DialogUnits::DialogUnits(const QFont &font) {
    const QFontMetricsF metrics(font);
    // The average width of the Latin alphabet, as the platform's own dialog manager measures it.
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    m_baseX = metrics.horizontalAdvance(alphabet) / alphabet.size();
    m_baseY = metrics.height();
}

int DialogUnits::x(int units) const {
    return static_cast<int>(std::lround(units * m_baseX / 4.0));
}

int DialogUnits::y(int units) const {
    return static_cast<int>(std::lround(units * m_baseY / 8.0));
}

QRect DialogUnits::rect(int left, int top, int width, int height) const {
    return QRect(x(left), y(top), x(width), y(height));
}
