// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/KeldError.h"

#include <QString>

#include <functional>
#include <memory>

class QPrinter;

namespace keld {

// Where print jobs go: the system's default printer, used without a print dialog.
class PrintDestination {
public:
    // What became of a job once it was handed to the print system.
    struct Outcome {
        enum class State {
            Sent,    // the print system holds it and the printer works
            Waiting, // held in the queue of a stopped printer
            Lost,    // the print system has no job, or dropped it
        };
        State state = State::Sent;
        // The print system's reason, for the user ("paper jam"); may be empty.
        QString reason;
    };

    using Factory = std::function<std::unique_ptr<QPrinter>()>;
    using AcceptCheck = std::function<Status(const QPrinter&)>;
    using JobCheck = std::function<Outcome(const QPrinter&)>;

    // A printer set up for one job on the default printer; nullptr when the system has none.
    static std::unique_ptr<QPrinter> DefaultPrinter();

    // Whether the printer takes jobs now. Qt hands a finished job to the print system without
    // looking at the answer, so a printer that refuses jobs (set to reject them) has to be
    // asked before the job is made. The error's detail says why, for the user, with the
    // administrator's reason where there is one.
    static Status Accepting(const QPrinter& printer);

    // The newest job of this user that the print system holds for the printer (0 for none): taken
    // before a job is sent, so that Confirm tells the new job from older ones.
    static int LastJob(const QPrinter& printer);
    // After a job was painted: whether the print system received it (a job newer than
    // `lastJobBefore` that was not aborted) and whether the printer is stopped. Call it right
    // after the job ends: the answer Qt got for the job is read first.
    static Outcome Confirm(const QPrinter& printer, int lastJobBefore);

    // Test seam: DefaultPrinter() returns what `factory` makes (a PDF printer, or nullptr for a
    // machine without printers) until the seam is cleared with an empty factory.
    static void SetFactory(Factory factory);
    // Test seam: Accepting() answers with `check` until it is cleared with an empty one.
    static void SetAcceptCheck(AcceptCheck check);
    // Test seam: Confirm() answers with `check` until it is cleared with an empty one.
    static void SetJobCheck(JobCheck check);
};

} // namespace keld
