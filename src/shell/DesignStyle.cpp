#include "shell/DesignStyle.h"

#include <QStyleOption>

namespace vk {

QSize DesignTabStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                                       const QWidget* widget) const {
    QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
    if (type == CT_TabBarTab) {
        result.setHeight(kTabHeight);
    }
    return result;
}

QRect DesignTabStyle::subElementRect(SubElement element, const QStyleOption* option,
                                     const QWidget* widget) const {
    if (element == SE_TabWidgetTabContents) {
        const QRect whole = option->rect;
        return QRect(whole.left() + kFrame, whole.top() + kTabHeight + kFrame, whole.width() - 2 * kFrame,
                     whole.height() - kTabHeight - 2 * kFrame);
    }
    return QProxyStyle::subElementRect(element, option, widget);
}

}  // namespace vk
