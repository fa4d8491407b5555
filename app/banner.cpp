#include "app/banner.h"

#include "app/app_icon.h"

#include <QPainter>

namespace quillotone {

Banner::Banner(QWidget* parent) : QWidget(parent) {
    setObjectName("Banner");
    setFixedHeight(52);
}

void Banner::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient back(0, 0, width(), 0);
    back.setColorAt(0, QColor(0x1c, 0x4a, 0x8f));
    back.setColorAt(1, QColor(0x6f, 0xa8, 0xe8));
    p.fillRect(rect(), back);
    p.drawPixmap(10, 6, AppIcon().pixmap(40, 40));
    QFont title = font();
    title.setBold(true);
    title.setPixelSize(24);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRect(60, 0, width() - 70, 34), Qt::AlignLeft | Qt::AlignBottom, "Quillotone");
    QFont line = font();
    line.setPixelSize(11);
    p.setFont(line);
    p.setPen(QColor(0xdd, 0xe8, 0xf6));
    p.drawText(QRect(62, 34, width() - 70, 16), Qt::AlignLeft | Qt::AlignTop,
               "MP3 \u00b7 Ogg Vorbis \u00b7 WAV \u00b7 WMA batch converter and tag editor");
}

} // namespace quillotone
