#include "update/UpdateArt.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QWidget>

namespace vk {

QLabel* decorativeStrip(QWidget* window, int width) {
    auto* strip = new QLabel(window);
    strip->setGeometry(window->width() - width, 0, width, window->height());
    QPixmap picture(strip->size());
    QPainter p(&picture);
    QLinearGradient fade(0, 0, 0, picture.height());
    fade.setColorAt(0, QColor(0xf5, 0xc2, 0x18));
    fade.setColorAt(1, QColor(0xe0, 0x8a, 0x00));
    p.fillRect(picture.rect(), fade);
    p.setPen(QPen(QColor(0x1d, 0x1d, 0x1b), 6, Qt::SolidLine, Qt::RoundCap));
    for (int y = 60; y < picture.height(); y += 70) {
        p.drawLine(24, y, width - 24, y);
    }
    p.end();
    strip->setPixmap(picture);
    strip->setScaledContents(true);
    return strip;
}

}  // namespace vk
