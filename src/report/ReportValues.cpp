// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/ReportValues.h"

#include "character/CharacterRecord.h"
#include "character/SheetModel.h"

#include <string>

namespace keld {

std::vector<ReportValue> ReportValues(const SheetModel& sheet)
{
    const CharacterRecord& r = sheet.Record();
    std::vector<ReportValue> v;
    v.reserve(400);
    auto add = [&v](std::string placeholder, std::string value) {
        v.push_back({std::move(placeholder), std::move(value)});
    };
    auto numbered = [&add](const char* prefix, int index, std::string value) {
        add(std::string(prefix) + std::to_string(index) + "]", std::move(value));
    };

    add("[RACE]", sheet.RaceName());
    add("[NAME]", r.Name);
    add("[HT/WT]", r.Height + " " + r.Weight);
    add("[HAIR/EYES]", r.HairColor + " " + r.EyeColor);
    add("[DEMEANOR]", r.Demeanor);
    add("[SPECIAL]", r.Special);
    add("[REALM]", r.Realm == MagicRealm::Channeling ? "Channeling" : "Essence");
    add("[LEVEL]", r.Level);
    add("[EXPERIENCE]", r.Experience);
    add("[PROFESSION]", sheet.ProfessionName());
    for (int i = 0; i < kStatCount; ++i)
        numbered("[VA", i, r.Stats[i].Value);
    for (int i = 0; i < kStatCount; ++i)
        numbered("[NO", i, r.Stats[i].Norm);
    for (int i = 0; i < kStatCount; ++i)
        numbered("[RC", i, r.Stats[i].Race);
    for (int i = 0; i < kStatCount; ++i)
        numbered("[TO", i, r.Stats[i].Total);
    add("[PP]", r.PowerPoints);
    for (int i = kFirstSecondaryRow; i <= kLastSecondaryRow; ++i)
        numbered("[SECONDARY", i, r.Skills[i].SecondaryName);
    for (int i = 0; i < kSkillCount; ++i)
        numbered("[RA", i, r.Skills[i].Rank);
    for (int i = 0; i < kSkillCount; ++i)
        numbered("[ST", i, r.Skills[i].StatCode + " " + r.Skills[i].Stat);
    for (int i = 0; i < kSkillCount; ++i)
        numbered("[PR", i, r.Skills[i].Prof);
    for (int i = 0; i < kSkillCount; ++i)
        numbered("[ITA", i, r.Skills[i].Item1);
    for (int i = 0; i < kSkillCount; ++i)
        numbered("[ITB", i, r.Skills[i].Item2);
    for (int i = 0; i < kSkillCount; ++i)
        numbered("[SPA", i, r.Skills[i].Spec1);
    for (int i = 0; i < kSkillCount; ++i)
        numbered("[SPB", i, r.Skills[i].Spec2);
    for (int i = 0; i < kSkillCount; ++i)
        numbered("[SK", i, r.Skills[i].Total);
    static constexpr const char* kCoins[] = {"[GP]", "[SP]", "[BP]", "[CP]", "[TP]"};
    for (int i = 0; i < 5; ++i)
        add(kCoins[i], r.Money[i]);
    add("[JOURNAL]", r.Journal);
    add("[INVENTORY]", r.Inventory);
    add("[MISC]", r.Miscellaneous);
    add("[BACKGROUND]", r.Background);
    // Only embedded, never shown as text: the file where it is found.
    add("[PICTURE]", sheet.PictureFileToOpen());
    return v;
}

void FillData(RtfDocument& document, const SheetModel& sheet)
{
    FillData(document, ReportValues(sheet));
}

} // namespace keld
