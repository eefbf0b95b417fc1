// SPDX-License-Identifier: GPL-3.0-or-later
#include "sheet/PanelComboBox.h"

#include <QHelpEvent>
#include <QLineEdit>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QToolTip>
#include <QWheelEvent>

namespace keld {

PanelComboBox::PanelComboBox(QWidget* parent) : QComboBox(parent) {}

int PanelComboBox::TextWidth() const
{
    if (const QLineEdit* edit = lineEdit())
        return edit->contentsRect().width() - 4; // the line edit's own side margins
    QStyleOptionComboBox option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this).width();
}

bool PanelComboBox::IsElided() const
{
    return fontMetrics().horizontalAdvance(currentText()) > TextWidth();
}

bool PanelComboBox::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip && IsElided()) {
        const QString own = toolTip();
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(),
                           own.isEmpty() ? currentText() : currentText() + u'\n' + own, this);
        return true;
    }
    return QComboBox::event(event);
}

void PanelComboBox::paintEvent(QPaintEvent* event)
{
    if (isEditable() || !IsElided()) {
        QComboBox::paintEvent(event);
        return;
    }
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    option.currentText = fontMetrics().elidedText(option.currentText, Qt::ElideRight, TextWidth());
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

void PanelComboBox::wheelEvent(QWheelEvent* event)
{
    if (hasFocus())
        QComboBox::wheelEvent(event);
    else
        event->ignore();
}

} // namespace keld
