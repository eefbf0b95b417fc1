// SPDX-License-Identifier: GPL-3.0-or-later
#include "binding/SheetBinding.h"

#include "charfile/CharacterFileFormat.h"
#include "ui/BoxText.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QToolTip>
#include <QValidator>

namespace keld {

namespace {

QString Tr(const char* text)
{
    return QCoreApplication::translate("SheetBinding", text);
}

bool IsLineBreak(char32_t c)
{
    return c == U'\r' || c == U'\n';
}

// Why the box refused `c`, in the user's words: the character file splits that field's line on it.
QString WhyRefused(FieldId id, int index, char32_t c)
{
    const QString shown = QString::fromUcs4(&c, 1);
    switch (id) {
    case FieldId::General:
        if (index == static_cast<int>(GeneralField::Height))
            return Tr("A height cannot hold \"%1\": the character file uses it to separate height "
                      "and weight.")
                .arg(shown);
        if (index == static_cast<int>(GeneralField::HairColor))
            return Tr("A hair colour cannot hold \"%1\": the character file uses it to separate "
                      "hair and eye colour.")
                .arg(shown);
        break;
    case FieldId::LanguageName:
        return Tr("A language name cannot hold \"%1\": the character file uses it to separate "
                  "the name from the language's rank.")
            .arg(shown);
    case FieldId::SpellName:
        return Tr("A spell list name cannot hold \"%1\": the character file uses it to separate "
                  "the name from the list's percentage.")
            .arg(shown);
    case FieldId::Rank:
    case FieldId::Item1:
    case FieldId::Item2:
    case FieldId::Spec1:
    case FieldId::Spec2:
        return Tr("A bonus cannot hold \"%1\": the character file uses it to separate a skill's "
                  "values.")
            .arg(shown);
    default:
        break;
    }
    return Tr("This box cannot hold \"%1\": the character file could not keep it here.").arg(shown);
}

// Drops the characters a field's text cannot keep in the file, rather than refusing the whole
// input, so a pasted or dropped text keeps the rest; line breaks become blanks, so pasted lines
// stay apart. The first refusal in a box says why, at the box.
class FileTextValidator : public QValidator {
    Q_OBJECT

public:
    FileTextValidator(FieldId id, int index, QLineEdit* box)
        : QValidator(box), m_id(id), m_index(index), m_box(box)
    {
        box->installEventFilter(this);
    }

    State validate(QString& input, int& pos) const override
    {
        QString kept;
        kept.reserve(input.size());
        int keptBeforeCursor = 0;
        bool changed = false;
        char32_t refused = 0;
        for (int i = 0; i < input.size();) {
            const char32_t c =
                input.at(i).isHighSurrogate() && i + 1 < input.size() && input.at(i + 1).isLowSurrogate()
                    ? QChar::surrogateToUcs4(input.at(i), input.at(i + 1))
                    : input.at(i).unicode();
            const int width = c > 0xFFFF ? 2 : 1;
            if (TheFileCanHold(m_id, m_index, c)) {
                kept.append(input.mid(i, width));
                if (i < pos)
                    keptBeforeCursor += width;
            } else if (IsLineBreak(c) && TheFileCanHold(m_id, m_index, U' ')) {
                // One blank for each break, CR LF included, and for a run of empty lines.
                int end = i;
                while (end < input.size() && IsLineBreak(input.at(end).unicode()))
                    ++end;
                kept.append(u' ');
                if (i < pos)
                    ++keptBeforeCursor;
                changed = true;
                i = end;
                continue;
            } else {
                changed = true;
                if (!refused)
                    refused = c;
            }
            i += width;
        }
        if (changed) {
            input = kept;
            pos = keptBeforeCursor;
        }
        if (refused && !m_told) {
            m_told = true;
            Tell(WhyRefused(m_id, m_index, refused));
        }
        return Acceptable;
    }

protected:
    // While the note is fresh, a pointer resting on the box shows it again rather than letting
    // the panel's own tooltip replace it.
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ToolTip && m_toldAt.isValid() && m_toldAt.elapsed() < kNoteMs) {
            Show();
            return true;
        }
        return QValidator::eventFilter(watched, event);
    }

private:
    static constexpr int kNoteMs = 10000;

