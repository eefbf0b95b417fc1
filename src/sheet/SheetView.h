// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QFrame;

namespace keld {

class SheetBinding;
class GeneralStatsArea;
class SkillGridArea;
class ArmorLanguageSpellArea;

// The sheet's content: the panel Frame1 with every field on it, scrolled vertically inside the
// window by dragging it or with the wheel. The areas lie on the panel top to bottom.
class SheetView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPanelWidthTwips = 7935;
    static constexpr int kPanelHeightTwips = 13260;
    static constexpr int kPanelLeftTwips = 120;
    static constexpr int kScrollStepTwips = 250;
    // What the window's frame (caption, menu, borders) takes from its height in the scroll bound.
    static constexpr int kFrameAllowanceTwips = 960;
    // Below this the window would show hardly a row of the sheet.
    static constexpr int kMinimumHeightTwips = 2880;

    SheetView(SheetBinding& binding, QWidget* parent = nullptr);
    ~SheetView() override;

    QWidget* Panel() const { return m_panel; }
    // The panel's top in twips: 0 or a negative multiple of the scroll step.
    int PanelTopTwips() const { return m_topTwips; }
    // One scroll step: down > 0 moves the content down (shows its upper part), < 0 up. The
    // bounds use the height of the window the sheet stands in (its frame included), in twips.
    // False when the bound stopped it.
    bool ScrollStep(int down);
    // Scrolls by whole steps until `widget` on the panel shows in the view, as far as it can.
    void EnsureVisible(const QWidget* widget);
    void SetPanelTopTwips(int top);

    GeneralStatsArea* GeneralStats() const { return m_generalStats; }
    SkillGridArea* SkillGrid() const { return m_skillGrid; }
    ArmorLanguageSpellArea* ArmorLanguagesSpells() const { return m_armorLanguagesSpells; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Scrolls to the focused control; dropped first when the view goes, since its children lose
    // the focus while they are destroyed.
    QMetaObject::Connection m_focusFollower;
    double WindowHeightTwips() const;
    void PlacePanel();

    QWidget* m_panel;
    GeneralStatsArea* m_generalStats;
    SkillGridArea* m_skillGrid;
    ArmorLanguageSpellArea* m_armorLanguagesSpells;
    int m_topTwips = 0;
    double m_lastMouseY = 0; // twips, global, where the drag last scrolled from
    double m_dragRemainder = 0; // twips the pointer moved that make no whole step yet
    bool m_dragging = false;
    int m_wheelRemainder = 0;
};

} // namespace keld
