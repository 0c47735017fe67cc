#pragma once

#include <QProxyStyle>

namespace vk {

// The page control's measures as the design has them, whatever the platform's style would
// choose: tabs 22 pixels high on top, and pages that leave a frame of two pixels, so that a
// page of the 801 by 402 control is 797 by 376.
class DesignTabStyle final : public QProxyStyle {
public:
    static constexpr int kTabHeight = 22;
    static constexpr int kFrame = 2;

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override;
    QRect subElementRect(SubElement element, const QStyleOption* option,
                         const QWidget* widget) const override;
};

}  // namespace vk
