#pragma once

#include "RtfDocument.h"

#include <memory>

class QTextDocument;

namespace keld {

// Turns the engine's document into a QTextDocument laid out on the document's own page size
// and margins.
std::unique_ptr<QTextDocument> RenderReport(const RtfDocument& document);

} // namespace keld
