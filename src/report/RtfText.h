#pragma once

#include "Utf8.h"

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

// Simple one-to-one case folding for ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic: one
// character for one, so a match in folded text is a match at the same position in the original.
char32_t FoldCase(char32_t c);

std::u32string Utf8ToUtf32(std::string_view utf8);
std::string Utf32ToUtf8(std::u32string_view text);

} // namespace keld
