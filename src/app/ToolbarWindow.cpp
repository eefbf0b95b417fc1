// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ToolbarWindow.h"

#include "app/ShellIcons.h"
#include "ui/WindowPlace.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

namespace keld {

ToolbarWindow::ToolbarWindow(QWidget* sheet, const std::vector<Position>& positions,
                             std::function<QRect()> spare)
    : QWidget(sheet, Qt::Tool | Qt::FramelessWindowHint), m_sheet(sheet), m_spare(std::move(spare))
{
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(tr("Toolbar"));
    setAccessibleName(tr("Toolbar"));

    m_toolbar = new QToolBar(this);
    m_toolbar->setObjectName(QStringLiteral("Toolbar1"));
    m_toolbar->setAccessibleName(tr("Toolbar"));
    m_toolbar->setOrientation(Qt::Vertical);
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);
    m_toolbar->setIconSize(QSize(24, 24));

    int number = 0;
    for (const Position& position : positions) {
        ++number;
        const QString name = QStringLiteral("Toolbar1_%1").arg(number);
        if (!position.command) {
            m_toolbar->addSeparator()->setObjectName(name);
            continue;
        }
        QAction* button = m_toolbar->addAction(ShellIcon(position.icon), position.tooltip);
        button->setObjectName(name);
        button->setToolTip(position.tooltip);
        QAction* command = position.command;
        // The button runs the menu item itself, so both always do the same.
        connect(button, &QAction::triggered, command, [command] { command->trigger(); });
        if (QWidget* widget = m_toolbar->widgetForAction(button)) {
            widget->setObjectName(name);
            widget->setAccessibleName(position.tooltip);
        }
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_toolbar);
    // Presses land on the sheet's controls, not on the sheet itself.
    qApp->installEventFilter(this);
}

QRect ToolbarWindow::Place(const QRect& sheet, const QRect& spare, const QRect& area, const QSize& frame)
{
    const QRect left(QPoint(sheet.left() - frame.width(), sheet.top()), frame);
    if (area.contains(left))
        return left;
    QRect right = left;
    right.moveLeft(sheet.right() + 1);
    if (area.contains(right))
        return right;
    // Over the sheet: where it shows nothing, so no field or menu is hidden; else at the
    // screen's edge beside the sheet's left edge.
    const QRect free = spare.intersected(area);
    if (free.width() >= frame.width() && free.height() >= frame.height())
        return QRect(free.topLeft(), frame);
    return FitInto(left, area, frame);
}

void ToolbarWindow::Dock()
{
    const QSize size = m_toolbar->sizeHint();
    if (this->size() != size)
        setFixedSize(size);
    const QRect sheet = m_sheet->frameGeometry();
    const QSize frame = size + (frameGeometry().size() - this->size());
    const QRect place = Place(sheet, m_spare ? m_spare() : QRect(), AvailableAreaFor(sheet), frame);
    m_overSheet = place.intersects(sheet);
    if (pos() != place.topLeft()) {
        move(place.topLeft());
        if (m_overSheet)
            raise();
    }
}

bool ToolbarWindow::eventFilter(QObject* watched, QEvent* event)
{
    // Window managers raise a window that is clicked or activated, above its tool windows too;
    // over the sheet, the toolbar goes back on top at once. A click on the sheet's caption reaches
    // the program only as the part of the sheet that the toolbar covered coming into view.
    const QEvent::Type type = event->type();
    if (!m_overSheet || !isVisible())
        return QWidget::eventFilter(watched, event);
    if (type == QEvent::MouseButtonPress || type == QEvent::WindowActivate) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->window() == m_sheet)
            raise();
    } else if (type == QEvent::Expose && watched == m_sheet->windowHandle()) {
        raise();
    }
    return QWidget::eventFilter(watched, event);
}

void ToolbarWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    Dock();
}

void ToolbarWindow::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    emit closedByUser();
}

} // namespace keld
