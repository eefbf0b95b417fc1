#include "cli/PdfOutline.h"

#include "common/Utf8.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

namespace keld::cli {

namespace {

KeldError Unreadable(const char* what)
{
    return KeldError(kErrInvalidArgument, std::string("the PDF could not be given its bookmarks: ") + what);
}

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

// The text of object `number` (between "obj" and "endobj"); empty when it is not there.
std::string_view ObjectText(std::string_view pdf, const CrossReference& table, long long number)
{
    if (number <= 0 || number >= static_cast<long long>(table.offsets.size()))
        return {};
    const std::size_t at = static_cast<std::size_t>(table.offsets[static_cast<std::size_t>(number)]);
    const std::string head = std::to_string(number) + " 0 obj";
    if (pdf.substr(at, head.size()) != head)
        return {};
    const std::size_t end = pdf.find("endobj", at);
    if (end == std::string_view::npos)
        return {};
    return pdf.substr(at + head.size(), end - at - head.size());
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

// The dictionary's lines without those of the given keys.
std::string WithoutKeys(std::string_view dict, std::initializer_list<std::string_view> keys)
{
    std::string kept;
    std::size_t pos = 0;
    while (pos < dict.size()) {
        std::size_t end = dict.find('\n', pos);
        end = end == std::string_view::npos ? dict.size() : end + 1;
        const std::string_view line = dict.substr(pos, end - pos);
        bool drop = false;
        for (std::string_view key : keys)
            drop =
                drop || (line.substr(0, key.size()) == key &&
                         (line.size() == key.size() || line[key.size()] == ' ' || line[key.size()] == '\n'));
        if (!drop)
            kept += line;
        pos = end;
    }
    if (!kept.empty() && kept.back() != '\n')
        kept += '\n';
    return kept;
}

} // namespace

Status AddOutline(std::string& pdf, const std::vector<OutlineEntry>& entries)
{
    if (entries.empty())
        return Success();
    const auto table = ReadCrossReference(pdf);
    if (!table)
        return Unreadable("its cross-reference table was not found");
    const auto size = KeyNumber(table->trailer, "/Size");
    const auto root = KeyNumber(table->trailer, "/Root");
    if (!size || !root || *size != static_cast<long long>(table->offsets.size()))
        return Unreadable("its trailer was not understood");
    const std::string_view catalog = ObjectText(pdf, *table, *root);
    const auto pagesNumber = KeyNumber(catalog, "/Pages");
    const std::string_view pagesTree =
        pagesNumber ? ObjectText(pdf, *table, *pagesNumber) : std::string_view();
    const std::size_t kids = pagesTree.find("/Kids");
    const std::size_t open = kids == std::string_view::npos ? kids : pagesTree.find('[', kids);
    const std::size_t close = open == std::string_view::npos ? open : pagesTree.find(']', open);
    const std::size_t dictOpen = catalog.find("<<");
    const std::size_t dictClose = catalog.rfind(">>");
    if (close == std::string_view::npos || dictOpen == std::string_view::npos ||
        dictClose == std::string_view::npos || dictClose < dictOpen)
        return Unreadable("its catalog or page tree was not understood");
    // The writer's page tree is flat: its kids are the pages, in order.
    std::vector<long long> pages;
    for (std::size_t pos = open + 1; pos < close;) {
        const auto number = NumberAt(pagesTree, pos);
        const std::size_t reference = pagesTree.find('R', pos);
        if (!number || reference == std::string_view::npos || reference > close)
            break;
        pages.push_back(*number);
        pos = reference + 1;
    }

    const long long first = *size;
    const long long count = static_cast<long long>(entries.size());
    std::string update = pdf.back() == '\n' ? "" : "\n";
    std::vector<std::pair<long long, std::size_t>> written; // object number, offset
    auto begin = [&](long long number) {
        written.emplace_back(number, pdf.size() + update.size());
        update += std::to_string(number) + " 0 obj\n";
    };
    begin(first);
    update += "<<\n/Type /Outlines\n/First " + std::to_string(first + 1) + " 0 R\n/Last " +
              std::to_string(first + count) + " 0 R\n/Count " + std::to_string(count) + "\n>>\nendobj\n";
    for (long long i = 0; i < count; ++i) {
        const OutlineEntry& entry = entries[static_cast<std::size_t>(i)];
        if (entry.page < 0 || static_cast<std::size_t>(entry.page) >= pages.size())
            return Unreadable("a bookmark points past the last page");
        const long long number = first + 1 + i;
        begin(number);
        update +=
            "<<\n/Title " + PdfTextString(entry.title) + "\n/Parent " + std::to_string(first) + " 0 R\n";
        if (i > 0)
            update += "/Prev " + std::to_string(number - 1) + " 0 R\n";
        if (i + 1 < count)
            update += "/Next " + std::to_string(number + 1) + " 0 R\n";
        update += "/Dest [" + std::to_string(pages[static_cast<std::size_t>(entry.page)]) +
                  " 0 R /XYZ null null null]\n>>\nendobj\n";
    }
    // The catalog again, with the outline, which a viewer opens beside the pages.
    const std::string_view body = catalog.substr(dictOpen + 2, dictClose - dictOpen - 2);
    begin(*root);
    update += "<<" + WithoutKeys(body, {"/Outlines", "/PageMode"}) + "/Outlines " + std::to_string(first) +
              " 0 R\n/PageMode /UseOutlines\n>>\nendobj\n";

    const std::size_t xref = pdf.size() + update.size();
    update += "xref\n0 1\n0000000000 65535 f \n";
    update += std::to_string(*root) + " 1\n" + CrossReferenceLine(written.back().second);
    update += std::to_string(first) + " " + std::to_string(count + 1) + "\n";
    for (std::size_t i = 0; i + 1 < written.size(); ++i)
        update += CrossReferenceLine(written[i].second);
    update += "trailer\n<<" + WithoutKeys(table->trailer, {"/Size", "/Prev"}) + "/Size " +
              std::to_string(first + count + 1) + "\n/Prev " + std::to_string(table->start) +
              "\n>>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    pdf += update;
    return Success();
}

namespace {

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

// "YYYY-MM-DDTHH:MM:SS" then "Z" or "+HH:MM": the metadata's dates, in UTC.
void StampMetadataDates(std::string& pdf, const std::tm& utc)
{
    static const std::string_view tags[] = {"<xmp:CreateDate>", "<xmp:ModifyDate>", "<xmp:MetadataDate>"};
    for (std::string_view tag : tags) {
        for (std::size_t pos = pdf.find(tag); pos != std::string::npos; pos = pdf.find(tag, pos + 1)) {
            const std::size_t at = pos + tag.size();
            if (at + 19 > pdf.size() || pdf[at + 4] != '-' || pdf[at + 10] != 'T')
                continue;
            PutDigits(pdf, at, utc.tm_year + 1900, 4);
            PutDigits(pdf, at + 5, utc.tm_mon + 1, 2);
            PutDigits(pdf, at + 8, utc.tm_mday, 2);
            PutDigits(pdf, at + 11, utc.tm_hour, 2);
            PutDigits(pdf, at + 14, utc.tm_min, 2);
            PutDigits(pdf, at + 17, utc.tm_sec, 2);
            const std::size_t zone = at + 19;
            if (zone + 6 <= pdf.size() && (pdf[zone] == '+' || pdf[zone] == '-') && pdf[zone + 3] == ':') {
                pdf[zone] = '+';
                PutDigits(pdf, zone + 1, 0, 2);
                PutDigits(pdf, zone + 4, 0, 2);
            }
        }
    }
}

std::uint64_t Fnv1a(std::string_view bytes, std::uint64_t hash)
{
    for (unsigned char c : bytes)
        hash = (hash ^ c) * 0x100000001b3ULL;
    return hash;
}

std::string Hex(std::string_view bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 0xF];
    }
    return hex;
}

} // namespace

