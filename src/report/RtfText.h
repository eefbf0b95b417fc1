// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Utf8.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace keld {

// Text helpers of the RTF engine: code pages, case folding and UTF conversions.

// The Windows code page that an RTF \fcharset stands for; 0 when the charset names none.
int CodePageForCharset(int charset);

// One byte of a single-byte code page as a Unicode character (ASCII passes through; Windows-1252
// is used for code pages we hold no table for).
char32_t DecodeCodePageByte(int codePage, unsigned char byte);

// The double-byte code pages of East Asian fonts (932, 936, 949, 950): a lead byte and the byte
// after it make one character.
bool IsDoubleByteCodePage(int codePage);
bool IsLeadByte(int codePage, unsigned char byte);
// The character of a lead and trail byte; 0 when the pair stands for none.
char32_t DecodeDoubleByte(int codePage, unsigned char lead, unsigned char trail);

// Simple one-to-one case folding for ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic: one
// character for one, so a match in folded text is a match at the same position in the original.
char32_t FoldCase(char32_t c);

// The character at `i`, which moves past it. Invalid sequences become U+FFFD, one per offending
// byte.
char32_t NextUtf32(std::string_view utf8, std::size_t& i);
std::u32string Utf8ToUtf32(std::string_view utf8);
std::string Utf32ToUtf8(std::u32string_view text);

} // namespace keld
