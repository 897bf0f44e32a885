#include "app/ToolButton.h"

#include <QStyleOptionToolButton>
#include <QStylePainter>

namespace app {

void TToolButton::paintEvent(QPaintEvent*)
{
    QStylePainter p(this);
    QStyleOptionToolButton opt;
    initStyleOption(&opt);
    // The frame only, as the style draws it for a flat button.
    if (opt.state & (QStyle::State_MouseOver | QStyle::State_Sunken | QStyle::State_On))
        p.drawPrimitive(QStyle::PE_PanelButtonTool, opt);

    const QSize iconSize = this->iconSize();
    const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
    const QPixmap pm = icon().pixmap(iconSize, devicePixelRatioF(), mode);
    const int top = 3;
    p.drawPixmap((width() - iconSize.width()) / 2, top, pm);

    QFont f = font();
    f.setPixelSize(12);
    p.setFont(f);
    const QRect textRect(1, top + iconSize.height() + 1, width() - 2, height() - top - iconSize.height() - 1);
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    p.drawText(textRect, Qt::AlignHCenter | Qt::AlignTop | Qt::TextShowMnemonic, text());
}

} // namespace app
