#include "sheet/ValueLabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

namespace keld {

bool ValueLabel::IsElided() const
{
    return fontMetrics().horizontalAdvance(text()) > contentsRect().width() - 2 * margin();
}

bool ValueLabel::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip && IsElided()) {
        const QString own = toolTip();
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(),
                           own.isEmpty() ? text() : text() + u'\n' + own, this);
        return true;
    }
    return QLabel::event(event);
}

void ValueLabel::paintEvent(QPaintEvent* event)
{
    if (!IsElided()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    drawFrame(&painter);
    const QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
    // The start of the value stays where the reader looks for it.
    style()->drawItemText(&painter, area, (alignment() & ~Qt::AlignHorizontal_Mask) | Qt::AlignLeft, palette(),
                          isEnabled(), shown, foregroundRole());
}

} // namespace keld
