// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/window/PrintDestination.h"

#include <QPrinter>
#include <QPrinterInfo>
#include <QUrl>

#include <cups/cups.h>

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

// What the print system says about one printer.
struct PrinterState {
    bool missing = false; // the print system says there is no such printer
    bool accepting = true;
    bool stopped = false;
    QString message; // the administrator's or the driver's reason ("paper jam")
};

// Status codes up to this one are successes.
constexpr ipp_status_t kStatusLastSuccess = static_cast<ipp_status_t>(0x00FF);

PrinterState State(const QString& printer)
{
    PrinterState state;
    const QByteArray uri = "ipp://localhost/printers/" + QUrl::toPercentEncoding(printer);
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.constData());
    // Takes the request, answered or not.
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    if (!response) {
        state.missing = cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND;
        return state;
    }
    const ipp_status_t status = ippGetStatusCode(response);
    state.missing = status == IPP_STATUS_ERROR_NOT_FOUND;
    if (status <= kStatusLastSuccess) {
        if (ipp_attribute_t* accepting =
                ippFindAttribute(response, "printer-is-accepting-jobs", IPP_TAG_ZERO))
            state.accepting = ippGetBoolean(accepting, 0) != 0;
        if (ipp_attribute_t* printerState = ippFindAttribute(response, "printer-state", IPP_TAG_ZERO))
            state.stopped = ippGetInteger(printerState, 0) == IPP_PSTATE_STOPPED;
        if (ipp_attribute_t* message = ippFindAttribute(response, "printer-state-message", IPP_TAG_ZERO))
            if (const char* text = ippGetString(message, 0, nullptr))
                state.message = QString::fromUtf8(text).trimmed();
    }
    ippDelete(response);
    return state;
}

// This user's jobs for the printer, finished ones included: {newest id, its state}.
std::pair<int, ipp_jstate_t> NewestJob(const QString& printer)
{
    cups_job_t* jobs = nullptr;
    const int count = cupsGetJobs(&jobs, printer.toLocal8Bit().constData(), 1, CUPS_WHICHJOBS_ALL);
    std::pair<int, ipp_jstate_t> newest{0, IPP_JSTATE_PENDING};
    for (int i = 0; i < count; ++i)
        if (jobs[i].id > newest.first)
            newest = {jobs[i].id, jobs[i].state};
    if (jobs)
        cupsFreeJobs(count, jobs);
    return newest;
}

// The text of the answer to the last request this thread made.
QString LastErrorText()
{
    const char* text = cupsLastErrorString();
    return text ? QString::fromUtf8(text).trimmed() : QString();
}

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
    const PrinterState state = State(name);
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
    return name.isEmpty() ? 0 : NewestJob(name).first;
}

PrintDestination::Outcome PrintDestination::Confirm(const QPrinter& printer, int lastJobBefore)
{
    if (TestJobCheck())
        return TestJobCheck()(printer);
    const QString name = QueueName(printer);
    if (name.isEmpty())
        return {};
    // Qt sends the job last and drops the answer; this thread's last answer is still that one.
    const ipp_status_t sent = cupsLastError();
    const QString sentText = LastErrorText();
    const auto [job, jobState] = NewestJob(name);
    if (job <= lastJobBefore) {
        if (sent > kStatusLastSuccess) {
            // The library's own text for a queue that went away names a file, not the cause.
            if (State(name).missing)
                return {Outcome::State::Lost, QStringLiteral("the printer is no longer set up")};
            return {Outcome::State::Lost, sentText};
        }
        // Accepted, and already printed and forgotten by a print system that keeps no history.
        return {};
    }
    const PrinterState printerState = State(name);
    if (jobState == IPP_JSTATE_ABORTED || jobState == IPP_JSTATE_CANCELED)
        return {Outcome::State::Lost, printerState.message};
    if (printerState.stopped)
        return {Outcome::State::Waiting, printerState.message};
    if (jobState == IPP_JSTATE_HELD)
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
