#include "shell/DesignStyle.h"

#include <QFontDatabase>
#include <QPainter>
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

// Styles such as Fusion paint the pane a shade lighter than the button face; the design's pages
// are the button face itself. The style's border stays, the inside is filled anew.
void DesignTabStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                   const QWidget* widget) const {
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    if (element == PE_FrameTabWidget) {
        painter->fillRect(option->rect.adjusted(1, 1, -1, -1), option->palette.button());
    }
}

namespace {

// Tahoma is not among the system's fonts here; Wine's Tahoma has the same metrics and is taken
// where it is installed. Wine's Tahoma Bold is not: its strokes are as thin as the regular
// face's, so that bold labels would not look bold. It is left out.
void loadDesignFonts() {
    static const bool loaded = [] {
        QFontDatabase::addApplicationFont(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf"));
        return true;
    }();
    Q_UNUSED(loaded);
}

}  // namespace

// Arial is the system's alias for a face with Arial's metrics. A bold Tahoma is Liberation Sans
// Bold: a face whose strokes are bold (half as wide again as the regular's) and whose text is
// within a pixel or two as wide as Tahoma Bold's.
QFont designFont(const QString& family, int pixels, bool bold) {
    loadDesignFonts();
    QFont font(bold && family == QStringLiteral("Tahoma") ? QStringLiteral("Liberation Sans") : family);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QPoint centredFramePosition(const QRect& available, const QSize& client, const QMargins& frame) {
    const QSize whole = client.grownBy(frame);
    return {available.x() + (available.width() - whole.width()) / 2,
            available.y() + (available.height() - whole.height()) / 2};
}

}  // namespace vk
