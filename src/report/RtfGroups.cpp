// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/RtfGroups.h"

#include "report/RtfText.h"

#include <algorithm>

namespace keld::rtf {

void GroupReader::ReadAll()
{
    Walk(m_s, *this);
    FlushLead();
}

void GroupReader::Open(std::size_t at)
{
    FlushLead();
    m_ucSkip = 0;
    if (m_stack.size() >= kMaxDepth) {
        // Too deep: the group is read as part of its parent, but its braces still balance.
        ++m_overflow;
        return;
    }
    State s = m_stack.empty() ? State{} : m_stack.back();
    s.star = false;
    m_stack.push_back(s);
    GroupOpened(at);
}

void GroupReader::Close(std::size_t at)
{
    FlushLead();
    m_ucSkip = 0;
    if (m_overflow > 0) {
        --m_overflow;
        return;
    }
    GroupClosing(at);
    m_stack.pop_back();
}

// One token read as a \u fallback character; false when none is due.
bool GroupReader::SkipFallback(std::size_t end)
{
    if (m_ucSkip <= 0)
        return false;
    --m_ucSkip;
    if (m_ucTold)
        FallbackSkipped(end);
    return true;
}

std::size_t GroupReader::Text(std::size_t i)
{
    if (SkipFallback(i + 1))
        return i + 1;
    if (m_lead >= 0 && i != m_leadEnd)
        FlushLead();
    const std::size_t n = m_s.size();
    auto special = [](unsigned char c) { return c == '{' || c == '}' || c == '\\'; };
    const TextMode mode = m_stack.back().hidden ? TextMode::Ignored : Mode();
    if (mode == TextMode::Raw) {
        std::size_t j = i;
        while (j < n && !special(static_cast<unsigned char>(m_s[j])))
            ++j;
        RawText(m_s.substr(i, j - i), i);
        return j;
    }
    if (mode == TextMode::Ignored) {
        while (i < n && !special(static_cast<unsigned char>(m_s[i])))
            ++i;
        return i;
    }
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(m_s[i]);
        if (special(c))
            break;
        if (c >= 0x20 && c < 0x80 && m_lead < 0) {
            std::size_t j = i + 1;
            while (j < n) {
                const unsigned char d = static_cast<unsigned char>(m_s[j]);
                if (d < 0x20 || d >= 0x80 || special(d))
                    break;
                ++j;
            }
            PlainText(m_s.substr(i, j - i), i);
            i = j;
            continue;
        }
        if (c != '\r' && c != '\n' && c != '\0')
            ShownByte(c, i, i + 1, false);
        ++i;
    }
    return i;
}

// One byte of shown text. In a double-byte code page a lead byte waits for the byte right after
// it in the source; anything else between them (a word, a brace, a line end) leaves the lead
// alone, shown as U+FFFD.
void GroupReader::ShownByte(unsigned char byte, std::size_t begin, std::size_t end, bool escaped)
{
    const int codePage = CodePage();
    if (m_lead >= 0) {
        const auto lead = static_cast<unsigned char>(m_lead);
        if (m_leadEnd == begin) {
            if (char32_t ch = DecodeDoubleByte(codePage, lead, byte)) {
                m_lead = -1;
                Character(ch, m_leadBegin, end, -1);
                return;
            }
        }
        FlushLead();
    }
    if (IsLeadByte(codePage, byte)) {
        m_lead = byte;
        m_leadBegin = begin;
        m_leadEnd = end;
    } else if (byte >= 0x80 || escaped) {
        Character(DecodeCodePageByte(codePage, byte), begin, end, byte);
    } else if (byte >= 0x20) {
        Character(byte, begin, end, byte);
    } else if (byte == '\t') {
        Character(U'\t', begin, end, -1);
    }
}

void GroupReader::FlushLead()
{
    if (m_lead < 0)
        return;
    m_lead = -1;
    Character(0xFFFD, m_leadBegin, m_leadEnd, -1);
}

std::size_t GroupReader::ControlWord(std::size_t start)
{
    const std::size_t n = m_s.size();
    const std::size_t i = start + 1;
    if (i >= n) {
        FlushLead();
        m_cleanEnd = false;
        return n;
    }
    const unsigned char c = static_cast<unsigned char>(m_s[i]);
    if (IsLetter(c))
        return LetterWord(start);
    if (c == '\'') {
        const HexToken hex = ReadHex(m_s, i + 1);
        if (hex.end >= n && hex.digits < 2)
            m_cleanEnd = false;
        if (SkipFallback(hex.end))
            return hex.end;
        if (hex.digits == 0) {
            FlushLead();
            return hex.end;
        }
        const auto byte = static_cast<unsigned char>(hex.value);
        const TextMode mode = m_stack.back().hidden ? TextMode::Ignored : Mode();
        if (mode == TextMode::Shown) {
            ShownByte(byte, start, hex.end, true);
            return hex.end;
        }
        FlushLead();
        if (mode == TextMode::Raw)
            RawByte(byte, start, hex.end);
        return hex.end;
    }
    const std::size_t end = i + 1;
    if (SkipFallback(end))
        return end;
    FlushLead();
    State& s = m_stack.back();
    if (s.hidden)
        return end;
    if (c == '*') {
        // The group may be one the reader does not know: hidden until the next word says.
        s.star = true;
        s.hidden = true;
        return end;
    }
    Symbol(static_cast<char>(c), start, end);
    return end;
}

std::size_t GroupReader::LetterWord(std::size_t start)
{
    const WordToken word = ReadWord(m_s, start + 1);
    if (word.cut)
        m_cleanEnd = false;
    if (m_rtfWordEnd == kNoOffset && m_stack.size() == 1 && word.name.substr(0, 3) == "rtf")
        m_rtfWordEnd = word.end; // also for a misspelt "\rtfX"
    const KwLookup found = LookUp(word.name, m_reader);
    if (found.info.kw == Kw::Bin) {
        std::size_t count = word.hasParam && word.param > 0 ? static_cast<std::size_t>(word.param) : 0;
        if (count > m_s.size() - word.end) {
            count = m_s.size() - word.end;
            m_cleanEnd = false;
        }
        const std::size_t end = word.end + count;
        if (SkipFallback(end))
            return end;
        FlushLead();
        if (!m_stack.back().hidden)
            Binary(m_s.substr(word.end, count));
        return end;
    }
    if (SkipFallback(word.end))
        return word.end;
    FlushLead();
    State& s = m_stack.back();
    if (s.star) {
        // The word after \* names the destination: one a reader knows reads as without the star.
        s.star = false;
        if (found.hiddenAfterStar)
            return word.end;
        s.hidden = false;
    }
    switch (found.info.kw) {
    case Kw::Uc:
        s.uc = std::clamp(word.param, 0, kMaxUnicodeSkip);
        return word.end;
    case Kw::U:
        m_ucTold = !s.hidden;
        if (m_ucTold)
            Unicode(UnicodeUnit(word.param), start, word.end);
        m_ucSkip = s.uc;
        return word.end;
    default:
        break;
    }
    if (s.hidden)
        return word.end;
    if (found.hiddenDest) {
        s.hidden = true;
        return word.end;
    }
    Word(word, found, start);
    return word.end;
}

} // namespace keld::rtf
