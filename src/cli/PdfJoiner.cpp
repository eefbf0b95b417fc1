// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/PdfJoiner.h"

#include "common/Utf8.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <utility>

namespace keld::cli {

namespace {

std::optional<long long> NumberAt(std::string_view text, std::size_t pos)
{
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\n' || text[pos] == '\r'))
        ++pos;
    long long value = 0;
    std::size_t digits = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 12; ++pos, ++digits)
        value = value * 10 + (text[pos] - '0');
    if (digits == 0)
        return std::nullopt;
    return value;
}

// The number after `key` ("/Size") in a dictionary's text.
std::optional<long long> KeyNumber(std::string_view dict, std::string_view key)
{
    for (std::size_t pos = dict.find(key); pos != std::string_view::npos; pos = dict.find(key, pos + 1)) {
        const std::size_t end = pos + key.size();
        // "/Pages" is not "/PagesX".
        if (end < dict.size() && (dict[end] == ' ' || dict[end] == '\n' || dict[end] == '\r'))
            return NumberAt(dict, end);
    }
    return std::nullopt;
}

// The cross-reference table the PDF writer writes: one section of in-use objects from 0.
struct CrossReference {
    std::vector<long long> offsets; // by object number; 0 for the free object 0
    long long start = 0;            // where the table starts (the file's startxref)
    std::string trailer;            // the trailer dictionary's text, without << >>
};

std::optional<CrossReference> ReadCrossReference(std::string_view pdf)
{
    CrossReference table;
    const std::size_t mark = pdf.rfind("startxref");
    if (mark == std::string_view::npos)
        return std::nullopt;
    const auto start = NumberAt(pdf, mark + 9);
    if (!start || *start <= 0 || static_cast<std::size_t>(*start) >= mark ||
        pdf.substr(static_cast<std::size_t>(*start), 4) != "xref")
        return std::nullopt;
    table.start = *start;
    std::size_t pos = static_cast<std::size_t>(*start) + 4;
    // "0 N": one section from the free object 0.
    const long long first = NumberAt(pdf, pos).value_or(-1);
    pos = pdf.find_first_of(" ", pdf.find_first_not_of("\r\n ", pos));
    const long long count = pos == std::string_view::npos ? -1 : NumberAt(pdf, pos).value_or(-1);
    if (first != 0 || count < 1 || count > 10'000'000)
        return std::nullopt;
    pos = pdf.find('\n', pos);
    if (pos == std::string_view::npos || pos + 1 + static_cast<std::size_t>(count) * 20 > mark)
        return std::nullopt;
    ++pos;
    for (long long i = 0; i < count; ++i, pos += 20) {
        const long long offset = NumberAt(pdf, pos).value_or(-1);
        if (offset < 0 || (i > 0 && (pdf[pos + 17] != 'n' || static_cast<std::size_t>(offset) >= mark)))
            return std::nullopt;
        table.offsets.push_back(i == 0 ? 0 : offset);
    }
    const std::size_t trailer = pdf.find("trailer", pos);
    const std::size_t open = trailer == std::string_view::npos ? trailer : pdf.find("<<", trailer);
    const std::size_t close = open == std::string_view::npos ? open : pdf.find(">>", open);
    if (close == std::string_view::npos || close > mark)
        return std::nullopt;
    table.trailer = std::string(pdf.substr(open + 2, close - open - 2));
    return table;
}

// A PDF text string: UTF-16 big-endian with its byte order mark, in hex, so any name fits.
std::string PdfTextString(std::string_view utf8)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string hex = "<FEFF";
    auto unit = [&](unsigned value) {
        for (int shift = 12; shift >= 0; shift -= 4)
            hex += digits[(value >> shift) & 0xF];
    };
    for (std::size_t pos = 0; pos < utf8.size();) {
        char32_t c = 0;
        if (!NextUtf8(utf8, pos, c)) {
            c = 0xFFFD;
            ++pos;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            unit(0xD800 + static_cast<unsigned>(c >> 10));
            unit(0xDC00 + static_cast<unsigned>(c & 0x3FF));
        } else {
            unit(static_cast<unsigned>(c));
        }
    }
    return hex + ">";
}

