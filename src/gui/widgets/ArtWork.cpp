#include "gui/widgets/ArtWork.h"

#include "core/common/CommandIds.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace ArtWork {
namespace {

struct Badge {
    QColor colour;
};

// Every toolbar image is a rounded badge in the command's colour with a white symbol on it.
void paintBadge(QPainter &p, const QColor &colour) {
    const QRectF badge(11.5, 2.5, 32, 27);
    QLinearGradient fill(badge.topLeft(), badge.bottomLeft());
    fill.setColorAt(0, colour.lighter(135));
    fill.setColorAt(1, colour.darker(115));
    p.setPen(QPen(colour.darker(150), 1));
    p.setBrush(fill);
    p.drawRoundedRect(badge, 6, 6);
}

QPen symbolPen(qreal width = 2.8) {
    return QPen(Qt::white, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void paintArrow(QPainter &p, bool up, qreal top, qreal bottom, qreal x = 27.5) {
    const qreal tip = up ? top : bottom;
    const qreal tail = up ? bottom : top;
    const qreal head = up ? 5.5 : -5.5;
    p.setPen(symbolPen());
    p.drawLine(QPointF(x, tail), QPointF(x, tip));
    p.drawPolyline(QPolygonF({QPointF(x - 6, tip + head), QPointF(x, tip), QPointF(x + 6, tip + head)}));
}

void paintStart(QPainter &p) {
    paintBadge(p, QColor(46, 150, 72));
    paintArrow(p, true, 7.5, 20);
    p.setPen(symbolPen(2.4));
    p.drawPolyline(QPolygonF({QPointF(18.5, 19), QPointF(18.5, 24), QPointF(36.5, 24), QPointF(36.5, 19)}));
}

void paintStop(QPainter &p) {
    paintBadge(p, QColor(196, 52, 56));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(21, 9.5, 13, 13), 2, 2);
}

void paintMove(QPainter &p, bool up) {
    paintBadge(p, QColor(47, 108, 178));
    paintArrow(p, up, 7.5, 24.5, 23.0);
    p.setPen(symbolPen(2.0));
    for (qreal y : {10.5, 16.0, 21.5}) {
        p.drawLine(QPointF(32.5, y), QPointF(38.5, y));
    }
}

void paintAdd(QPainter &p) {
    paintBadge(p, QColor(32, 132, 118));
    p.setPen(symbolPen(3.2));
    p.drawLine(QPointF(27.5, 8.5), QPointF(27.5, 23.5));
    p.drawLine(QPointF(20, 16), QPointF(35, 16));
}

void paintDelete(QPainter &p) {
    paintBadge(p, QColor(200, 96, 32));
    p.setPen(symbolPen(3.2));
    p.drawLine(QPointF(21.5, 10), QPointF(33.5, 22));
    p.drawLine(QPointF(33.5, 10), QPointF(21.5, 22));
}

void paintRefresh(QPainter &p) {
    paintBadge(p, QColor(72, 104, 138));
    const QRectF circle(20.5, 8.5, 14, 14);
    p.setPen(symbolPen(2.6));
    p.setBrush(Qt::NoBrush);
    p.drawArc(circle, 60 * 16, 280 * 16);
    // Arrow head at the arc's start, pointing along the turn.
    const qreal angle = qDegreesToRadians(60.0);
    const QPointF end(circle.center().x() + 7 * qCos(angle), circle.center().y() - 7 * qSin(angle));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF({end + QPointF(-4.5, -3.2), end + QPointF(3.5, -1.0), end + QPointF(-1.0, 4.8)}));
}

void paintSettings(QPainter &p) {
    paintBadge(p, QColor(92, 100, 112));
    const QPointF centre(27.5, 16);
    QPainterPath gear;
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const qreal radius = (i % 2 == 0) ? 9.0 : 6.8;
        const qreal a0 = (i - 0.5) * M_PI / teeth;
        const qreal a1 = (i + 0.5) * M_PI / teeth;
        const QPointF p0 = centre + QPointF(radius * qCos(a0), radius * qSin(a0));
        const QPointF p1 = centre + QPointF(radius * qCos(a1), radius * qSin(a1));
        if (i == 0) {
            gear.moveTo(p0);
        } else {
            gear.lineTo(p0);
        }
        gear.lineTo(p1);
    }
    gear.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(centre, 3.0, 3.0);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(gear.subtracted(hole));
}

