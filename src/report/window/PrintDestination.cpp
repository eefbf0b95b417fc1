// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/window/PrintDestination.h"

#include <QPrinter>
#include <QPrinterInfo>
#include <QUrl>

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

PrintDestination::JobCheck& TestJobCheck()
{
    static PrintDestination::JobCheck check;
    return check;
}

// The few CUPS calls the checks need, found at run time: Qt's print support already loads the
// library where there is one, and the program needs no CUPS headers to be built. The types and
// numbers are those of the library's stable interface.
struct CupsJob {
    int id;
    char* dest;
    char* title;
    char* user;
    char* format;
    int state;
    int size;
    int priority;
    long completedTime;
    long creationTime;
    long processingTime;
};

constexpr int kOpGetPrinterAttributes = 0x000B;
constexpr int kTagOperation = 0x01;
constexpr int kTagZero = 0x00;
constexpr int kTagUri = 0x45;
constexpr int kStatusLastSuccess = 0x00FF;
constexpr int kStatusNotFound = 0x0406;
constexpr int kPrinterStopped = 5;
constexpr int kJobHeld = 4;
constexpr int kJobCanceled = 7;
constexpr int kJobAborted = 8;
constexpr int kAllJobs = -1;

// What the print system says about one printer.
struct PrinterState {
    bool missing = false; // the print system says there is no such printer
    bool accepting = true;
    bool stopped = false;
    QString message; // the administrator's or the driver's reason ("paper jam")
};

class Cups {
public:
    static const Cups& Get()
    {
        static const Cups cups;
        return cups;
    }

    bool Loaded() const { return m_loaded; }

    PrinterState State(const QString& printer) const
    {
        PrinterState state;
        if (!m_loaded)
            return state;
        const QByteArray uri = "ipp://localhost/printers/" + QUrl::toPercentEncoding(printer);
        void* request = m_newRequest(kOpGetPrinterAttributes);
        m_addString(request, kTagOperation, kTagUri, "printer-uri", nullptr, uri.constData());
        void* response = m_doRequest(nullptr, request, "/");
        if (!response) {
            state.missing = m_lastError() == kStatusNotFound;
            return state;
        }
        state.missing = m_statusCode(response) == kStatusNotFound;
        if (m_statusCode(response) <= kStatusLastSuccess) {
            if (void* accepting = m_findAttribute(response, "printer-is-accepting-jobs", kTagZero))
                state.accepting = m_getBoolean(accepting, 0) != 0;
            if (void* printerState = m_findAttribute(response, "printer-state", kTagZero))
                state.stopped = m_getInteger(printerState, 0) == kPrinterStopped;
            if (void* message = m_findAttribute(response, "printer-state-message", kTagZero))
                if (const char* text = m_getString(message, 0, nullptr))
                    state.message = QString::fromUtf8(text).trimmed();
        }
        m_delete(response);
        return state;
    }

    // This user's jobs for the printer, finished ones included: {newest id, its state}.
    std::pair<int, int> NewestJob(const QString& printer) const
    {
        if (!m_loaded)
            return {0, 0};
        CupsJob* jobs = nullptr;
        const int count = m_getJobs(&jobs, printer.toLocal8Bit().constData(), 1, kAllJobs);
        std::pair<int, int> newest{0, 0};
        for (int i = 0; i < count; ++i)
            if (jobs[i].id > newest.first)
                newest = {jobs[i].id, jobs[i].state};
        if (jobs)
            m_freeJobs(count, jobs);
        return newest;
    }

