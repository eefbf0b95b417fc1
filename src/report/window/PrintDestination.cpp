#include "report/window/PrintDestination.h"

#include <QPrinter>
#include <QPrinterInfo>

#include <dlfcn.h>

namespace keld {

namespace {

PrintDestination::Factory& TestFactory()
{
    static PrintDestination::Factory factory;
    return factory;
}

PrintDestination::AcceptCheck& TestAcceptCheck()
{
    static PrintDestination::AcceptCheck check;
    return check;
}

// The few CUPS calls the check needs, found at run time: Qt's print support already loads the
// library where there is one, and the program needs no CUPS headers to be built.
struct CupsOption {
    char* name;
    char* value;
};
struct CupsDest {
    char* name;
    char* instance;
    int isDefault;
    int optionCount;
    CupsOption* options;
};

class Cups {
public:
    static const Cups& Get()
    {
        static const Cups cups;
        return cups;
    }

    // The printer's attribute, or empty when CUPS or the printer or the attribute is missing.
    QString Attribute(const QString& printer, const char* name) const
    {
        if (!m_getNamedDest || !m_getOption || !m_freeDests)
            return {};
        CupsDest* dest = m_getNamedDest(nullptr, printer.toLocal8Bit().constData(), nullptr);
        if (!dest)
            return {};
        const char* value = m_getOption(name, dest->optionCount, dest->options);
        const QString text = value ? QString::fromLocal8Bit(value) : QString();
        m_freeDests(1, dest);
        return text;
    }

private:
    Cups()
    {
        void* library = dlopen("libcups.so.2", RTLD_LAZY | RTLD_LOCAL);
        if (!library)
            return;
        m_getNamedDest = reinterpret_cast<GetNamedDest>(dlsym(library, "cupsGetNamedDest"));
        m_getOption = reinterpret_cast<GetOption>(dlsym(library, "cupsGetOption"));
        m_freeDests = reinterpret_cast<FreeDests>(dlsym(library, "cupsFreeDests"));
    }

    using GetNamedDest = CupsDest* (*)(void*, const char*, const char*);
    using GetOption = const char* (*)(const char*, int, CupsOption*);
    using FreeDests = void (*)(int, CupsDest*);
    GetNamedDest m_getNamedDest = nullptr;
    GetOption m_getOption = nullptr;
    FreeDests m_freeDests = nullptr;
};

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

Status PrintDestination::Accepting(const QPrinter& printer)
{
    if (TestAcceptCheck())
        return TestAcceptCheck()(printer);
    if (printer.outputFormat() == QPrinter::PdfFormat || printer.printerName().isEmpty())
        return Success();
    const Cups& cups = Cups::Get();
    const QString name = printer.printerName();
    const QString message = cups.Attribute(name, "printer-state-message");
    auto refused = [&](const char* why) {
        QString detail = QString::fromLatin1(why);
        if (!message.isEmpty())
            detail += QStringLiteral(" (%1)").arg(message);
        return Status(KeldError(kErrInvalidArgument, detail.toStdString(), name.toStdString()));
    };
    if (cups.Attribute(name, "printer-is-accepting-jobs").compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return refused("is not accepting jobs");
    // A stopped printer still queues jobs: they reach the print system and print when it resumes.
    return Success();
}

void PrintDestination::SetFactory(Factory factory)
{
    TestFactory() = std::move(factory);
}

void PrintDestination::SetAcceptCheck(AcceptCheck check)
{
    TestAcceptCheck() = std::move(check);
}

} // namespace keld
