// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PasteGuard.h"

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QTextEdit>

namespace keld {

namespace {

bool EditableText(QObject* watched)
{
    if (auto* line = qobject_cast<QLineEdit*>(watched))
        return !line->isReadOnly();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(watched))
        return !plain->isReadOnly();
    if (auto* rich = qobject_cast<QTextEdit*>(watched))
        return !rich->isReadOnly();
    return false;
}

// Text edits take their mouse events on the viewport.
bool EditableTextOrViewport(QObject* watched)
{
    if (EditableText(watched))
        return true;
    auto* widget = qobject_cast<QWidget*>(watched);
    auto* area = widget ? qobject_cast<QAbstractScrollArea*>(widget->parentWidget()) : nullptr;
    return area && area->viewport() == widget && EditableText(area);
}

} // namespace

bool HasPasteText(const QMimeData* data)
{
    return data && data->hasText() && !data->text().isEmpty();
}

bool ClipboardHasText(QClipboard::Mode mode)
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard || (mode == QClipboard::Selection && !clipboard->supportsSelection()))
        return false;
    return HasPasteText(clipboard->mimeData(mode));
}

void PasteGuard::Install()
{
    auto* app = QCoreApplication::instance();
    if (!app || app->findChild<PasteGuard*>(QString(), Qt::FindDirectChildrenOnly))
        return;
    app->installEventFilter(new PasteGuard(app));
}

bool PasteGuard::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Paste) && EditableText(watched) &&
            !ClipboardHasText(QClipboard::Clipboard))
            return true;
        break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton &&
            EditableTextOrViewport(watched) && !ClipboardHasText(QClipboard::Selection))
            return true;
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

bool NoteEdit::canInsertFromMimeData(const QMimeData* source) const
{
    return HasPasteText(source) && QPlainTextEdit::canInsertFromMimeData(source);
}

void NoteEdit::insertFromMimeData(const QMimeData* source)
{
    if (HasPasteText(source))
        QPlainTextEdit::insertFromMimeData(source);
}

} // namespace keld