    // The answer to the last request this thread made, and its text.
    int LastError() const { return m_loaded ? m_lastError() : 0; }
    QString LastErrorText() const
    {
        const char* text = m_loaded ? m_lastErrorString() : nullptr;
        return text ? QString::fromUtf8(text).trimmed() : QString();
    }

private:
    Cups()
    {
        void* library = dlopen("libcups.so.2", RTLD_LAZY | RTLD_LOCAL);
        if (!library)
            return;
        auto find = [library](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(library, name));
            return function != nullptr;
        };
        m_loaded = find(m_newRequest, "ippNewRequest") && find(m_addString, "ippAddString") &&
                   find(m_doRequest, "cupsDoRequest") && find(m_statusCode, "ippGetStatusCode") &&
                   find(m_findAttribute, "ippFindAttribute") && find(m_getString, "ippGetString") &&
                   find(m_getInteger, "ippGetInteger") && find(m_getBoolean, "ippGetBoolean") &&
                   find(m_delete, "ippDelete") && find(m_getJobs, "cupsGetJobs") &&
                   find(m_freeJobs, "cupsFreeJobs") && find(m_lastError, "cupsLastError") &&
                   find(m_lastErrorString, "cupsLastErrorString");
    }

    bool m_loaded = false;
    void* (*m_newRequest)(int) = nullptr;
    void* (*m_addString)(void*, int, int, const char*, const char*, const char*) = nullptr;
    void* (*m_doRequest)(void*, void*, const char*) = nullptr;
    int (*m_statusCode)(void*) = nullptr;
    void* (*m_findAttribute)(void*, const char*, int) = nullptr;
    const char* (*m_getString)(void*, int, const char**) = nullptr;
    int (*m_getInteger)(void*, int) = nullptr;
    int (*m_getBoolean)(void*, int) = nullptr;
    void (*m_delete)(void*) = nullptr;
    int (*m_getJobs)(CupsJob**, const char*, int, int) = nullptr;
    void (*m_freeJobs)(int, CupsJob*) = nullptr;
    int (*m_lastError)() = nullptr;
    const char* (*m_lastErrorString)() = nullptr;
};

// A printer of the print system, or empty for a PDF file or a printer Qt names no queue for.
QString QueueName(const QPrinter& printer)
{
    if (printer.outputFormat() == QPrinter::PdfFormat)
        return {};
    // An instance ("queue/instance") prints on its queue.
    return printer.printerName().section(u'/', 0, 0);
}

QString WithReason(const char* what, const QString& reason)
{
    QString text = QString::fromLatin1(what);
    if (!reason.isEmpty())
        text += QStringLiteral(" (%1)").arg(reason);
    return text;
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

Status PrintDestination::Accepting(const QPrinter& printer)
{
    if (TestAcceptCheck())
        return TestAcceptCheck()(printer);
    const QString name = QueueName(printer);
    if (name.isEmpty())
        return Success();
    const PrinterState state = Cups::Get().State(name);
    auto refused = [&](const QString& detail) {
        return Status(KeldError(kErrInvalidArgument, detail.toStdString(), name.toStdString()));
    };
    if (!state.accepting)
        return refused(WithReason("is not accepting jobs", state.message));
    // A stopped printer still queues jobs: Confirm says so once the job is there. A printer the
    // print system does not answer for may be one it sets up when the job comes (found on the
    // network); whether the job got there is for Confirm to say.
    return Success();
}

int PrintDestination::LastJob(const QPrinter& printer)
{
    if (TestJobCheck())
        return 0;
    const QString name = QueueName(printer);
    return name.isEmpty() ? 0 : Cups::Get().NewestJob(name).first;
}

PrintDestination::Outcome PrintDestination::Confirm(const QPrinter& printer, int lastJobBefore)
{
    if (TestJobCheck())
        return TestJobCheck()(printer);
    const QString name = QueueName(printer);
    const Cups& cups = Cups::Get();
    if (name.isEmpty() || !cups.Loaded())
        return {};
    // Qt sends the job last and drops the answer; this thread's last answer is still that one.
    const int sent = cups.LastError();
    const QString sentText = cups.LastErrorText();
    const auto [job, jobState] = cups.NewestJob(name);
    if (job <= lastJobBefore) {
        if (sent > kStatusLastSuccess) {
            // The library's own text for a queue that went away names a file, not the cause.
            if (cups.State(name).missing)
                return {Outcome::State::Lost, QStringLiteral("the printer is no longer set up")};
            return {Outcome::State::Lost, sentText};
        }
        // Accepted, and already printed and forgotten by a print system that keeps no history.
        return {};
    }
    const PrinterState printerState = cups.State(name);
    if (jobState == kJobAborted || jobState == kJobCanceled)
        return {Outcome::State::Lost, printerState.message};
    if (printerState.stopped)
        return {Outcome::State::Waiting, printerState.message};
    if (jobState == kJobHeld)
        return {Outcome::State::Waiting, QStringLiteral("the job is held")};
    return {};
}

void PrintDestination::SetFactory(Factory factory)
{
    TestFactory() = std::move(factory);
}

void PrintDestination::SetAcceptCheck(AcceptCheck check)
{
    TestAcceptCheck() = std::move(check);
}

void PrintDestination::SetJobCheck(JobCheck check)
{
    TestJobCheck() = std::move(check);
}

} // namespace keld
