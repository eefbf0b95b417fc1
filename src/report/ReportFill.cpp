// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/ReportFill.h"

#include "common/ImageDecode.h"
#include "common/NumericValue.h"
#include "common/TextFile.h"
#include "report/RtfPicture.h"
#include "report/RtfText.h"

#include <algorithm>
#include <unordered_map>

namespace keld {

namespace {

bool IsPictureStep(std::string_view placeholder)
{
    return placeholder.find("PICTURE") != std::string_view::npos;
}

// The picture group for a file, or nothing when the file cannot be embedded.
std::string PictureGroup(std::string_view path)
{
    if (path.empty())
        return {};
    auto bytes = ReadPictureFileBytes(PathFromUtf8(path));
    if (!bytes)
        return {};
    auto picture = MakeRtfPicture(*bytes);
    return picture ? std::move(picture->group) : std::string();
}

struct U32Hash {
    std::size_t operator()(const std::u32string& s) const noexcept
    {
        std::size_t h = 1469598103934665603ull;
        for (char32_t c : s)
            h = (h ^ c) * 1099511628211ull;
        return h;
    }
};

} // namespace

RtfTextFormat RememberedFormat(const RtfDocument& document, std::size_t start, std::size_t length)
{
    RtfTextFormat mixed = document.RangeFormat(start, length);
    RtfTextFormat first = document.CharacterFormat(start);
    RtfTextFormat f;
    // A switch that differs over the placeholder is off; the rest follow its first character.
    f.bold = mixed.bold.value_or(false);
    f.italic = mixed.italic.value_or(false);
    f.underline = mixed.underline.value_or(false);
    f.strike = mixed.strike.value_or(false);
    f.color = mixed.color ? mixed.color : first.color;
    f.fontName = mixed.fontName ? mixed.fontName : first.fontName;
    double size = mixed.fontSize ? *mixed.fontSize : first.fontSize.value_or(12);
    f.fontSize = RoundHalfEven(size);
    return f;
}

void ReplaceIt(RtfDocument& document, std::string_view strFind, std::string_view strReplace)
{
    std::size_t pos = document.Find(strFind);
    if (pos == RtfDocument::npos) {
        document.Select(document.SelectionStart(), 0);
        return;
    }
    std::size_t length = Utf8ToUtf32(strFind).size();
    if (IsPictureStep(strFind)) {
        std::string group = PictureGroup(strReplace);
        if (!group.empty())
            document.ReplaceRanges({RtfDocument::Replacement{pos, length, {}, {}, std::move(group)}});
        document.Select(pos, 0);
        return;
    }
    document.Select(pos, length);
    RtfTextFormat format = RememberedFormat(document, pos, length);
    document.ReplaceSelection(strReplace, format);
    document.Select(pos, 0);
}

void FillData(RtfDocument& document, const std::vector<ReportValue>& steps)
{
    // Placeholders are bracketed words, so the first occurrence of each is found by looking up
    // every bracketed word of the text once. Values go in afterwards and are never searched.
    std::unordered_map<std::u32string, std::size_t, U32Hash> wanted;
    std::size_t longest = 0;
    for (std::size_t k = 0; k < steps.size(); ++k) {
        std::u32string key = Utf8ToUtf32(steps[k].placeholder);
        bool bracketed = key.size() >= 2 && key.front() == U'[' && key.back() == U']' &&
                         std::count(key.begin(), key.end(), U'[') == 1 &&
                         std::count(key.begin(), key.end(), U']') == 1;
        if (!bracketed) {
            // Not a bracketed word: fall back on the plain search, step by step.
            ReplaceIt(document, steps[k].placeholder, steps[k].value);
            continue;
        }
        for (char32_t& c : key)
            c = FoldCase(c);
        longest = std::max(longest, key.size());
        wanted.try_emplace(std::move(key), k);
    }

    std::vector<std::size_t> found(steps.size(), RtfDocument::npos);
    const std::u32string& text = document.Text();
    std::u32string key;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != U'[')
            continue;
        std::size_t limit = std::min(text.size(), i + longest);
        std::size_t j = i + 1;
        while (j < limit && text[j] != U']' && text[j] != U'[')
            ++j;
        if (j >= limit || text[j] != U']')
            continue;
        key.assign(text, i, j + 1 - i);
        for (char32_t& c : key)
            c = FoldCase(c);
        auto it = wanted.find(key);
        if (it != wanted.end() && found[it->second] == RtfDocument::npos)
            found[it->second] = i;
        i = j;
    }

    std::vector<RtfDocument::Replacement> replacements;
    for (std::size_t k = 0; k < steps.size(); ++k) {
        std::size_t pos = found[k];
        if (pos == RtfDocument::npos)
            continue;
        std::size_t length = Utf8ToUtf32(steps[k].placeholder).size();
        RtfDocument::Replacement r;
        r.start = pos;
        r.length = length;
        if (IsPictureStep(steps[k].placeholder)) {
            r.rtf = PictureGroup(steps[k].value);
            if (r.rtf.empty())
                continue;
        } else {
            r.text = steps[k].value;
            r.format = RememberedFormat(document, pos, length);
        }
        replacements.push_back(std::move(r));
    }
    if (!replacements.empty())
        document.ReplaceRanges(std::move(replacements));
    document.Select(0, 0);
}

} // namespace keld
