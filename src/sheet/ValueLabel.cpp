// SPDX-License-Identifier: GPL-3.0-or-later
#include "sheet/ValueLabel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

namespace keld {

namespace {

// Qt speaks a label by its text alone; a bare "00" does not say which bonus it is.
class ValueLabelAccessible : public QAccessibleWidget {
public:
    explicit ValueLabelAccessible(QWidget* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text kind) const override
    {
        const auto* label = static_cast<const QLabel*>(widget());
        if (kind == QAccessible::Value)
            return label->text();
        if (kind == QAccessible::Name && label->accessibleName().isEmpty())
            return label->text();
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* ValueLabelInterface(const QString& key, QObject* object)
{
    if (key == QLatin1String(ValueLabel::staticMetaObject.className()) && object && object->isWidgetType())
        return new ValueLabelAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

} // namespace

ValueLabel::ValueLabel(QWidget* parent) : QLabel(parent)
{
    static const bool kSpoken = (QAccessible::installFactory(&ValueLabelInterface), true);
    (void)kSpoken; // installed once, for every value label
}

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
    style()->drawItemText(&painter, area, (alignment() & ~Qt::AlignHorizontal_Mask) | Qt::AlignLeft,
                          palette(), isEnabled(), shown, foregroundRole());
}

} // namespace keld