void StampPdf(std::string& pdf, std::time_t when)
{
    std::tm utc{};
    gmtime_r(&when, &utc);
    StampInfoDates(pdf, utc);
    StampMetadataDates(pdf, utc);

    // The writer's random document identifier, "uuid:" in the metadata and its text in hex in
    // the trailer, becomes one made from the document's other bytes.
    const std::size_t mark = pdf.find("uuid:");
    if (mark == std::string::npos || mark + 5 + 36 > pdf.size())
        return;
    const std::string uuid = pdf.substr(mark + 5, 36);
    if (uuid[8] != '-' || uuid[13] != '-' || uuid[18] != '-' || uuid[23] != '-')
        return;
    // Where the identifier stands, found before any of it changes.
    const std::string hexUuid = Hex(uuid);
    std::vector<std::pair<std::size_t, bool>> places; // position, in hex
    for (std::size_t pos = pdf.find(uuid); pos != std::string::npos; pos = pdf.find(uuid, pos + uuid.size()))
        places.emplace_back(pos, false);
    for (std::size_t pos = pdf.find(hexUuid); pos != std::string::npos;
         pos = pdf.find(hexUuid, pos + hexUuid.size()))
        places.emplace_back(pos, true);
    auto put = [&](const std::string& text) {
        for (const auto& [pos, hex] : places)
            pdf.replace(pos, hex ? hexUuid.size() : uuid.size(), hex ? Hex(text) : text);
    };
    put(std::string(36, '0'));
    const std::uint64_t high = Fnv1a(pdf, 0xcbf29ce484222325ULL);
    const std::uint64_t low = Fnv1a(pdf, high ^ 0x9e3779b97f4a7c15ULL);
    char made[40];
    std::snprintf(made, sizeof made, "%08llx-%04llx-%04llx-%04llx-%012llx",
                  static_cast<unsigned long long>(high >> 32),
                  static_cast<unsigned long long>((high >> 16) & 0xFFFF),
                  static_cast<unsigned long long>(0x5000 | (high & 0x0FFF)),
                  static_cast<unsigned long long>(0x8000 | ((low >> 48) & 0x3FFF)),
                  static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFULL));
    put(made);
}

} // namespace keld::cli
