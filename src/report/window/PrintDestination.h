#pragma once

#include <functional>
#include <memory>

class QPrinter;

namespace keld {

// Where print jobs go: the system's default printer, used without a print dialog.
class PrintDestination {
public:
    using Factory = std::function<std::unique_ptr<QPrinter>()>;

    // A printer set up for one job on the default printer; nullptr when the system has none.
    static std::unique_ptr<QPrinter> DefaultPrinter();

    // Test seam: DefaultPrinter() returns what `factory` makes (a PDF printer, or nullptr for a
    // machine without printers) until the seam is cleared with an empty factory.
    static void SetFactory(Factory factory);
};

} // namespace keld
