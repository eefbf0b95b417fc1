#include "app/ToolbarWindow.h"

#include "app/ShellIcons.h"
#include "ui/WindowPlace.h"

#include <QAction>
#include <QCloseEvent>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

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
    if (pos() != place.topLeft()) {
        move(place.topLeft());
        // Over the sheet, the window system may have put it below the sheet.
        if (place.intersects(sheet))
            raise();
    }
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
