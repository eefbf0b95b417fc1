// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/FileName.h"

#include <gtest/gtest.h>

#include <string>

using namespace keld;

namespace {

// What a file name cannot hold becomes "_", blanks and dots go from the ends (Unicode blanks
// too), and a long name is cut at a whole character, within 200 bytes before the extension.
TEST(OfferedFileName, GivesANameAFileCanHave)
{
    const struct {
        std::string name;
        std::string offered;
    } cases[] = {
        {"Bob/Evil", "Bob_Evil.pdf"},
        {"", "character.pdf"},
        {"a:b*c?\"d<e>f|g\\h\ti", "a_b_c__d_e_f_g_h_i.pdf"},
        {" ..Hidden. ", "Hidden.pdf"},
        {"\xC2\xA0Élodie\xE3\x80\x80", "Élodie.pdf"},
        {"bell\x07\xC2\x85", "bell__.pdf"},
        {std::string(199, 'a') + "\xC3\xA9" + "b", std::string(199, 'a') + ".pdf"},
        {std::string(198, 'a') + "\xF0\x9F\x98\x80", std::string(198, 'a') + ".pdf"},
        {std::string(196, 'a') + "\xF0\x9F\x98\x80", std::string(196, 'a') + "\xF0\x9F\x98\x80.pdf"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OfferedFileNameUtf8(c.name, "pdf"), c.offered) << c.name;
    EXPECT_EQ(OfferedFileNameUtf8("...", "", "hero"), "hero");
    // A cut that ends on a dot loses it too; a name of megabytes is read only as far as it is used.
    EXPECT_EQ(OfferedFileNameUtf8(std::string(199, 'a') + ". b", "pdf"), std::string(199, 'a') + ".pdf");
    EXPECT_EQ(OfferedFileNameUtf8(std::string(20 << 20, ' ') + "Bob" + std::string(20 << 20, 'b'), "kld"),
              "Bob" + std::string(197, 'b') + ".kld");
}

} // namespace
