// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The layout reader's own state, shared by the files that make it up: the reader itself
// (RenderReader.cpp), its words (LayoutWords.cpp), its flows of paragraphs and tables
// (LayoutFlows.cpp) and its pictures (LayoutPictures.cpp). Not for use outside them.

#include "report/RenderModel.h"
#include "report/RtfGroups.h"
#include "report/RtfParser.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace keld::render::layout {

// Bounds against hostile input; each keeps the walk linear and the result a sane size.
inline constexpr int kMaxNesting = 16; // tables in tables
inline constexpr std::size_t kMaxCellDefs = 256;
inline constexpr std::size_t kMaxTabs = 64;
inline constexpr std::size_t kMaxFieldInstruction = 64;
inline constexpr std::int32_t kMaxLength = 31680; // 22 inches, the largest paper
inline constexpr std::int32_t kMaxFontSize = 3200;
inline constexpr std::int32_t kMinTextArea = kTwipsPerInch; // each way, between the margins

inline std::int32_t Length(std::int32_t v, std::int32_t low = -kMaxLength)
{
    return std::clamp(v, low, kMaxLength);
}

// Bullets and arrows of the symbol fonts that list numbering uses, as the characters they draw.
char32_t SymbolCharacter(unsigned byte, bool wingdings);

// What a group's text is to the layout; destinations it shows nothing of are hidden groups.
enum class Dest : std::uint8_t {
    Body,
    FontTable,
    Pict,
    FieldInst,
    TableProps,
    Object,
    Upr,
    Defaults,
    Shape,      // a floating shape's properties: only its picture is read
    ShapeName,  // a shape property's name
    ShapeValue, // the value of the shape's picture property, where its \pict stands
};

enum class FieldKind : std::uint8_t { None, Page, PageCount };

struct Group {
    CharFormat ch;
    ParaFormat para;
    bool intbl = false;
    std::int32_t itap = -1;
    Dest dest = Dest::Body;
    bool isField = false;
    bool ownsFlow = false;
    bool ownsPicture = false;
    bool ownsFieldInst = false;
    bool mark = false;             // a list number the writer drew
    bool inShape = false;          // in a floating shape's properties
    std::uint8_t ownsDefaults = 0; // 1: paragraph, 2: character defaults
    FieldKind field = FieldKind::None;
    int fieldNumber = 0;
    int flow = 0;
};

struct OpenTable {
    Table table;
    Row row;
    Cell cell;
    bool rowHasDef = false;
};

struct FlowState {
    Flow* target = nullptr;
    Block pending;
    std::vector<OpenTable> tables;
    bool breakNext = false;
    bool sectionPending = false;
};

// A floating shape: where it stands from its anchor, and whether text flows past it.
struct ShapeState {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    std::int32_t wrap = 0; // \shpwr: 3 (none) and 5 (through) leave the text where it is
    bool behind = false;
    Anchor::From fromX = Anchor::From::Paragraph, fromY = Anchor::From::Paragraph;
};

struct PictureState {
    enum class Kind : std::uint8_t { Unknown, Png, Jpeg, Dib } kind = Kind::Unknown;
    std::int32_t picw = 0, pich = 0, goalw = 0, goalh = 0, scalex = 100, scaley = 100;
    std::string hex;
    std::string bin;
};

class LayoutReader final : public rtf::GroupReader {
public:
    LayoutReader(std::string_view source, const rtf::Model& tables);
    RenderModel Read();

private:
    // ---- groups and tokens (RenderReader.cpp) ----
    void GroupOpened(std::size_t at) override;
    void GroupClosing(std::size_t at) override;
    void CloseGroup();
    void Word(const rtf::WordToken& word, const rtf::KwLookup& found, std::size_t start) override;
    void Symbol(char symbol, std::size_t start, std::size_t end) override;
    void Unicode(char32_t unit, std::size_t start, std::size_t end) override;
    void Binary(std::string_view data) override;
    rtf::TextMode Mode() override;
    int CodePage() override { return CodePage(m_stack.back()); }
    void PlainText(std::string_view text, std::size_t at) override;
    void Character(char32_t ch, std::size_t begin, std::size_t end, int codeByte) override;
    void RawText(std::string_view text, std::size_t at) override;
    void RawByte(unsigned char byte, std::size_t begin, std::size_t end) override;
    int CodePage(const Group& g);
    FieldKind FieldInstructionKind() const;
    void StartFlow(Group& g, Flow* target);
    void Fonts();
    void FitMargins();

