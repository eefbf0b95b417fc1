// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QClipboard>
#include <QObject>
#include <QPlainTextEdit>

class QMimeData;

namespace keld {

// True when the data carries text to insert. Every text box of the program takes plain text
// only, so data without text (or none at all) pastes nothing.
bool HasPasteText(const QMimeData* data);
// The same for the clipboard or the selection as it stands.
bool ClipboardHasText(QClipboard::Mode mode);

// Drops a paste into an editable text box (the paste keys, a middle click) when there is nothing
// to paste: some platforms' text controls crash on a clipboard that no program owns. Installed
// once on the application; every window's line edits, combo box edits and notes are covered.
class PasteGuard : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    // Installs one guard on the running application; further calls do nothing.
    static void Install();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// A plain-text note area that inserts nothing for empty or absent mime data, whichever way the
// paste or drop arrives (keys, middle click, context menu, drag).
class NoteEdit : public QPlainTextEdit {
    Q_OBJECT

public:
    using QPlainTextEdit::QPlainTextEdit;

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
};

} // namespace keld
