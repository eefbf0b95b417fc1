#pragma once

#include "common/KeldError.h"

#include <ctime>
#include <string>
#include <vector>

namespace keld::cli {

// One bookmark: its title (UTF-8) and the page (from 0) it opens.
struct OutlineEntry {
    std::string title;
    int page = 0;
};

// Appends an outline to a PDF as an incremental update (new outline objects, the catalog again
// with the outline, a new cross-reference section and trailer), leaving the original bytes as they
// are. Error 5 when the PDF is not laid out as the PDF writer lays it out or a page is missing.
Status AddOutline(std::string& pdf, const std::vector<OutlineEntry>& entries);

// Sets every date the PDF writer stamped (the information's and the metadata's) to `when`, and the
// document's identifier to one made from the bytes, so the same input gives the same bytes. Dates
// and identifiers keep their lengths, so no offset moves.
void StampPdf(std::string& pdf, std::time_t when);

} // namespace keld::cli
