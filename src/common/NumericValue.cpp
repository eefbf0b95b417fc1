// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/NumericValue.h"

#include "common/KeldError.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace keld {

namespace {

bool IsIgnored(char c)
{
    return c == ' ' || c == '\t' || c == '\n';
}

// Walks the text while skipping the ignored characters.
class Cursor {
public:
    explicit Cursor(std::string_view text) : m_text(text) { Skip(); }
    bool AtEnd() const { return m_pos >= m_text.size(); }
    char Peek() const { return AtEnd() ? '\0' : m_text[m_pos]; }
    void Next()
    {
        ++m_pos;
        Skip();
    }

private:
    void Skip()
    {
        while (m_pos < m_text.size() && IsIgnored(m_text[m_pos]))
            ++m_pos;
    }
    std::string_view m_text;
    std::size_t m_pos = 0;
};

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

int DigitValue(char c, int base)
{
    int v = -1;
    if (c >= '0' && c <= '9')
        v = c - '0';
    else if (c >= 'a' && c <= 'f')
        v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        v = c - 'A' + 10;
    return v < base ? v : -1;
}

double Saturate(double v)
{
    if (std::isnan(v))
        return 0.0;
    if (std::isinf(v))
        return v > 0 ? DBL_MAX : -DBL_MAX;
    return v;
}

double ReadRadix(Cursor& cur, int base)
{
    double value = 0;
    for (int d; (d = DigitValue(cur.Peek(), base)) >= 0; cur.Next())
        value = value * base + d;
    return Saturate(value);
}

} // namespace

double NumericValue(std::string_view text)
{
    Cursor cur(text);
    if (cur.Peek() == '&') {
        cur.Next();
        char kind = cur.Peek();
        if (kind == 'H' || kind == 'h') {
            cur.Next();
            return ReadRadix(cur, 16);
        }
        if (kind == 'O' || kind == 'o') {
            cur.Next();
            return ReadRadix(cur, 8);
        }
        return 0.0;
    }

    // Gather the number in plain form for the standard parser. Leading zeros are dropped and
    // the digit count is bounded, so a hostile text cannot make the buffer grow without end.
    std::string number;
    bool negative = false;
    if (cur.Peek() == '+' || cur.Peek() == '-') {
        negative = cur.Peek() == '-';
        cur.Next();
    }
    bool anyDigit = false;
    long long exponentShift = 0; // integer digits dropped beyond the kept precision
    constexpr std::size_t kMaxDigits = 40;
    constexpr std::size_t kMaxFraction = 800; // enough to reach below the smallest double
    std::size_t kept = 0;
    for (; IsDigit(cur.Peek()); cur.Next()) {
        anyDigit = true;
        if (number.empty() && cur.Peek() == '0')
            continue;
        if (kept < kMaxDigits) {
            number += cur.Peek();
            ++kept;
        } else {
            ++exponentShift;
        }
    }
    if (number.empty())
        number = "0";
    if (cur.Peek() == '.') {
        cur.Next();
        std::string fraction;
        for (; IsDigit(cur.Peek()); cur.Next()) {
            anyDigit = true;
            if (fraction.size() < kMaxFraction)
                fraction += cur.Peek();
        }
        if (!fraction.empty())
            number += "." + fraction;
    }
    if (!anyDigit)
        return 0.0;

    char e = cur.Peek();
    long long exponent = 0;
    if (e == 'E' || e == 'e' || e == 'D' || e == 'd') {
        cur.Next();
        bool expNegative = false;
        if (cur.Peek() == '+' || cur.Peek() == '-') {
            expNegative = cur.Peek() == '-';
            cur.Next();
        }
        for (; IsDigit(cur.Peek()); cur.Next()) {
            if (exponent < 100000)
                exponent = exponent * 10 + (cur.Peek() - '0');
        }
        if (expNegative)
            exponent = -exponent;
    }
    exponent += exponentShift;
    if (exponent != 0)
        number += "e" + std::to_string(exponent);

    double value = 0;
    auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)ptr;
    if (ec == std::errc::result_out_of_range)
        value = exponent > 0 ? DBL_MAX : 0.0;
    value = Saturate(value);
    return negative ? -value : value;
}

std::string NumberText(double value)
{
    value = Saturate(value);
    if (value == 0)
        return "0";

    // 15 significant digits, as d.dddddddddddddde±x, then trimmed.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", value);
    std::string s = buf;
    std::size_t ePos = s.find('e');
    int exponent = std::atoi(s.c_str() + ePos + 1);
    std::string mantissa = s.substr(0, ePos);
    bool negative = mantissa[0] == '-';
    if (negative)
        mantissa.erase(0, 1);
    std::string digits;
    for (char c : mantissa)
        if (c != '.')
            digits += c;
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    std::string out = negative ? "-" : "";
    // Always positional, never scientific: whole values have no decimal point at any size.
    if (exponent >= 0) {
        std::string intPart = digits.substr(0, std::min<std::size_t>(digits.size(), exponent + 1));
        intPart.append(exponent + 1 - intPart.size(), '0');
        out += intPart;
        if (digits.size() > static_cast<std::size_t>(exponent + 1))
            out += "." + digits.substr(exponent + 1);
    } else {
        out += "0." + std::string(-exponent - 1, '0') + digits;
    }
    return out;
}

double RoundHalfEven(double value)
{
    if (!std::isfinite(value))
        return value;
    double r = std::round(value); // halves away from zero
    if (std::fabs(value - std::trunc(value)) == 0.5)
        r = 2.0 * std::round(value / 2.0);
    return r == 0 ? 0.0 : r;
}

double RoundHalfEven(double value, int places)
{
    double scale = std::pow(10.0, places);
    double scaled = value * scale;
    if (!std::isfinite(scaled))
        return value;
    return RoundHalfEven(scaled) / scale;
}

std::int16_t ToInt16(double value)
{
    double r = RoundHalfEven(value);
    if (!(r >= -32768.0 && r <= 32767.0))
        Raise(kErrOverflow, "number out of range -32768 to 32767");
    return static_cast<std::int16_t>(r);
}

std::int32_t ToInt32(double value)
{
    double r = RoundHalfEven(value);
    if (!(r >= -2147483648.0 && r <= 2147483647.0))
        Raise(kErrOverflow, "number out of range -2147483648 to 2147483647");
    return static_cast<std::int32_t>(r);
}

} // namespace keld
