// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "report/RenderModel.h"
#include "report/render/RenderedReport.h"

#include <memory>

namespace keld::render {

// Lengths of a rendered document are in pixels at this resolution: the screen's logical one, in
// which QTextDocument lays out text.
double DocumentDpi();

// Builds a report laid out on its paper with its margins, with each page's header, footer and
// footnotes.
RenderedReport BuildDocument(std::shared_ptr<const RenderModel> model);

// The most pages a report is laid out on; past them it is cut, with a note.
inline constexpr int kMaxPages = 2000;

} // namespace keld::render
