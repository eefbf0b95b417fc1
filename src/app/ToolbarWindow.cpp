#include "app/ToolbarWindow.h"

#include "app/ShellIcons.h"
#include "ui/WindowPlace.h"

#include <QAction>
#include <QCloseEvent>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace keld {

ToolbarWindow::ToolbarWindow(QWidget* sheet, const std::vector<Position>& positions)
    : QWidget(sheet, Qt::Tool | Qt::FramelessWindowHint), m_sheet(sheet)
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

void ToolbarWindow::Dock()
{
    const QSize size = m_toolbar->sizeHint();
    if (this->size() != size)
        setFixedSize(size);
    const QRect sheet = m_sheet->frameGeometry();
    const QRect area = AvailableAreaFor(sheet);
    const QSize frame = size + (frameGeometry().size() - this->size());
    // Against the sheet's left edge; where that is off the screen, its right edge; where both
    // are (a maximised sheet), over the sheet at the screen's edge, so it stays in sight.
    QRect place(QPoint(sheet.left() - frame.width(), sheet.top()), frame);
    if (!area.contains(place)) {
        QRect right = place;
        right.moveLeft(sheet.right() + 1);
        place = area.contains(right) ? right : FitInto(place, area, frame);
    }
    if (pos() != place.topLeft())
        move(place.topLeft());
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
