// SPDX-License-Identifier: GPL-3.0-or-later
// Loads any bytes as an RTF template file, fills it, edits it and saves it. Besides crashes, hangs and
// leaks it checks the engine's invariant: a fresh parse of the saved bytes shows the same text.
#include "FuzzFile.h"
#include "report/ReportFill.h"
#include "report/RtfDocument.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void CheckSavedEqualsMemory(const keld::RtfDocument& doc)
{
    keld::RtfDocument fresh;
    Check(fresh.LoadBytes(doc.SaveBytes()).Ok());
    Check(fresh.Text() == doc.Text());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string bytes(reinterpret_cast<const char*>(data), size);
    keld::RtfDocument doc;
    if (doc.LoadFile(keld::fuzz::InputAsFile(data, size)).Ok())
        Check(doc.SaveBytes() == bytes); // untouched bytes come back as they were
    else if (!doc.LoadBytes("{\\rtf1 " + bytes).Ok())
        return 0;

    keld::FillData(doc, {{"[NAME]", "[LEVEL]"},
                         {"[LEVEL]", "12"},
                         {"[HT/WT]", "6' {200}\\"},
                         {"[JOURNAL]", "one\r\ntwo\rthree\nfour\t\xC3\xA4\xF0\x9F\x98\x80"},
                         {"[SK1]", ""},
                         {"[PICTURE]", ""}});
    CheckSavedEqualsMemory(doc);

    // A few edits at places taken from the input, with and without formatting.
    std::size_t length = doc.Length();
    for (std::size_t k = 0; k + 1 < size && k < 6; k += 2) {
        std::size_t start = length ? data[k] * 131u % (length + 1) : 0;
        doc.Select(start, data[k + 1] % 9);
        keld::RtfTextFormat format = doc.SelectionFormat();
        if (data[k + 1] & 0x80)
            format = {"Fuzz Sans", 7.5, true, true, false, true, keld::RtfColor::Rgb(1, 2, 3)};
        doc.ReplaceSelection(k % 4 ? "x" : "\\{a}\r\n", format);
        length = doc.Length();
    }
    // The input's tail as a picture exercises the image readers too.
    if (size > 16 && (data[0] & 1)) {
        doc.Select(0, 1);
        (void)doc.InsertPictureBytes(std::string_view(bytes).substr(size / 2));
    }
    CheckSavedEqualsMemory(doc);
    return 0;
}
