// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Checks for what a test takes from the machine rather than from the build: a program on the
// PATH, a font. A missing piece fails the test with its name and the Debian package that brings
// it, instead of failing later on a value far from the cause.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace keld::test {

inline bool ProgramOnPath(const std::string& program)
{
    return std::system(("command -v '" + program + "' > /dev/null 2>&1").c_str()) == 0;
}

// Use as ASSERT_TRUE(HaveProgram("pdftotext", "poppler-utils")).
inline ::testing::AssertionResult HaveProgram(const std::string& program, const std::string& package,
                                              const std::string& why = {})
{
    if (ProgramOnPath(program))
        return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure()
                   << program << " is not on the PATH: install the Debian package " << package
                   << " (apt-get install " << package << ")";
    if (!why.empty())
        failure << "; " << why;
    return failure;
}

// The families fontconfig knows under exactly this name (fc-list matches the family, not a prefix).
inline bool FontInstalled(const std::string& family)
{
    std::string command = "fc-list ':family=" + family + "' family 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return false;
    std::string listed;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        listed += buffer;
    ::pclose(pipe);
    return listed.find(family) != std::string::npos;
}

// Use as ASSERT_TRUE(HaveFont("Liberation Serif", "fonts-liberation", "LibreOffice substitutes ...")).
inline ::testing::AssertionResult HaveFont(const std::string& family, const std::string& package,
                                           const std::string& why = {})
{
    if (::testing::AssertionResult fcList = HaveProgram("fc-list", "fontconfig", "it lists the fonts");
        !fcList)
        return fcList;
    if (FontInstalled(family))
        return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure()
                   << "the font " << family << " is not installed: install the Debian package " << package
                   << " (apt-get install " << package << ")";
    if (!why.empty())
        failure << "; " << why;
    return failure;
}

// What a LibreOffice read-back needs: soffice itself.
inline ::testing::AssertionResult HaveLibreOffice()
{
    return HaveProgram("soffice", "libreoffice-writer-nogui",
                       "the test reads the reports back with LibreOffice, run headless");
}

} // namespace keld::test
