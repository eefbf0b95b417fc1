// SPDX-License-Identifier: GPL-3.0-or-later
#include "character/SheetModel.h"

#include "character/CharacterRules.h"
#include "character/SheetModelShared.h"
#include "common/NumericValue.h"

// The rank rules: skill totals, the rank boxes, the 5% and 2% bars under the mouse, and the ranks
// a youth gives.

namespace keld {

using sheet_model::InRange;

namespace {

// Youth values (0-based) that give rows their 5% ranks, in the order they are applied.
struct YouthRow {
    int row;
    int value;
};
constexpr std::array<YouthRow, 23> MakeYouthRows()
{
    std::array<YouthRow, 23> rows{};
    for (int r = 0; r <= 20; ++r)
        rows[r] = {r, r};
    rows[21] = {22, 22};
    rows[22] = {23, 21};
    return rows;
}
constexpr std::array<YouthRow, 23> kYouthRows = MakeYouthRows();

} // namespace

void SheetModel::UpdateSkillTotal(int row)
{
    if (!InRange(row, 0, kSkillCount - 1))
        return;
    const SkillRow& s = m_record.Skills[row];
    double total = NumericValue(s.Rank);
    total += NumericValue(s.Stat);
    total += NumericValue(s.Prof);
    total += NumericValue(s.Item1);
    total += NumericValue(s.Item2);
    total += NumericValue(s.Spec1);
    total += NumericValue(s.Spec2);
    Assign(FieldId::SkillTotal, row, NumberText(total));
}

void SheetModel::SkillFieldChanged(BonusBox box, int row)
{
    if (!InRange(row, 0, kSkillCount - 1))
        return;
    // The replacement is itself a change and runs this rule again, which then finds "0".
    if (!IsWholeNumber(m_record.Bonus(row, box)))
        Assign(BoxField(box), row, "0");
    UpdateSkillTotal(row);
}

void SheetModel::SetBarValue(RankBar bar, int row, float value)
{
    const float max = bar == RankBar::Five ? static_cast<float>(Ranks5Max(row)) : float(kRanks2Max);
    // Values outside the bar are refused silently, as the bars do.
    if (!(value >= 0 && value <= max))
        return;
    float& slot = bar == RankBar::Five ? m_record.Skills[row].Ranks5 : m_record.Skills[row].Ranks2;
    if (slot == value)
        return;
    slot = value;
    Notify(bar == RankBar::Five ? FieldId::Ranks5 : FieldId::Ranks2, row);
}

void SheetModel::SetBar2State(int row, bool shown, bool enabled)
{
    if (m_bar2Shown[row] != shown) {
        m_bar2Shown[row] = shown;
        Notify(FieldId::Bar2Shown, row);
    }
    if (m_bar2Enabled[row] != enabled) {
        m_bar2Enabled[row] = enabled;
        Notify(FieldId::Bar2Enabled, row);
    }
}

void SheetModel::lblRank_Click(int row)
{
    // Rows 29..35 have no bars; their rank text is left alone.
    if (!InRange(row, 0, kBarRowCount - 1))
        return;
    const SkillRow& s = m_record.Skills[row];
    const double v = RoundHalfEven(static_cast<double>(s.Ranks2 + s.Ranks5));
    Assign(FieldId::Rank, row, v != 0 ? NumberText(v) : std::string("-25"));
}

void SheetModel::lblRank_Change(int row)
{
    if (!InRange(row, 0, kSkillCount - 1))
        return;
    if (row < kBarRowCount) {
        const double n = NumericValue(m_record.Skills[row].Rank);
        const int max = Ranks5Max(row);
        if (n >= 0) {
            if (n >= 1 && max >= n) {
                SetBarValue(RankBar::Five, row, static_cast<float>(n));
            } else if (max <= n && max + kRanks2Max >= n) {
                SetBarValue(RankBar::Five, row, static_cast<float>(max));
                SetBarValue(RankBar::Two, row, static_cast<float>(n - max));
            }
        } else {
            SetBarValue(RankBar::Five, row, 0);
            SetBarValue(RankBar::Two, row, 0);
        }
        if (row >= kArmorRowCount) {
            if (m_record.Skills[row].Ranks5 >= max) {
                SetBar2State(row, true, true);
            } else {
                SetBarValue(RankBar::Two, row, 0);
                SetBar2State(row, false, false);
            }
        }
    }
    UpdateSkillTotal(row);
}

void SheetModel::ChangeBar5By(int row, long long points)
{
    if (!InRange(row, 0, kBarRowCount - 1))
        return;
    // 32-bit arithmetic: a youth value too large for 16 bits fills or empties the bar instead of
    // failing halfway.
    const long long current = static_cast<long long>(RoundHalfEven(m_record.Skills[row].Ranks5));
    const long long target = current + points;
    const int max = Ranks5Max(row);
    if (max > target)
        SetBarValue(RankBar::Five, row, target > 0 ? static_cast<float>(target) : 0.0f);
    else
        SetBarValue(RankBar::Five, row, static_cast<float>(max));
    SetBar2State(row, m_bar2Shown[row], m_record.Skills[row].Ranks5 == max);
}

void SheetModel::barSkill5_IncreaseBy(int row, int amount)
{
    ChangeBar5By(row, 5LL * amount);
}

void SheetModel::barSkill5_DecreaseBy(int row, int amount)
{
    ChangeBar5By(row, -5LL * amount);
}

void SheetModel::FillYouthRanks(int youthIndex)
{
    if (!m_tables || !InRange(youthIndex, 0, static_cast<int>(m_tables->Youth.size()) - 1))
        return;
    const auto values = m_tables->Youth[youthIndex].Values;
    for (const YouthRow& y : kYouthRows)
        barSkill5_IncreaseBy(y.row, values[y.value]);
    for (int row = 0; row < kBarRowCount; ++row) {
        lblRank_Click(row);
        ProcessEvents();
    }
}

void SheetModel::RemoveYouthRanks(int youthIndex)
{
    if (!m_tables || !InRange(youthIndex, 0, static_cast<int>(m_tables->Youth.size()) - 1))
        return;
    const auto values = m_tables->Youth[youthIndex].Values;
    for (const YouthRow& y : kYouthRows)
        barSkill5_DecreaseBy(y.row, values[y.value]);
}

void SheetModel::lstYouth_Click()
{
    m_currYouthIndex = m_record.YouthIndex;
    if (m_currYouthIndex != m_oldYouthIndex) {
        if (m_oldYouthIndex != 0)
            RemoveYouthRanks(m_oldYouthIndex);
        FillYouthRanks(m_currYouthIndex);
    }
    m_oldYouthIndex = m_currYouthIndex;
}

void SheetModel::BarMouseDown(RankBar bar, int row, int button)
{
    const BarState state = Bar(bar, row);
    if (!state.Shown || !state.Enabled)
        return;
    const float step = bar == RankBar::Five ? 5.0f : 2.0f;
    if (const std::optional<float> value = BarPressValue(button, state.Value, step, state.Max))
        SetBarValue(bar, row, *value);
}

void SheetModel::BarMouseMove(RankBar bar, int row, int button, double x, double widthTwips)
{
    const BarState state = Bar(bar, row);
    if (!state.Shown || !state.Enabled)
        return;
    const float step = bar == RankBar::Five ? 5.0f : 2.0f;
    if (const std::optional<float> value = BarDragValue(button, state.Max, step, widthTwips, x))
        SetBarValue(bar, row, *value);
}

void SheetModel::BarMouseUp(RankBar bar, int row)
{
    const BarState state = Bar(bar, row);
    if (!state.Shown || !state.Enabled)
        return;
    if (bar == RankBar::Five && row >= kArmorRowCount) {
        if (m_record.Skills[row].Ranks5 >= Ranks5Max(row)) {
            SetBar2State(row, true, true);
        } else {
            SetBarValue(RankBar::Two, row, 0);
            SetBar2State(row, false, false);
        }
    }
    lblRank_Click(row);
}

} // namespace keld