std::string CrossReferenceLine(std::size_t offset)
{
    char line[32];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
    return line;
}

void PutDigits(std::string& pdf, std::size_t pos, int value, int width)
{
    for (int i = width - 1; i >= 0; --i, value /= 10)
        pdf[pos + static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
}

bool AllDigits(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "D:YYYYMMDDHHmmSS" then "Z" or "+HH'mm'": the information's dates, in UTC.
void StampInfoDates(std::string& pdf, const std::tm& utc)
{
    for (std::string_view key : {std::string_view("/CreationDate (D:"), std::string_view("/ModDate (D:")}) {
        const std::size_t pos = pdf.find(key);
        if (pos == std::string::npos)
            continue;
        const std::size_t digits = pos + key.size();
        if (!AllDigits(std::string_view(pdf).substr(digits, 14)))
            continue;
        const int fields[] = {utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                              utc.tm_hour,        utc.tm_min,     utc.tm_sec};
        const int widths[] = {4, 2, 2, 2, 2, 2};
        std::size_t at = digits;
        for (int i = 0; i < 6; ++i) {
            PutDigits(pdf, at, fields[i], widths[i]);
            at += static_cast<std::size_t>(widths[i]);
        }
        if (at + 7 <= pdf.size() && (pdf[at] == '+' || pdf[at] == '-') && pdf[at + 3] == '\'') {
            pdf[at] = '+';
            PutDigits(pdf, at + 1, 0, 2);
            PutDigits(pdf, at + 4, 0, 2);
        }
    }
}

KeldError Unjoinable(const char* what)
{
    return KeldError(kErrInvalidArgument,
                     std::string("a character's PDF could not be joined to the others: ") + what);
}

bool IsWordByte(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+';
}

// The dictionary text with every reference "N 0 R" renumbered; false when one names an object
// that is not copied.
bool Renumber(std::string_view text, const std::vector<int>& numbers, std::string& out)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c < '0' || c > '9' || (i > 0 && IsWordByte(text[i - 1]))) {
            out += c;
            ++i;
            continue;
        }
        std::size_t j = i;
        long long number = 0;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9' && j - i < 12)
            number = number * 10 + (text[j++] - '0');
        const bool reference =
            text.substr(j, 4) == " 0 R" && (j + 4 == text.size() || !IsWordByte(text[j + 4]));
        if (!reference) {
            out.append(text.substr(i, j - i));
            i = j;
            continue;
        }
        if (number <= 0 || number >= static_cast<long long>(numbers.size()) ||
            numbers[static_cast<std::size_t>(number)] == 0)
            return false;
        out += std::to_string(numbers[static_cast<std::size_t>(number)]) + " 0 R";
        i = j + 4;
    }
    return true;
}

// Where an object's stream starts: the keyword "stream" right after its dictionary's ">>" and
// before a line end; a name holding the word ("/Mainstream") is not it.
std::size_t StreamStart(std::string_view text)
{
    for (std::size_t pos = text.find("stream"); pos != std::string_view::npos;
         pos = text.find("stream", pos + 1)) {
        std::size_t before = pos;
        while (before > 0 &&
               (text[before - 1] == '\n' || text[before - 1] == '\r' || text[before - 1] == ' '))
            --before;
        const bool afterDictionary = before >= 2 && text.substr(before - 2, 2) == ">>";
        const bool lineEnds = pos + 6 < text.size() && (text[pos + 6] == '\n' || text[pos + 6] == '\r');
        if (afterDictionary && lineEnds)
            return pos;
    }
    return std::string_view::npos;
}

