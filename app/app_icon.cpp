#include "app/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace quillotone {

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal s = size / 64.0;
        QLinearGradient disc(0, 0, 0, size);
        disc.setColorAt(0, QColor(0x3b, 0x7d, 0xd8));
        disc.setColorAt(1, QColor(0x1c, 0x4a, 0x8f));
        p.setBrush(disc);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(2 * s, 2 * s, 60 * s, 60 * s));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(16 * s, 38 * s, 16 * s, 12 * s));
        p.drawRect(QRectF(28 * s, 14 * s, 4 * s, 30 * s));
        QPainterPath flag;
        flag.moveTo(32 * s, 14 * s);
        flag.cubicTo(40 * s, 18 * s, 46 * s, 20 * s, 44 * s, 32 * s);
        flag.cubicTo(42 * s, 24 * s, 38 * s, 23 * s, 32 * s, 22 * s);
        flag.closeSubpath();
        p.drawPath(flag);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace quillotone
