// IconButton: the style's push-button bevel, the icon centred in the upper
// part and the caption centred below it.
#include "IconButton.h"

#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace miniskop {

IconButton::IconButton(const QString& caption, const QIcon& icon, QWidget* parent)
    : QPushButton(icon, caption, parent) {
    setIconSize(QSize(24, 24));
    // Enter on the focused button presses it, as Space does.
    setAutoDefault(true);
}

void IconButton::paintEvent(QPaintEvent* event) {
    Q_UNUSED(event);
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    painter.drawControl(QStyle::CE_PushButtonBevel, option);

    const QRect contents = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    const int textHeight = fontMetrics().height();
    const int gap = 2;
    const int blockHeight = iconSize().height() + gap + textHeight;
    int top = contents.top() + (contents.height() - blockHeight) / 2;
    if (isDown()) top += 1;  // the pressed look moves the face a little

    const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
    const QPixmap pixmap = icon().pixmap(iconSize(), devicePixelRatio(), mode);
    const QRect iconRect(contents.left(), top, contents.width(), iconSize().height());
    painter.drawItemPixmap(iconRect, Qt::AlignCenter, pixmap);

    const QRect textRect(contents.left(), top + iconSize().height() + gap, contents.width(),
                         textHeight);
    painter.drawItemText(textRect, Qt::AlignHCenter | Qt::AlignTop | Qt::TextShowMnemonic,
                         palette(), isEnabled(), text(), QPalette::ButtonText);

    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = style()->subElementRect(QStyle::SE_PushButtonFocusRect, &option, this);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

}  // namespace miniskop
