// SPDX-License-Identifier: GPL-3.0-or-later
#include "sheet/SheetView.h"

#include "sheet/ArmorLanguageSpellArea.h"
#include "sheet/GeneralStatsArea.h"
#include "sheet/SheetCursors.h"
#include "sheet/SkillGridArea.h"
#include "binding/SheetBinding.h"
#include "ui/TextDrag.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace keld {

SheetView::SheetView(SheetBinding& binding, QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("SheetView"));
    m_panel = new QWidget(this);
    m_panel->setObjectName(QStringLiteral("Frame1"));
    m_panel->setAccessibleName(tr("KELD Character Sheet"));
    m_panel->setToolTip(tr("Drag me up and down to scroll the sheet."));
    m_panel->setFixedSize(TwipsToPx(kPanelWidthTwips, this), TwipsToPx(kPanelHeightTwips, this));
    m_panel->setCursor(OpenHandCursor());
    m_panel->installEventFilter(this);

    auto* layout = new QVBoxLayout(m_panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_generalStats = new GeneralStatsArea(binding, m_panel);
    m_skillGrid = new SkillGridArea(binding, m_panel);
    m_armorLanguagesSpells = new ArmorLanguageSpellArea(binding, m_panel);
    layout->addWidget(m_generalStats);
    layout->addWidget(m_skillGrid);
    layout->addWidget(m_armorLanguagesSpells);
    layout->addStretch(1);

    // Only the stat value boxes and the skill rows' stat codes take a dropped die or chip.
    TextDropTarget::RefuseOtherDrops(m_panel);

    setMinimumWidth(TwipsToPx(kPanelWidthTwips + 2 * kPanelLeftTwips, this));
    setMinimumHeight(TwipsToPx(kMinimumHeightTwips, this));
    PlacePanel();
    // Keyboard focus never goes where it cannot be seen.
    m_focusFollower =
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { EnsureVisible(now); });
    // Fields the model never changes again (a "0" that New writes over "0") are only shown here.
    binding.RefreshAll();
}

SheetView::~SheetView()
{
    disconnect(m_focusFollower);
}

double SheetView::WindowHeightTwips() const
{
    // The frame allowance of the bound stands for the caption and menu, so the height is the
    // framed window's.
    return PxToTwips(window()->frameGeometry().height(), this);
}

void SheetView::PlacePanel()
{
    m_panel->move(TwipsToPx(kPanelLeftTwips, this), TwipsToPx(m_topTwips, this));
}

void SheetView::SetPanelTopTwips(int top)
{
    m_topTwips = top;
    PlacePanel();
}

bool SheetView::ScrollStep(int down)
{
    if (down > 0 && m_topTwips < 0) {
        m_topTwips += kScrollStepTwips;
    } else if (down < 0 && WindowHeightTwips() - kFrameAllowanceTwips - kPanelHeightTwips < m_topTwips) {
        m_topTwips -= kScrollStepTwips;
    } else {
        return false;
    }
    PlacePanel();
    return true;
}

void SheetView::EnsureVisible(const QWidget* widget)
{
    if (!widget || !m_panel->isAncestorOf(widget))
        return;
    auto shown = [this, widget] { return QRect(widget->mapTo(this, QPoint(0, 0)), widget->size()); };
    // Down first: a control taller than the view shows its top.
    while (shown().bottom() >= height() && shown().top() > 0 && ScrollStep(-1)) {
    }
    while (shown().top() < 0 && ScrollStep(+1)) {
    }
}

bool SheetView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_panel)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        m_panel->setCursor(ClosedHandCursor());
        m_lastMouseY = PxToTwips(mouse->globalPosition().y(), this);
        m_dragRemainder = 0;
        m_dragging = true;
        return true;
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (!m_dragging || mouse->buttons() == Qt::NoButton)
            return false;
        // The content follows the pointer in whole steps. The pointer is read on the screen, as
        // the panel moves under it, and what makes no whole step yet waits for the next move.
        const double y = PxToTwips(mouse->globalPosition().y(), this);
        m_dragRemainder += y - m_lastMouseY;
        m_lastMouseY = y;
        while (m_dragRemainder >= kScrollStepTwips) {
            m_dragRemainder -= kScrollStepTwips;
            if (!ScrollStep(+1))
                m_dragRemainder = 0; // at the bound, so turning back scrolls at once
        }
        while (m_dragRemainder <= -kScrollStepTwips) {
            m_dragRemainder += kScrollStepTwips;
            if (!ScrollStep(-1))
                m_dragRemainder = 0;
        }
        return true;
    }
    case QEvent::MouseButtonRelease:
        m_panel->setCursor(OpenHandCursor());
        m_dragging = false;
        return true;
    case QEvent::Wheel: {
        auto* wheel = static_cast<QWheelEvent*>(event);
        m_wheelRemainder += wheel->angleDelta().y();
        while (m_wheelRemainder >= 120) {
            ScrollStep(+1);
            m_wheelRemainder -= 120;
        }
        while (m_wheelRemainder <= -120) {
            ScrollStep(-1);
            m_wheelRemainder += 120;
        }
        return true;
    }
    default:
        return QWidget::eventFilter(watched, event);
    }
}

void SheetView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    PlacePanel();
}

} // namespace keld
