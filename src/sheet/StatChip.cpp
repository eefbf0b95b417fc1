// SPDX-License-Identifier: GPL-3.0-or-later
#include "sheet/StatChip.h"

#include "ui/TextDrag.h"

#include <QMimeData>
#include <QMouseEvent>

namespace keld {

StatChip::StatChip(const QString& caption, QWidget* parent) : QLabel(caption, parent)
{
    setAlignment(Qt::AlignCenter);
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
    setForegroundRole(QPalette::ButtonText);
}

std::unique_ptr<QMimeData> StatChip::DragData() const
{
    return std::unique_ptr<QMimeData>(CaptionMimeData(text()));
}

void StatChip::mousePressEvent(QMouseEvent* event)
{
    // Other buttons fall through to the panel, which scrolls.
    if (event->button() != Qt::LeftButton) {
        QLabel::mousePressEvent(event);
        return;
    }
    event->accept();
    StartCaptionDrag(this, text());
}

} // namespace keld
