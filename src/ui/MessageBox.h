// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/KeldError.h"

#include <QMessageBox>
#include <QString>

namespace keld {

// Every message box of the program goes through here, so tests can answer it without a window.
class MessageBox {
public:
    // The program's display name, "KELD Character Generator": the title of a box for which no
    // other is given.
    static QString ProgramTitle();

    // Shows a modal box and returns the button chosen (the first of `buttons` when it is closed).
    // An empty title is the program's.
    static QMessageBox::StandardButton Show(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                            const QString& text, QMessageBox::StandardButtons buttons,
                                            const QString& informativeText = {});
    static void Information(QWidget* parent, const QString& title, const QString& text,
                            const QString& informativeText = {});
    static void Warning(QWidget* parent, const QString& title, const QString& text,
                        const QString& informativeText = {});

    // Why a file operation failed, worded as keldcg-cli words it: "FILE:LINE: detail", the file
    // as the error names it (else `path`) and the line only where it is known.
    static QString FileReason(const KeldError& error, const QString& path = {});

    // Test seam, installed by tests only: from this call on no box is shown; each answers with
    // the next answer queued by SetNextAnswer, or else with its first button, and what it said is
    // kept for TakeShown().
    static void AnswerForTests();
    static void SetNextAnswer(QMessageBox::StandardButton button);
    // What the boxes answered since the last call said ("title\ntext\ninformative"), oldest first.
    static QStringList TakeShown();
};

} // namespace keld