std::string DateText(std::time_t when)
{
    std::tm utc{};
    gmtime_r(&when, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "(D:%04d%02d%02d%02d%02d%02dZ)", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

} // namespace

int PdfJoiner::NewObject()
{
    if (m_out.empty())
        m_out = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    m_offsets.push_back(0);
    return static_cast<int>(m_offsets.size());
}

void PdfJoiner::BeginObject(int number)
{
    m_offsets[static_cast<std::size_t>(number) - 1] = m_out.size();
    m_out += std::to_string(number) + " 0 obj";
}

Result<int> PdfJoiner::Add(std::string_view pdf)
{
    if (m_pagesTree == 0)
        m_pagesTree = NewObject();
    const auto table = ReadCrossReference(pdf);
    if (!table)
        return Unjoinable("its cross-reference table was not found");
    const std::size_t count = table->offsets.size();
    const long long root = KeyNumber(table->trailer, "/Root").value_or(0);
    const long long info = KeyNumber(table->trailer, "/Info").value_or(0);
    // Where each object ends: where the next one in the file starts, or the table.
    std::vector<std::pair<long long, std::size_t>> starts; // offset, number
    for (std::size_t k = 1; k < count; ++k)
        starts.emplace_back(table->offsets[k], k);
    std::sort(starts.begin(), starts.end());
    std::vector<std::pair<std::size_t, std::size_t>> bounds(count); // begin, end of the object's body
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const auto [offset, k] = starts[i];
        const std::size_t end = i + 1 < starts.size() ? static_cast<std::size_t>(starts[i + 1].first)
                                                      : static_cast<std::size_t>(table->start);
        const std::string head = std::to_string(k) + " 0 obj";
        if (pdf.substr(static_cast<std::size_t>(offset), head.size()) != head || end <= offset + head.size())
            return Unjoinable("an object is not where its table says");
        bounds[k] = {static_cast<std::size_t>(offset) + head.size(), end};
    }
    auto body = [&](long long k) {
        return k > 0 && static_cast<std::size_t>(k) < count
                   ? pdf.substr(bounds[static_cast<std::size_t>(k)].first,
                                bounds[static_cast<std::size_t>(k)].second -
                                    bounds[static_cast<std::size_t>(k)].first)
                   : std::string_view();
    };
    const long long tree = KeyNumber(body(root), "/Pages").value_or(0);
    const std::string_view treeText = body(tree);
    const std::size_t kids = treeText.find("/Kids");
    const std::size_t open = kids == std::string_view::npos ? kids : treeText.find('[', kids);
    const std::size_t close = open == std::string_view::npos ? open : treeText.find(']', open);
    if (root == 0 || info == 0 || close == std::string_view::npos)
        return Unjoinable("its catalog or page tree was not understood");

    const std::size_t outSize = m_out.size(), objects = m_offsets.size(), pages = m_pages.size();
    auto fail = [&](const char* what) {
        m_out.resize(outSize);
        m_offsets.resize(objects);
        m_pages.resize(pages);
        return Unjoinable(what);
    };
    // Everything but the catalog, the page tree and the information is copied, in the order of
    // its numbers; the pages hang from the joined page tree.
    std::vector<int> numbers(count, 0);
    for (std::size_t k = 1; k < count; ++k)
        if (static_cast<long long>(k) != root && static_cast<long long>(k) != info &&
            static_cast<long long>(k) != tree)
            numbers[k] = NewObject();
    numbers[static_cast<std::size_t>(tree)] = m_pagesTree;
    // The writer's page tree is flat: its kids are the pages, in order.
    std::string kidsText;
    if (!Renumber(treeText.substr(open + 1, close - open - 1), numbers, kidsText))
        return fail("its page tree names an object it does not have");
    for (std::size_t pos = 0; pos < kidsText.size();) {
        const auto number = NumberAt(kidsText, pos);
        const std::size_t reference = kidsText.find('R', pos);
        if (!number || reference == std::string::npos)
            break;
        m_pages.push_back(static_cast<int>(*number));
        pos = reference + 1;
    }
    for (std::size_t k = 1; k < count; ++k) {
        if (numbers[k] == 0 || numbers[k] == m_pagesTree)
            continue;
        const std::string_view text = body(static_cast<long long>(k));
        // A stream's bytes are copied as they are; only its dictionary names other objects.
        const std::size_t stream = StreamStart(text);
        BeginObject(numbers[k]);
        if (!Renumber(text.substr(0, stream), numbers, m_out))
            return fail("an object names one the PDF does not have");
        if (stream != std::string_view::npos)
            m_out.append(text.substr(stream));
    }
    return static_cast<int>(m_pages.size() - pages);
}

