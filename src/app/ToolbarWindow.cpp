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
    QPoint place(sheet.left() - size.width(), sheet.top());
    if (!WithinOneScreen(QRect(place, size)))
        place.setX(sheet.right() + 1);
    if (pos() != place)
        move(place);
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
