// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace keld::rtf {

// What RTF knows in common for the two readers of a source: the engine, which edits text in
// place, and the layout reader, which turns it into pages. Each reads the words it needs from one
// table, so the two never disagree on what a word means or which destinations are hidden.

// Bounds against hostile input, the same for both readers.
inline constexpr std::size_t kMaxDepth = 4096;
inline constexpr int kMaxUnicodeSkip = 64;

inline bool IsLetter(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

inline bool IsDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

inline int HexValue(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Walks a source token by token, as both readers do: only the first group is the document, and
// line ends and NULs between tokens mean nothing. The reader supplies InGroup(), Open(at) and
// Close(at) for the braces, and ControlWord(at) and Text(at), which return where the next token
// starts.
template <class Reader> void Walk(std::string_view source, Reader& reader)
{
    const std::size_t n = source.size();
    std::size_t i = 0;
    bool rootClosed = false;
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(source[i]);
        if (!reader.InGroup()) {
            if (rootClosed)
                break; // bytes after the document's last brace are not part of it
            if (c == '{')
                reader.Open(i);
            ++i;
            continue;
        }
        switch (c) {
        case '{':
            reader.Open(i);
            ++i;
            break;
        case '}':
            reader.Close(i);
            ++i;
            rootClosed = !reader.InGroup();
            break;
        case '\\':
            i = reader.ControlWord(i);
            break;
        case '\r':
        case '\n':
        case '\0':
            ++i;
            break;
        default:
            i = reader.Text(i);
            break;
        }
    }
}

// A control word: letters, an optional signed number and the space that may end it.
struct WordToken {
    std::string_view name; // one letter longer than any known word at most, so a long one matches none
    bool hasParam = false;
    std::int32_t param = 0; // clamped to 32 bits
    std::size_t end = 0;    // after the word and its delimiting space
    bool cut = false;       // the source stops right after the word
};

// Reads the control word whose first letter is at `at`.
WordToken ReadWord(std::string_view source, std::size_t at);

// A \'hh escape: up to two hex digits.
struct HexToken {
    int value = 0;
    int digits = 0;
    std::size_t end = 0;
};

// Reads the hex digits of an escape starting at `at`, just after the quote.
HexToken ReadHex(std::string_view source, std::size_t at);

// The UTF-16 unit a \uN word stands for: writers put those above 32767 as negative numbers.
char32_t UnicodeUnit(std::int32_t param);

// The meaning of a control word. Keep the character and paragraph words together from F to
// ParaBorder: a group of document defaults reads only that run.
enum class Kw : std::uint8_t {
    None,
    // destinations
    SkipDest, // a destination whose content is not shown
    Fonttbl,
    Colortbl,
    Header,
    HeaderFirst,
    HeaderLeft,
    Footer,
    FooterFirst,
    FooterLeft,
    Footnote,
    Pict,
    Shppict,
    Shape,         // \shpinst: a floating shape's properties, which the layout reads for its picture
    ShapeProperty, // \sp (arg 0), \sn (1), \sv (2)
    Object,
    Result,
    Field,
    Fldinst,
    NestTableProps,
    Upr,
    Ud,
    DefPap,
    DefChp,
    // document and font table
    Rtf,
    Ansicpg,
    Mac,
    Pc,
    Pca,
    Deff,
    FontFamily, // arg: Family
    Fcharset,
    Cpg,
    Red,
    Green,
    Blue,
    // character
    F,
    Fs,
    B,
    I,
    Ul,
    UlDotted,
    UlDash,
    UlWave,
    UlDouble,
    UlNone,
    Strike,
    Cf,
    Cb,
    Highlight,
    V,
    Caps,
    Scaps,
    Super,
    Sub,
    NoSuperSub,
    Up,
    Dn,
    Plain,
    // paragraph
    Pard,
    Ql,
    Qc,
    Qr,
    Qj,
    Li,
    Ri,
    Fi,
    Sb,
    Sa,
    Sl,
    Slmult,
    Pagebb,
    Intbl,
    Itap,
    Tx,
    Tqr,
    Tqc,
    Tqdec,
    Cbpat,
    Keepn,
    Brsp,
    ParaBorder, // arg: Side, 4: all four (box), 5: none drawn
    // table rows and cells
    Trowd,
    Trleft,
    Trgaph,
    Trrh,
    Trql,
    Trqc,
    Trqr,
    Trhdr,
    Trpadd,    // arg: Side
    RowBorder, // arg: top, left, bottom, right, inside horizontal, inside vertical
    Cellx,
    CellBorder, // arg: Side
    Clcbpat,
    Clvertalt,
    Clvertalc,
    Clvertalb,
    Clvmgf,
    Clvmrg,
    Clmgf,
    Clmrg,
    Clpad,       // arg: Side
    BorderStyle, // arg: BorderLine
    Brdrw,
    Brdrcf,
    // page and section
    Paperw,
    Paperh,
    Margl,
    Margr,
    Margt,
    Margb,
    Landscape,
    Headery,
    Footery,
    Titlepg,
    Facingp,
    Deftab,
    Sect,
    Sectd,
    SbkNone,
    SbkPage,
    Page,
    // characters
    Par,
    Line,
    Tab,
    Cell,
    NestCell,
    Row,
    NestRow,
    Symbol, // a word that stands for one character (\emdash and the like); arg: the character
    Chftn,
    Chpgn,
    U,
    Uc,
    Bin,
};

enum class Side : std::uint8_t { Top, Left, Bottom, Right };
enum class BorderLine : std::uint8_t { None, Single, Double, Dotted, Dashed };
enum class Family : std::uint8_t { Any, Serif, Sans, Mono, Script, Decor };

struct KwInfo {
    Kw kw = Kw::None;
    std::int32_t arg = 0;
};

// Which reader asks: each knows only the words it has a use for, and reads any other as Kw::None.
enum class KwReader : std::uint8_t { Engine = 1, Layout = 2 };

KwInfo FindKeyword(std::string_view name, KwReader reader);

// A word as the group reader sees it: its meaning to one reader and what it does to the group
// for every reader alike.
struct KwLookup {
    KwInfo info;               // for the asking reader
    bool hiddenDest = false;   // a destination no reader shows
    bool hiddenAfterStar = false; // after \*: a word no reader knows, or a hidden destination
    bool listMark = false;     // a list number the writer drew, which only the layout shows
};

KwLookup LookUp(std::string_view name, KwReader reader);

} // namespace keld::rtf