std::string PdfJoiner::Finish(const std::string& title, const std::string& creator,
                              const std::string& producer, std::time_t when,
                              const std::vector<OutlineEntry>& outline)
{
    if (m_pagesTree == 0)
        m_pagesTree = NewObject();
    const int info = NewObject();
    BeginObject(info);
    m_out += "\n<<\n/Title " + PdfTextString(title) + "\n/Creator " + PdfTextString(creator) +
             "\n/Producer " + PdfTextString(producer) + "\n/CreationDate " + DateText(when) +
             "\n>>\nendobj\n";

    int outlines = 0;
    if (!outline.empty()) {
        outlines = NewObject();
        const int first = outlines + 1;
        const int count = static_cast<int>(outline.size());
        BeginObject(outlines);
        m_out += "\n<<\n/Type /Outlines\n/First " + std::to_string(first) + " 0 R\n/Last " +
                 std::to_string(first + count - 1) + " 0 R\n/Count " + std::to_string(count) +
                 "\n>>\nendobj\n";
        for (int i = 0; i < count; ++i) {
            const OutlineEntry& entry = outline[static_cast<std::size_t>(i)];
            const int number = NewObject();
            BeginObject(number);
            m_out += "\n<<\n/Title " + PdfTextString(entry.title) + "\n/Parent " + std::to_string(outlines) +
                     " 0 R\n";
            if (i > 0)
                m_out += "/Prev " + std::to_string(number - 1) + " 0 R\n";
            if (i + 1 < count)
                m_out += "/Next " + std::to_string(number + 1) + " 0 R\n";
            const int page = std::clamp(entry.page, 0, std::max(0, PageCount() - 1));
            if (PageCount() > 0)
                m_out += "/Dest [" + std::to_string(m_pages[static_cast<std::size_t>(page)]) +
                         " 0 R /XYZ null null null]\n";
            m_out += ">>\nendobj\n";
        }
    }

    BeginObject(m_pagesTree);
    m_out += "\n<<\n/Type /Pages\n/Kids [\n";
    for (int page : m_pages)
        m_out += std::to_string(page) + " 0 R\n";
    m_out += "]\n/Count " + std::to_string(PageCount()) + "\n>>\nendobj\n";

    const int catalog = NewObject();
    BeginObject(catalog);
    m_out += "\n<<\n/Type /Catalog\n/Pages " + std::to_string(m_pagesTree) + " 0 R\n";
    if (outlines != 0)
        m_out += "/Outlines " + std::to_string(outlines) + " 0 R\n/PageMode /UseOutlines\n";
    m_out += ">>\nendobj\n";

    const std::size_t xref = m_out.size();
    m_out += "xref\n0 " + std::to_string(m_offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (std::size_t offset : m_offsets)
        m_out += CrossReferenceLine(offset);
    m_out += "trailer\n<<\n/Size " + std::to_string(m_offsets.size() + 1) + "\n/Info " +
             std::to_string(info) + " 0 R\n/Root " + std::to_string(catalog) + " 0 R\n>>\nstartxref\n" +
             std::to_string(xref) + "\n%%EOF\n";
    std::string out = std::move(m_out);
    *this = PdfJoiner();
    return out;
}

void StampPdfDate(std::string& pdf, std::time_t when)
{
    std::tm utc{};
    gmtime_r(&when, &utc);
    StampInfoDates(pdf, utc);
}

} // namespace keld::cli
