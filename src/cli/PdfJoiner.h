// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/KeldError.h"

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace keld::cli {

// One bookmark: its title (UTF-8) and the page (from 0) it opens.
struct OutlineEntry {
    std::string title;
    int page = 0;
};

// Joins PDFs that the program's PDF writer made, each on its own thread, into one: their pages in
// the order added, with an outline. Each PDF's objects are copied as they are, renumbered; only its
// catalog, page tree and information are left behind. So fonts are embedded once per PDF joined.
class PdfJoiner {
public:
    // Adds the pages of `pdf`; returns how many. Error 5, with nothing added, when the PDF is not
    // laid out as the writer lays it out.
    Result<int> Add(std::string_view pdf);
    int PageCount() const { return static_cast<int>(m_pages.size()); }

    // The whole PDF, dated `when`, its information titled `title` and made by `creator` with
    // `producer`; a viewer opens it with the outline shown.
    std::string Finish(const std::string& title, const std::string& creator, const std::string& producer,
                       std::time_t when, const std::vector<OutlineEntry>& outline);

private:
    int NewObject();
    void BeginObject(int number);

    std::string m_out;
    std::vector<std::size_t> m_offsets; // by object number, from 1
    std::vector<int> m_pages;           // the page objects, in order
    int m_pagesTree = 0;
};

// Sets the dates the PDF writer stamped in a PDF's information to `when`, so the same input gives
// the same bytes. The dates keep their lengths, so no offset moves.
void StampPdfDate(std::string& pdf, std::time_t when);

} // namespace keld::cli
