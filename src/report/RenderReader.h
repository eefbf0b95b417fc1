// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "report/RenderModel.h"

#include <string_view>

namespace keld::rtf {
struct Model;
}

namespace keld::render {

// Reads the page layout of an RTF source: paragraphs, tables, pictures, headers, footers and
// footnotes. `tables` is the engine's parse of the same source, whose font and colour tables and
// code pages it shares. Never fails: what it cannot show is left out, and hostile input is
// bounded in depth and size.
RenderModel ReadLayout(std::string_view source, const rtf::Model& tables);

} // namespace keld::render
