#include "report/window/PrintDestination.h"

#include <QPrinter>
#include <QPrinterInfo>

namespace keld {

namespace {

PrintDestination::Factory& TestFactory()
{
    static PrintDestination::Factory factory;
    return factory;
}

} // namespace

std::unique_ptr<QPrinter> PrintDestination::DefaultPrinter()
{
    if (TestFactory())
        return TestFactory()();
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return nullptr;
    return std::make_unique<QPrinter>(info, QPrinter::HighResolution);
}

void PrintDestination::SetFactory(Factory factory)
{
    TestFactory() = std::move(factory);
}

} // namespace keld
