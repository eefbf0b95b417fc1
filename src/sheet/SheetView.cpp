#include "sheet/SheetView.h"

#include "sheet/ArmorLanguageSpellArea.h"
#include "sheet/GeneralStatsArea.h"
#include "sheet/SheetCursors.h"
#include "sheet/SkillGridArea.h"
#include "sheet/binding/SheetBinding.h"
#include "ui/Twips.h"

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

    setMinimumWidth(TwipsToPx(kPanelWidthTwips + 2 * kPanelLeftTwips, this));
    PlacePanel();
    // Fields the model never changes again (a "0" that New writes over "0") are only shown here.
    binding.RefreshAll();
}

double SheetView::WindowHeightTwips() const
{
    return PxToTwips(window()->height(), this);
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

void SheetView::ScrollStep(int down)
{
    if (down > 0 && m_topTwips < 0) {
        m_topTwips += kScrollStepTwips;
    } else if (down < 0 && WindowHeightTwips() - kFrameAllowanceTwips - kPanelHeightTwips < m_topTwips) {
        m_topTwips -= kScrollStepTwips;
    } else {
        return;
    }
    PlacePanel();
}

bool SheetView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_panel)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        m_panel->setCursor(ClosedHandCursor());
        m_oldMouseY = PxToTwips(mouse->position().y(), this);
        m_dragging = true;
        return true;
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (!m_dragging || mouse->buttons() == Qt::NoButton)
            return false;
        // The position is taken in the panel's own coordinates, as the start was, so every move
        // on one side of the start scrolls one more step.
        const double y = PxToTwips(mouse->position().y(), this);
        if (y > m_oldMouseY)
            ScrollStep(+1);
        else if (y < m_oldMouseY)
            ScrollStep(-1);
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
