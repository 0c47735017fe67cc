#pragma once

#include <QFont>
#include <QMargins>
#include <QPoint>
#include <QProxyStyle>
#include <QRect>

namespace vk {

// The page control's measures as the design has them, whatever the platform's style would
// choose: tabs 22 pixels high on top, and pages that leave a frame of two pixels, so that a
// page of the 801 by 402 control is 797 by 376. The pages lie on the button face, as the frame
// and the bottom panel do.
class DesignTabStyle final : public QProxyStyle {
public:
    static constexpr int kTabHeight = 22;
    static constexpr int kFrame = 2;

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override;
    QRect subElementRect(SubElement element, const QStyleOption* option,
                         const QWidget* widget) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override;
};

// The design's faces: "Tahoma" and "Arial" at the pixel size of their points on a 96-DPI screen.
// A bold Tahoma is drawn with Liberation Sans Bold (see DesignStyle.cpp).
QFont designFont(const QString& family, int pixels, bool bold = false);

// Where a window's frame goes so that the whole window, title bar and borders included, stands in
// the middle of the available area: the frame's top-left corner, for QWidget::move.
QPoint centredFramePosition(const QRect& available, const QSize& client, const QMargins& frame);

}  // namespace vk
