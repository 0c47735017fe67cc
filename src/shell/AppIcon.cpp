#include "shell/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace vk {

// A taxi-yellow square with two arrows that pass each other: documents going in and out.
QImage applicationIconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    p.setPen(QPen(QColor(0x5a, 0x45, 0x00), s / 24.0));
    p.setBrush(QColor(0xf5, 0xc2, 0x18));
    p.drawRoundedRect(QRectF(s * 0.04, s * 0.04, s * 0.92, s * 0.92), s * 0.18, s * 0.18);

    const auto arrow = [&](qreal y, bool rightwards, const QColor& colour) {
        QPainterPath path;
        const qreal x0 = s * 0.2;
        const qreal x1 = s * 0.8;
        const qreal head = s * 0.16;
        const qreal tip = rightwards ? x1 : x0;
        const qreal back = rightwards ? x1 - head : x0 + head;
        path.moveTo(rightwards ? x0 : x1, y);
        path.lineTo(tip, y);
        path.moveTo(back, y - head * 0.8);
        path.lineTo(tip, y);
        path.lineTo(back, y + head * 0.8);
        p.setPen(QPen(colour, s / 9.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    };
    arrow(s * 0.36, true, QColor(0x1d, 0x1d, 0x1b));
    arrow(s * 0.66, false, QColor(0x1d, 0x1d, 0x1b));
    p.end();
    return image;
}

QIcon applicationIcon() {
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128}) {
        icon.addPixmap(QPixmap::fromImage(applicationIconImage(size)));
    }
    return icon;
}

}  // namespace vk
