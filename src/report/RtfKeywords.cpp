// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/RtfKeywords.h"

#include <algorithm>
#include <limits>
#include <unordered_map>

namespace keld::rtf {

namespace {

// Longer words are cut to one letter more, which no entry matches.
constexpr std::size_t kMaxWordLetters = 32;

constexpr std::uint8_t kEngine = static_cast<std::uint8_t>(KwReader::Engine);
constexpr std::uint8_t kLayout = static_cast<std::uint8_t>(KwReader::Layout);
constexpr std::uint8_t kBoth = kEngine | kLayout;

struct Entry {
    KwInfo info;
    std::uint8_t readers = kBoth;
    bool listMark = false;
    bool layoutOnly = false; // a destination the layout reads and the engine hides, \* or not
};

using Table = std::unordered_map<std::string_view, Entry>;

constexpr std::int32_t Arg(Side side)
{
    return static_cast<std::int32_t>(side);
}

constexpr std::int32_t Arg(BorderLine line)
{
    return static_cast<std::int32_t>(line);
}

constexpr std::int32_t Arg(Family family)
{
    return static_cast<std::int32_t>(family);
}

// Destinations whose text is not shown; those written with \* need no entry.
void AddHiddenDestinations(Table& t)
{
    for (const char* d : {"stylesheet",   "info",
                          "listtable",    "listoverridetable",
                          "rsidtbl",      "generator",
                          "themedata",    "colorschememapping",
                          "latentstyles", "datastore",
                          "objdata",      "objclass",
                          "objname",      "ftnsep",
                          "ftnsepc",      "ftncn",
                          "aftnsep",      "aftnsepc",
                          "aftncn",       "shprslt",
                          "shpinst",      "nonshppict",
                          "do",           "atnid",
                          "atnauthor",    "atndate",
                          "atnref",       "annotation",
                          "fchars",       "lchars",
                          "pgdsctbl",     "sp",
                          "sn",           "sv",
                          "bkmkstart",    "bkmkend",
                          "xmlnstbl",     "mmathPr",
                          "userprops",    "docvar",
                          "background",   "listpicture",
                          "private",      "picprop",
                          "blipuid",      "falt",
                          "panose",       "fname",
                          "formfield",    "datafield",
                          "txfieldtext",  "revtbl",
                          "protusertbl",  "wgrffmtfilter",
                          "pgptbl",       "passwordhash",
                          "pn",           "xe",
                          "tc",           "txe",
                          "rxe",          "author",
                          "operator",     "title",
                          "subject",      "keywords",
                          "comment",      "doccomm",
                          "company",      "creatim",
                          "revtim",       "printim",
                          "buptim",       "template",
                          "filetbl"})
        t[d] = {{Kw::SkipDest}};
    // List numbers as the writer last drew them: the engine leaves them out, the layout shows them.
    for (const char* d : {"listtext", "pntext", "pntxta", "pntxtb"})
        t[d] = {{Kw::SkipDest}, kEngine, true};
    for (const char* d : {"nonesttables", "fldtype", "shptxt", "mhtmltag", "htmltag"})
        t[d] = {{Kw::SkipDest}, kLayout};
}

void AddDestinations(Table& t)
{
    t["fonttbl"] = {{Kw::Fonttbl}};
    t["colortbl"] = {{Kw::Colortbl}};
    t["header"] = {{Kw::Header}};
    t["headerr"] = {{Kw::Header}};
    t["headerf"] = {{Kw::HeaderFirst}};
    t["headerl"] = {{Kw::HeaderLeft}};
    t["footer"] = {{Kw::Footer}};
    t["footerr"] = {{Kw::Footer}};
    t["footerf"] = {{Kw::FooterFirst}};
    t["footerl"] = {{Kw::FooterLeft}};
    t["footnote"] = {{Kw::Footnote}};
    t["pict"] = {{Kw::Pict}};
    t["shppict"] = {{Kw::Shppict}};
    // A shape's properties hold its picture, which the layout draws; the engine edits no part of them.
    t["shpinst"] = {{Kw::Shape}, kLayout, false, true};
    t["sp"] = {{Kw::ShapeProperty, 0}, kLayout, false, true};
    t["sn"] = {{Kw::ShapeProperty, 1}, kLayout, false, true};
    t["sv"] = {{Kw::ShapeProperty, 2}, kLayout, false, true};
    t["object"] = {{Kw::Object}};
    t["result"] = {{Kw::Result}};
    t["fldinst"] = {{Kw::Fldinst}};
    t["nesttableprops"] = {{Kw::NestTableProps}};
    t["upr"] = {{Kw::Upr}};
    t["ud"] = {{Kw::Ud}};
    t["field"] = {{Kw::Field}, kLayout};
    t["defpap"] = {{Kw::DefPap}};
    t["defchp"] = {{Kw::DefChp}};
}

void AddDocumentAndFonts(Table& t)
{
    t["rtf"] = {{Kw::Rtf}, kEngine};
    t["ansicpg"] = {{Kw::Ansicpg}, kEngine};
    t["mac"] = {{Kw::Mac}, kEngine};
    t["pc"] = {{Kw::Pc}, kEngine};
    t["pca"] = {{Kw::Pca}, kEngine};
    t["deff"] = {{Kw::Deff}};
    t["fnil"] = {{Kw::FontFamily, Arg(Family::Any)}, kLayout};
    t["froman"] = {{Kw::FontFamily, Arg(Family::Serif)}, kLayout};
    t["fswiss"] = {{Kw::FontFamily, Arg(Family::Sans)}, kLayout};
    t["fmodern"] = {{Kw::FontFamily, Arg(Family::Mono)}, kLayout};
    t["fscript"] = {{Kw::FontFamily, Arg(Family::Script)}, kLayout};
    t["fdecor"] = {{Kw::FontFamily, Arg(Family::Decor)}, kLayout};
    t["ftech"] = {{Kw::FontFamily, Arg(Family::Any)}, kLayout};
    t["fcharset"] = {{Kw::Fcharset}};
    t["cpg"] = {{Kw::Cpg}, kEngine};
    t["red"] = {{Kw::Red}, kEngine};
    t["green"] = {{Kw::Green}, kEngine};
    t["blue"] = {{Kw::Blue}, kEngine};
}

void AddCharacterFormats(Table& t)
{
    t["f"] = {{Kw::F}};
    t["fs"] = {{Kw::Fs}};
    t["b"] = {{Kw::B}};
    t["i"] = {{Kw::I}};
    for (const char* ul : {"ul", "ulth", "ulw"})
        t[ul] = {{Kw::Ul}};
    for (const char* ul : {"ulhair", "ulthick"})
        t[ul] = {{Kw::Ul}, kLayout};
    for (const char* ul : {"uld", "ulthd", "ulhwave"})
        t[ul] = {{Kw::UlDotted}};
    for (const char* ul :
         {"uldash", "uldashd", "uldashdd", "ulldash", "ulthdash", "ulthdashd", "ulthdashdd", "ulthldash"})
        t[ul] = {{Kw::UlDash}};
    for (const char* ul : {"ulwave", "ululdbwave"})
        t[ul] = {{Kw::UlWave}};
    t["uldb"] = {{Kw::UlDouble}};
    t["ulnone"] = {{Kw::UlNone}};
    t["strike"] = {{Kw::Strike}};
    t["striked"] = {{Kw::Strike}};
    t["cf"] = {{Kw::Cf}};
    t["v"] = {{Kw::V}};
    t["plain"] = {{Kw::Plain}};
    t["cb"] = {{Kw::Cb}, kLayout};
    t["chcbpat"] = {{Kw::Cb}, kLayout};
    t["highlight"] = {{Kw::Highlight}, kLayout};
    t["caps"] = {{Kw::Caps}, kLayout};
    t["scaps"] = {{Kw::Scaps}, kLayout};
    t["super"] = {{Kw::Super}, kLayout};
    t["sub"] = {{Kw::Sub}, kLayout};
    t["nosupersub"] = {{Kw::NoSuperSub}, kLayout};
    t["up"] = {{Kw::Up}, kLayout};
    t["dn"] = {{Kw::Dn}, kLayout};
}

// The engine keeps these in the source untouched; only the layout reads them.
void AddParagraphFormats(Table& t)
{
    t["pard"] = {{Kw::Pard}, kLayout};
    t["ql"] = {{Kw::Ql}, kLayout};
    t["qc"] = {{Kw::Qc}, kLayout};
    t["qr"] = {{Kw::Qr}, kLayout};
    t["qj"] = {{Kw::Qj}, kLayout};
    t["qd"] = {{Kw::Qj}, kLayout};
    t["li"] = {{Kw::Li}, kLayout};
    t["lin"] = {{Kw::Li}, kLayout};
    t["ri"] = {{Kw::Ri}, kLayout};
    t["rin"] = {{Kw::Ri}, kLayout};
    t["fi"] = {{Kw::Fi}, kLayout};
    t["sb"] = {{Kw::Sb}, kLayout};
    t["sa"] = {{Kw::Sa}, kLayout};
    t["sl"] = {{Kw::Sl}, kLayout};
    t["slmult"] = {{Kw::Slmult}, kLayout};
    t["pagebb"] = {{Kw::Pagebb}, kLayout};
    t["intbl"] = {{Kw::Intbl}, kLayout};
    t["itap"] = {{Kw::Itap}, kLayout};
    t["tx"] = {{Kw::Tx}, kLayout};
    t["tqr"] = {{Kw::Tqr}, kLayout};
    t["tqc"] = {{Kw::Tqc}, kLayout};
    t["tqdec"] = {{Kw::Tqdec}, kLayout};
    t["cbpat"] = {{Kw::Cbpat}, kLayout};
    t["keepn"] = {{Kw::Keepn}, kLayout};
    t["brsp"] = {{Kw::Brsp}, kLayout};
    t["brdrt"] = {{Kw::ParaBorder, Arg(Side::Top)}, kLayout};
    t["brdrl"] = {{Kw::ParaBorder, Arg(Side::Left)}, kLayout};
    t["brdrb"] = {{Kw::ParaBorder, Arg(Side::Bottom)}, kLayout};
    t["brdrr"] = {{Kw::ParaBorder, Arg(Side::Right)}, kLayout};
    t["box"] = {{Kw::ParaBorder, 4}, kLayout};
    for (const char* b : {"brdrbtw", "brdrbar"})
        t[b] = {{Kw::ParaBorder, 5}, kLayout};
}

void AddTables(Table& t)
{
    t["trowd"] = {{Kw::Trowd}, kLayout};
    t["trleft"] = {{Kw::Trleft}, kLayout};
    t["trgaph"] = {{Kw::Trgaph}, kLayout};
    t["trrh"] = {{Kw::Trrh}, kLayout};
    t["trql"] = {{Kw::Trql}, kLayout};
    t["trqc"] = {{Kw::Trqc}, kLayout};
    t["trqr"] = {{Kw::Trqr}, kLayout};
    t["trhdr"] = {{Kw::Trhdr}, kLayout};
    t["trpaddt"] = {{Kw::Trpadd, Arg(Side::Top)}, kLayout};
    t["trpaddl"] = {{Kw::Trpadd, Arg(Side::Left)}, kLayout};
    t["trpaddb"] = {{Kw::Trpadd, Arg(Side::Bottom)}, kLayout};
    t["trpaddr"] = {{Kw::Trpadd, Arg(Side::Right)}, kLayout};
    t["trbrdrt"] = {{Kw::RowBorder, 0}, kLayout};
    t["trbrdrl"] = {{Kw::RowBorder, 1}, kLayout};
    t["trbrdrb"] = {{Kw::RowBorder, 2}, kLayout};
    t["trbrdrr"] = {{Kw::RowBorder, 3}, kLayout};
    t["trbrdrh"] = {{Kw::RowBorder, 4}, kLayout};
    t["trbrdrv"] = {{Kw::RowBorder, 5}, kLayout};
    t["cellx"] = {{Kw::Cellx}, kLayout};
    t["clbrdrt"] = {{Kw::CellBorder, Arg(Side::Top)}, kLayout};
    t["clbrdrl"] = {{Kw::CellBorder, Arg(Side::Left)}, kLayout};
    t["clbrdrb"] = {{Kw::CellBorder, Arg(Side::Bottom)}, kLayout};
    t["clbrdrr"] = {{Kw::CellBorder, Arg(Side::Right)}, kLayout};
    t["clcbpat"] = {{Kw::Clcbpat}, kLayout};
    t["clvertalt"] = {{Kw::Clvertalt}, kLayout};
    t["clvertalc"] = {{Kw::Clvertalc}, kLayout};
    t["clvertalb"] = {{Kw::Clvertalb}, kLayout};
    t["clvmgf"] = {{Kw::Clvmgf}, kLayout};
    t["clvmrg"] = {{Kw::Clvmrg}, kLayout};
    t["clmgf"] = {{Kw::Clmgf}, kLayout};
    t["clmrg"] = {{Kw::Clmrg}, kLayout};
    // Writers put the top padding in \clpadl and the left one in \clpadt; readers follow them.
    t["clpadl"] = {{Kw::Clpad, Arg(Side::Top)}, kLayout};
    t["clpadt"] = {{Kw::Clpad, Arg(Side::Left)}, kLayout};
    t["clpadb"] = {{Kw::Clpad, Arg(Side::Bottom)}, kLayout};
    t["clpadr"] = {{Kw::Clpad, Arg(Side::Right)}, kLayout};
    for (const char* b : {"brdrs", "brdrth", "brdrsh", "brdrhair"})
        t[b] = {{Kw::BorderStyle, Arg(BorderLine::Single)}, kLayout};
    for (const char* b : {"brdrtriple", "brdrdb"})
        t[b] = {{Kw::BorderStyle, Arg(BorderLine::Double)}, kLayout};
    t["brdrdot"] = {{Kw::BorderStyle, Arg(BorderLine::Dotted)}, kLayout};
    for (const char* b : {"brdrdash", "brdrdashsm", "brdrdashd", "brdrdashdd"})
        t[b] = {{Kw::BorderStyle, Arg(BorderLine::Dashed)}, kLayout};
    for (const char* b : {"brdrnone", "brdrnil", "brdrtbl"})
        t[b] = {{Kw::BorderStyle, Arg(BorderLine::None)}, kLayout};
    t["brdrw"] = {{Kw::Brdrw}, kLayout};
    t["brdrcf"] = {{Kw::Brdrcf}, kLayout};
}

void AddPages(Table& t)
{
    t["paperw"] = {{Kw::Paperw}, kLayout};
    t["pgwsxn"] = {{Kw::Paperw}, kLayout};
    t["paperh"] = {{Kw::Paperh}, kLayout};
    t["pghsxn"] = {{Kw::Paperh}, kLayout};
    t["margl"] = {{Kw::Margl}, kLayout};
    t["marglsxn"] = {{Kw::Margl}, kLayout};
    t["margr"] = {{Kw::Margr}, kLayout};
    t["margrsxn"] = {{Kw::Margr}, kLayout};
    t["margt"] = {{Kw::Margt}, kLayout};
    t["margtsxn"] = {{Kw::Margt}, kLayout};
    t["margb"] = {{Kw::Margb}, kLayout};
    t["margbsxn"] = {{Kw::Margb}, kLayout};
    t["landscape"] = {{Kw::Landscape}, kLayout};
    t["lndscpsxn"] = {{Kw::Landscape}, kLayout};
    t["headery"] = {{Kw::Headery}, kLayout};
    t["footery"] = {{Kw::Footery}, kLayout};
    t["titlepg"] = {{Kw::Titlepg}, kLayout};
    t["facingp"] = {{Kw::Facingp}, kLayout};
    t["deftab"] = {{Kw::Deftab}, kLayout};
    t["sect"] = {{Kw::Sect}};
    t["sectd"] = {{Kw::Sectd}, kLayout};
    t["sbknone"] = {{Kw::SbkNone}, kLayout};
    t["sbkcol"] = {{Kw::SbkNone}, kLayout};
    t["sbkpage"] = {{Kw::SbkPage}, kLayout};
    t["sbkeven"] = {{Kw::SbkPage}, kLayout};
    t["sbkodd"] = {{Kw::SbkPage}, kLayout};
    t["page"] = {{Kw::Page}};
}

void AddCharacters(Table& t)
{
    t["par"] = {{Kw::Par}};
    t["line"] = {{Kw::Line}};
    t["tab"] = {{Kw::Tab}};
    t["cell"] = {{Kw::Cell}};
    t["nestcell"] = {{Kw::NestCell}};
    t["row"] = {{Kw::Row}};
    t["nestrow"] = {{Kw::NestRow}};
    t["emdash"] = {{Kw::Symbol, 0x2014}};
    t["endash"] = {{Kw::Symbol, 0x2013}};
    t["lquote"] = {{Kw::Symbol, 0x2018}};
    t["rquote"] = {{Kw::Symbol, 0x2019}};
    t["ldblquote"] = {{Kw::Symbol, 0x201C}};
    t["rdblquote"] = {{Kw::Symbol, 0x201D}};
    t["bullet"] = {{Kw::Symbol, 0x2022}};
    t["emspace"] = {{Kw::Symbol, 0x2003}};
    t["enspace"] = {{Kw::Symbol, 0x2002}};
    t["qmspace"] = {{Kw::Symbol, 0x2005}};
    t["zwj"] = {{Kw::Symbol, 0x200D}};
    t["zwnj"] = {{Kw::Symbol, 0x200C}};
    // Direction marks count as text in the engine; the layout has no use for them.
    t["ltrmark"] = {{Kw::Symbol, 0x200E}, kEngine};
    t["rtlmark"] = {{Kw::Symbol, 0x200F}, kEngine};
    t["chftn"] = {{Kw::Chftn}, kLayout};
    t["chpgn"] = {{Kw::Chpgn}, kLayout};
    t["u"] = {{Kw::U}};
    t["uc"] = {{Kw::Uc}};
    t["bin"] = {{Kw::Bin}};
}

const Table& Keywords()
{
    static const Table table = [] {
        Table t;
        AddHiddenDestinations(t);
        AddDestinations(t);
        AddDocumentAndFonts(t);
        AddCharacterFormats(t);
        AddParagraphFormats(t);
        AddTables(t);
        AddPages(t);
        AddCharacters(t);
        return t;
    }();
    return table;
}

} // namespace

WordToken ReadWord(std::string_view s, std::size_t at)
{
    const std::size_t n = s.size();
    std::size_t j = at;
    while (j < n && IsLetter(static_cast<unsigned char>(s[j])))
        ++j;
    WordToken token;
    token.name = s.substr(at, std::min(j - at, kMaxWordLetters + 1));
    std::int64_t value = 0;
    bool negative = false;
    if (j < n && s[j] == '-' && j + 1 < n && IsDigit(static_cast<unsigned char>(s[j + 1]))) {
        negative = true;
        ++j;
    }
    while (j < n && IsDigit(static_cast<unsigned char>(s[j]))) {
        token.hasParam = true;
        if (value < (std::int64_t{1} << 40)) // enough digits to saturate, without overflow
            value = value * 10 + (s[j] - '0');
        ++j;
    }
    if (negative)
        value = -value;
    token.param = static_cast<std::int32_t>(std::clamp<std::int64_t>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
    if (j < n && s[j] == ' ')
        ++j;
    else
        token.cut = j >= n;
    token.end = j;
    return token;
}

HexToken ReadHex(std::string_view s, std::size_t at)
{
    HexToken token;
    std::size_t j = at;
    while (token.digits < 2 && j < s.size() && HexValue(static_cast<unsigned char>(s[j])) >= 0) {
        token.value = token.value * 16 + HexValue(static_cast<unsigned char>(s[j]));
        ++token.digits;
        ++j;
    }
    token.end = j;
    return token;
}

char32_t UnicodeUnit(std::int32_t param)
{
    const std::int64_t v = param < 0 ? std::int64_t{param} + 65536 : param;
    return static_cast<char32_t>(std::clamp<std::int64_t>(v, 0, 65535));
}

KwInfo FindKeyword(std::string_view name, KwReader reader)
{
    const Table& table = Keywords();
    auto it = name.size() > kMaxWordLetters ? table.end() : table.find(name);
    if (it != table.end() && it->second.layoutOnly && reader == KwReader::Engine)
        return {Kw::SkipDest};
    if (it == table.end() || (it->second.readers & static_cast<std::uint8_t>(reader)) == 0)
        return {};
    return it->second.info;
}

KwLookup LookUp(std::string_view name, KwReader reader)
{
    const Table& table = Keywords();
    auto it = name.size() > kMaxWordLetters ? table.end() : table.find(name);
    KwLookup found;
    if (it == table.end()) {
        found.hiddenAfterStar = true;
        return found;
    }
    const Entry& e = it->second;
    if (e.layoutOnly) {
        const bool layout = reader == KwReader::Layout;
        found.info = layout ? e.info : KwInfo{Kw::SkipDest};
        found.hiddenAfterStar = !layout;
        return found;
    }
    if (e.readers & static_cast<std::uint8_t>(reader))
        found.info = e.info;
    const bool skip = e.info.kw == Kw::SkipDest;
    found.hiddenDest = skip && e.readers == kBoth;
    found.hiddenAfterStar = skip;
    found.listMark = e.listMark;
    return found;
}

} // namespace keld::rtf