    // ---- words (LayoutWords.cpp) ----
    void BodyWord(Group& g, const rtf::KwInfo& info, bool hasParam, std::int32_t param);
    bool DestinationWord(Group& g, const rtf::KwInfo& info);
    bool CharacterWord(Group& g, const rtf::KwInfo& info, bool hasParam, std::int32_t param);
    bool ParagraphWord(Group& g, const rtf::KwInfo& info, bool hasParam, std::int32_t param);
    bool PageWord(Group& g, const rtf::KwInfo& info, bool hasParam, std::int32_t param);
    bool BreakWord(Group& g, const rtf::KwInfo& info);
    void TableWord(Group& g, const rtf::KwInfo& info, bool hasParam, std::int32_t param);
    void FontTableWord(const rtf::KwInfo& info, std::int32_t param);

    // ---- flows: paragraphs, tables, rows and cells (LayoutFlows.cpp) ----
    Block& Pending(const Group& g) { return m_flows[g.flow].pending; }
    Run& TextRun(const Group& g);
    void AppendAscii(const Group& g, std::string_view text);
    void AppendChar(const Group& g, char32_t ch);
    int Level(const Group& g) const;
    void AddToFlow(FlowState& f, Block block);
    void CloseTable(FlowState& f);
    void OpenTables(FlowState& f, int level);
    void Place(FlowState& f, Block block, int level);
    void FinishRow(OpenTable& t, int level);
    Block TakePending(const Group& g);
    void EndParagraph(const Group& g);
    void EndCell(const Group& g, bool nested);
    void EndRow(const Group& g, bool nested);
    void FinishFlow(const Group& g);
    RowDef& CurrentRowDef();
    std::shared_ptr<const RowDef> SharedRowDef(int level);

    // ---- pictures (LayoutPictures.cpp) ----
    void PictureWord(std::string_view name, bool hasParam, std::int32_t param);
    void ShapeWord(Group& g, const rtf::KwInfo& info, std::string_view name, bool hasParam,
                   std::int32_t param);
    void FinishPicture();

    const rtf::Model& m_tables;
    RenderModel m_out;
    std::vector<Group> m_stack;
    std::vector<FlowState> m_flows;
    Flow m_scratch;
    std::int32_t m_codePageFont = std::numeric_limits<std::int32_t>::min();
    int m_codePage = 1252;
    bool m_wingdings = false;

    std::vector<RowDef> m_rowDefs;
    std::vector<bool> m_rowDefFresh; // a \trowd since the last row ended, by level
    std::vector<std::shared_ptr<const RowDef>> m_rowDefShared;
    int m_defLevel = 1;
    CellDef m_cellDef;
    Border* m_border = nullptr;
    Border m_ignoredBorder;
    unsigned m_paraBorders = 0; // the sides of the paragraph's border that its words set

    template <typename F>
    void ParaBorders(Group& g, F&& set)
    {
        for (int side = 0; side < 4; ++side) {
            if (m_paraBorders & (1u << side))
                set(g.para.borders[side]);
        }
    }
    TabStop::Kind m_tabKind = TabStop::Kind::Left;
    ParaFormat m_defaultPara;
    CharFormat m_defaultChar;

    PictureState m_pict;
    ShapeState m_shape;
    std::string m_shapeName;
    std::unordered_multimap<std::size_t, int> m_pictureIndex; // hash of a picture's bytes to its index

    std::string m_fieldText;
    int m_fieldCount = 0;
    int m_footnoteCount = 0;
    bool m_sectionBreaksPage = true;
    bool m_landscape = false;

    std::int32_t m_fontNumber = 0;
    std::unordered_map<std::int32_t, FontInfo::Kind> m_fontKinds;
    std::vector<std::int32_t> m_symbolFonts;
};

} // namespace keld::render::layout