    void Tell(const QString& note) const
    {
        m_note = note;
        m_toldAt.start();
        Show();
    }

    void Show() const
    {
        // Where the user is looking: just under the box, for long enough to read.
        const QPoint at = m_box->mapToGlobal(QPoint(0, m_box->height()));
        QToolTip::showText(at, m_note, m_box, QRect(), static_cast<int>(kNoteMs - m_toldAt.elapsed()));
    }

    FieldId m_id;
    int m_index;
    QLineEdit* m_box;
    mutable bool m_told = false;
    mutable QString m_note;
    mutable QElapsedTimer m_toldAt;
};

bool RefusesAnything(FieldId id, int index)
{
    for (char32_t c : {U'\r', U'\n', U'/', U',', U'a'})
        if (!TheFileCanHold(id, index, c))
            return true;
    return false;
}

} // namespace

void SheetBinding::RefuseWhatTheFileCannotHold(QLineEdit* edit, FieldId id, int index)
{
    if (RefusesAnything(id, index))
        edit->setValidator(new FileTextValidator(id, index, edit));
}

SheetBinding::SheetBinding(SheetModel& model, QObject* parent) : QObject(parent), m_model(model)
{
    m_model.AddObserver(this);
}

SheetBinding::~SheetBinding()
{
    m_model.RemoveObserver(this);
}

void SheetBinding::Bind(FieldId id, int index, std::function<void()> refresh)
{
    m_refreshers[Key(id, index)].push_back(refresh);
    m_all.push_back(std::move(refresh));
}

void SheetBinding::ShowUnfiltered(QLineEdit* edit, const std::function<void()>& show)
{
    const QValidator* validator = edit->validator();
    edit->setValidator(nullptr);
    show();
    edit->setValidator(validator);
}

void SheetBinding::BindLineEdit(QLineEdit* edit, FieldId id, int index)
{
    // Installed first, so that a fresh note of a refused character comes before the whole text.
    BoxTextStart::Install(edit);
    RefuseWhatTheFileCannotHold(edit, id, index);
    Bind(id, index, [this, edit, id, index] {
        const QString text = ToQt(m_model.Text(id, index));
        if (edit->text() != text) {
            const QSignalBlocker blocker(edit);
            ShowUnfiltered(edit, [edit, &text] { edit->setText(text); });
            // A long text the program wrote shows its beginning, not its end.
            if (!edit->hasFocus())
                edit->setCursorPosition(0);
        }
    });
    // The model refuses only boxes that are locked or read-only; should one get typed into all the
    // same, it shows the model's text again rather than a text that was not taken.
    connect(edit, &QLineEdit::textEdited, this, [this, id, index](const QString& text) {
        if (!m_model.EditText(id, index, FromQt(text)))
            FieldChanged(id, index);
    });
    connect(edit, &QLineEdit::editingFinished, this, [this, id, index] {
        if (!m_model.EditFinished(id, index))
            FieldChanged(id, index);
    });
}

void SheetBinding::BindLabel(QLabel* label, FieldId id, int index)
{
    Bind(id, index, [this, label, id, index] { label->setText(ToQt(m_model.Text(id, index))); });
}

void SheetBinding::RefreshAll()
{
    for (const auto& refresh : m_all)
        refresh();
}

void SheetBinding::FieldChanged(FieldId id, int index)
{
    const auto found = m_refreshers.find(Key(id, index));
    if (found == m_refreshers.end())
        return;
    for (const auto& refresh : found->second)
        refresh();
}

} // namespace keld

#include "SheetBinding.moc"
