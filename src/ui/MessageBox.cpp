// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MessageBox.h"

#include <QDir>

#include <cassert>
#include <deque>

namespace keld {

namespace {

bool& AnsweringForTests()
{
    static bool answering = false;
    return answering;
}

std::deque<QMessageBox::StandardButton>& NextAnswers()
{
    static std::deque<QMessageBox::StandardButton> answers;
    return answers;
}

QStringList& Shown()
{
    static QStringList shown;
    return shown;
}

QMessageBox::StandardButton FirstButton(QMessageBox::StandardButtons buttons)
{
    for (int bit = 0; bit < 32; ++bit) {
        const auto button = static_cast<QMessageBox::StandardButton>(1u << bit);
        if (buttons.testFlag(button))
            return button;
    }
    return QMessageBox::Ok;
}

} // namespace

QString MessageBox::ProgramTitle()
{
    // Not the application's name: that is the program's file name, "keldcg".
    return QObject::tr("KELD Character Generator");
}

QMessageBox::StandardButton MessageBox::Show(QWidget* parent, QMessageBox::Icon icon,
                                             const QString& givenTitle, const QString& text,
                                             QMessageBox::StandardButtons buttons,
                                             const QString& informativeText)
{
    const QString title = givenTitle.isEmpty() ? ProgramTitle() : givenTitle;
    if (AnsweringForTests()) {
        Shown() << (informativeText.isEmpty() ? title + u'\n' + text
                                              : title + u'\n' + text + u'\n' + informativeText);
        if (NextAnswers().empty())
            return FirstButton(buttons);
        const QMessageBox::StandardButton answer = NextAnswers().front();
        NextAnswers().pop_front();
        return answer;
    }
    QMessageBox box(icon, title, text, buttons, parent);
    if (!informativeText.isEmpty())
        box.setInformativeText(informativeText);
    const int chosen = box.exec();
    return chosen == 0 ? FirstButton(buttons) : static_cast<QMessageBox::StandardButton>(chosen);
}

void MessageBox::Information(QWidget* parent, const QString& title, const QString& text,
                             const QString& informativeText)
{
    Show(parent, QMessageBox::Information, title, text, QMessageBox::Ok, informativeText);
}

void MessageBox::Warning(QWidget* parent, const QString& title, const QString& text,
                         const QString& informativeText)
{
    Show(parent, QMessageBox::Warning, title, text, QMessageBox::Ok, informativeText);
}

QString MessageBox::FileReason(const KeldError& error, const QString& path)
{
    // The file is named once, exactly as on disk, the way keldcg-cli names it (KeldError::Location).
    QString text = error.File().empty() ? path : QString::fromStdString(error.File());
    text = QDir::toNativeSeparators(text);
    if (error.Line() > 0)
        text += u':' + QString::number(error.Line());
    if (!text.isEmpty())
        text += QStringLiteral(": ");
    return text + QString::fromStdString(error.Detail().empty() ? error.Description() : error.Detail());
}

void MessageBox::AnswerForTests()
{
    AnsweringForTests() = true;
}

void MessageBox::SetNextAnswer(QMessageBox::StandardButton button)
{
    assert(AnsweringForTests());
    NextAnswers().push_back(button);
}

QStringList MessageBox::TakeShown()
{
    QStringList shown;
    shown.swap(Shown());
    return shown;
}

} // namespace keld
