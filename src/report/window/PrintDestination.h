#pragma once

#include "common/KeldError.h"

#include <functional>
#include <memory>

class QPrinter;

namespace keld {

// Where print jobs go: the system's default printer, used without a print dialog.
class PrintDestination {
public:
    using Factory = std::function<std::unique_ptr<QPrinter>()>;
    using AcceptCheck = std::function<Status(const QPrinter&)>;

    // A printer set up for one job on the default printer; nullptr when the system has none.
    static std::unique_ptr<QPrinter> DefaultPrinter();

    // Whether the printer takes jobs now. Qt hands a finished job to the print system without
    // looking at the answer, so a printer that refuses jobs (set to reject them) has
    // to be asked before the job is made. The error's detail says why, for the user.
    static Status Accepting(const QPrinter& printer);

    // Test seam: DefaultPrinter() returns what `factory` makes (a PDF printer, or nullptr for a
    // machine without printers) until the seam is cleared with an empty factory.
    static void SetFactory(Factory factory);
    // Test seam: Accepting() answers with `check` until it is cleared with an empty one.
    static void SetAcceptCheck(AcceptCheck check);
};

} // namespace keld
