// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "character/SheetModel.h"

#include <QWidget>

#include <array>

class QLabel;
class QLineEdit;

namespace keld {

class SheetBinding;
class RankBarWidget;
class ValueLabel;

// The sheet's 36 skill rows: name, the two rank bars, the rank, stat, profession, item and
// special bonuses and the total, under their column headings. Every value comes from the model
// through the binding; the area only places the controls and forwards the user's actions.
class SkillGridArea : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeightTwips = 8400;

    SkillGridArea(SheetBinding& binding, QWidget* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct RowControls {
        QWidget* name = nullptr; // a caption, or the secondary skill's name box
        RankBarWidget* bar5 = nullptr;
        RankBarWidget* bar2 = nullptr;
        QLabel* rank = nullptr;
        QLabel* statCode = nullptr;
        QLabel* stat = nullptr;
        QLabel* prof = nullptr;
        std::array<QLineEdit*, 4> bonus{}; // Item1, Item2, Spec1, Spec2
        QLabel* total = nullptr;
    };

    void BuildHeadings();
    void BuildRow(int row);
    // Places a value label (a new one, or `made`) in its column of the row.
    QLabel* AddValueLabel(const QString& objectName, FieldId id, int row, const QString& description,
                          int column, ValueLabel* made = nullptr);
    QLineEdit* AddBonusBox(BonusBox box, int row);
    void Place(QWidget* widget, double x, double y, double width, double height);
    void ShowReadOnly(QLineEdit* edit, bool readOnly);

    SheetBinding& m_binding;
    std::array<RowControls, kSkillCount> m_rows{};
};

} // namespace keld
