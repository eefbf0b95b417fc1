// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/BoxText.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QToolTip>

namespace keld {

namespace {

// The line edit keeps this much room on either side of its text, inside its frame.
constexpr int kInnerMargin = 2;

QRect TextRect(const QLineEdit* edit, const QRect& rect)
{
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.rect = rect;
    option.lineWidth =
        edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    option.features = QStyleOptionFrame::None;
    const QRect contents = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
    return contents.marginsRemoved(edit->textMargins());
}

} // namespace

int TextRoomOf(const QLineEdit* edit)
{
    return TextRect(edit, edit->rect()).width() - 2 * kInnerMargin;
}

bool ShowsWholeText(const QLineEdit* edit)
{
    // One pixel more for the cursor, which the box keeps room for at the text's end.
    return edit->fontMetrics().horizontalAdvance(edit->text()) + 1 <= TextRoomOf(edit);
}

int BoxWidthFor(const QLineEdit* edit, const QFont& font, const QString& sample)
{
    const int overhead = edit->width() - TextRoomOf(edit);
    return QFontMetrics(font).horizontalAdvance(sample) + 1 + overhead;
}

void BoxTextStart::Install(QLineEdit* edit)
{
    for (const QObject* child : edit->children())
        if (qobject_cast<const BoxTextStart*>(child))
            return;
    edit->installEventFilter(new BoxTextStart(edit));
}

bool BoxTextStart::eventFilter(QObject* watched, QEvent* event)
{
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (!edit)
        return false;
    switch (event->type()) {
    case QEvent::FocusOut:
        // A context menu or a drag takes the focus for a moment; the edit goes on after it.
        if (static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
            edit->setCursorPosition(0);
        break;
    case QEvent::ToolTip:
        if (!ShowsWholeText(edit)) {
            const QString own = edit->toolTip();
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(),
                               own.isEmpty() ? edit->text() : edit->text() + u'\n' + own, edit);
            return true;
        }
        break;
    default:
        break;
    }
    return false;
}

} // namespace keld