// A clock face whose rim turns back: what was sent before.
void paintHistory(QPainter &p) {
    paintBadge(p, QColor(112, 82, 160));
    const QPointF centre(28.5, 16);
    const qreal radius = 8.5;
    p.setPen(symbolPen(2.4));
    p.setBrush(Qt::NoBrush);
    // The rim, open at the upper left where the arrow head points back.
    p.drawArc(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), 150 * 16, -300 * 16);
    const qreal angle = qDegreesToRadians(150.0);
    const QPointF end(centre.x() + radius * qCos(angle), centre.y() - radius * qSin(angle));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF({end + QPointF(-4.6, -1.2), end + QPointF(2.8, -3.4), end + QPointF(0.6, 3.8)}));
    // The hands.
    p.setPen(symbolPen(2.2));
    p.drawPolyline(QPolygonF({centre + QPointF(0, -5.2), centre, centre + QPointF(3.8, 2.6)}));
}

} // namespace

QPixmap toolbarImage(int commandId) {
    QPixmap image(kToolbarImageWidth, kToolbarImageHeight);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    switch (commandId) {
    case ID_START_UPLOAD:
        paintStart(p);
        break;
    case ID_STOP_UPLOAD:
        paintStop(p);
        break;
    case ID_MOVE_UP:
        paintMove(p, true);
        break;
    case ID_MOVE_DOWN:
        paintMove(p, false);
        break;
    case ID_ADD_RECORD:
        paintAdd(p);
        break;
    case ID_DELETE_RECORD:
        paintDelete(p);
        break;
    case ID_REFRESH:
        paintRefresh(p);
        break;
    case ID_SETTINGS:
        paintSettings(p);
        break;
    case ID_VIEW_HISTORY:
        paintHistory(p);
        break;
    default:
        return QPixmap();
    }
    return image;
}

QIcon applicationIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128}) {
        QPixmap image(size, size);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 64.0, size / 64.0);
        // Two networks with the gap between them, and the file crossing it.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(47, 108, 178));
        p.drawRoundedRect(QRectF(3, 10, 22, 44), 5, 5);
        p.setBrush(QColor(46, 150, 72));
        p.drawRoundedRect(QRectF(39, 10, 22, 44), 5, 5);
        p.setBrush(QColor(60, 60, 70));
        p.drawRect(QRectF(29.5, 4, 5, 56));
        p.setPen(QPen(Qt::white, 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(10, 32), QPointF(52, 32));
        p.drawPolyline(QPolygonF({QPointF(43, 23), QPointF(53, 32), QPointF(43, 41)}));
        p.end();
        icon.addPixmap(image);
    }
    return icon;
}

QPixmap settingsBackground() {
    QPixmap image(455, 310);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 310);
    sky.setColorAt(0, QColor(236, 242, 248));
    sky.setColorAt(1, QColor(210, 222, 236));
    p.fillRect(image.rect(), sky);
    // A quiet network motif in the lower right corner, pale enough to keep the labels legible.
    p.setPen(QPen(QColor(190, 205, 224), 1.2));
    const QPointF nodes[] = {{330, 250}, {380, 220}, {420, 265}, {360, 290}, {440, 215}, {300, 290}};
    for (const QPointF &a : nodes) {
        for (const QPointF &b : nodes) {
            if (&a < &b && QLineF(a, b).length() < 75) {
                p.drawLine(a, b);
            }
        }
    }
    p.setBrush(QColor(200, 214, 232));
    for (const QPointF &node : nodes) {
        p.drawEllipse(node, 4, 4);
    }
    return image;
}

} // namespace ArtWork
