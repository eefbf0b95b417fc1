// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "report/RtfKeywords.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace keld::rtf {

// How the text of the current group is read, as the reader says.
enum class TextMode : std::uint8_t {
    Shown,   // displayed text: decoded in the group's code page, double-byte pairs joined
    Raw,     // bytes the reader takes as they are (a font name, picture data, a field instruction)
    Ignored, // read past
};

// The part of reading RTF that both readers share, so they cannot disagree on it: groups and
// their depth bound, destinations whose content no reader shows, \* (a group the reader may not
// know), \uc and the fallback characters after \uN, \bin data, and the lead and trail bytes of
// double-byte code pages. A reader derives from it and is told about what is left: the groups it
// keeps its own state for, the words it knows, and the characters of shown text.
class GroupReader {
public:
    GroupReader(std::string_view source, KwReader reader) : m_s(source), m_reader(reader) {}
    virtual ~GroupReader() = default;
    GroupReader(const GroupReader&) = delete;
    GroupReader& operator=(const GroupReader&) = delete;

protected:
    // Reads the whole source.
    void ReadAll();

    std::string_view Source() const { return m_s; }
    // Groups open, not counting those past the depth bound, which read as part of their parent.
    std::size_t Depth() const { return m_stack.size(); }
    std::size_t OpenGroups() const { return m_stack.size() + m_overflow; }
    // The source does not stop inside a token or \bin data.
    bool CleanEnd() const { return m_cleanEnd; }
    // Just after the first word of the root group that starts with "rtf"; kNoOffset when none.
    static constexpr std::size_t kNoOffset = static_cast<std::size_t>(-1);
    std::size_t RtfWordEnd() const { return m_rtfWordEnd; }
    // The current group's content is not shown: a reader's word named a destination it keeps to
    // itself. Hides the rest of the group and the groups in it.
    void HideGroup() { m_stack.back().hidden = true; }
    bool Hidden() const { return m_stack.back().hidden; }

    // A group opened (`at` is its brace); the group reader's own state is already pushed.
    virtual void GroupOpened(std::size_t at) = 0;
    // A group about to close (`at` is its brace), hidden or not.
    virtual void GroupClosing(std::size_t at) = 0;
    // A control word in a shown group, other than \u, \uc and \bin. `start` is its backslash.
    virtual void Word(const WordToken& word, const KwLookup& found, std::size_t start) = 0;
    // A control symbol other than \' and \* in a shown group: \\ \{ \} \~ \_ \- and the like.
    virtual void Symbol(char symbol, std::size_t start, std::size_t end) = 0;
    // A \uN character in a shown group.
    virtual void Unicode(char32_t unit, std::size_t start, std::size_t end) = 0;
    // A fallback token after a \uN the reader was told about was skipped; it ends at `end`.
    virtual void FallbackSkipped(std::size_t end) { (void)end; }
    // \bin data in a shown group.
    virtual void Binary(std::string_view data) { (void)data; }

    virtual TextMode Mode() = 0;
    // The code page of shown text in the current group.
    virtual int CodePage() = 0;
    // Shown text: printable ASCII bytes [at, at + text.size()) that stand for themselves.
    virtual void PlainText(std::string_view text, std::size_t at) = 0;
    // Shown text: one character from [begin, end). `codeByte` is the byte the code page read,
    // -1 for a double-byte character or a raw tab.
    virtual void Character(char32_t ch, std::size_t begin, std::size_t end, int codeByte) = 0;
    // Raw text: a run of bytes up to the next brace or backslash, and single \'hh bytes.
    virtual void RawText(std::string_view text, std::size_t at) { (void)text, (void)at; }
    virtual void RawByte(unsigned char byte, std::size_t begin, std::size_t end)
    {
        (void)byte, (void)begin, (void)end;
    }

private:
    struct State {
        int uc = 1;
        bool hidden = false;
        bool star = false; // \* read, waiting for the word that names the destination
    };

    template <class Reader> friend void rtf::Walk(std::string_view, Reader&);
    bool InGroup() const { return !m_stack.empty(); }
    void Open(std::size_t at);
    void Close(std::size_t at);
    std::size_t ControlWord(std::size_t start);
    std::size_t Text(std::size_t at);

    std::size_t LetterWord(std::size_t start);
    bool SkipFallback(std::size_t end);
    void ShownByte(unsigned char byte, std::size_t begin, std::size_t end, bool escaped);
    void FlushLead();

    std::string_view m_s;
    KwReader m_reader;
    std::vector<State> m_stack;
    std::size_t m_overflow = 0;
    bool m_cleanEnd = true;
    std::size_t m_rtfWordEnd = kNoOffset;
    int m_ucSkip = 0;
    bool m_ucTold = false; // the reader was told about the \u whose fallback is skipped
    // A double-byte lead waiting for the byte right after it.
    int m_lead = -1;
    std::size_t m_leadBegin = 0;
    std::size_t m_leadEnd = 0;
};

} // namespace keld::rtf
