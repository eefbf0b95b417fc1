#include "sheet/binding/SheetBinding.h"

#include "charfile/CharacterFileFormat.h"

#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QValidator>

namespace keld {

namespace {

// Drops the characters a field's text cannot keep in the file, rather than refusing the whole
// input, so a pasted or dropped text keeps the rest.
class FileTextValidator : public QValidator {
public:
    FileTextValidator(FieldId id, int index, QObject* parent) : QValidator(parent), m_id(id), m_index(index)
    {
    }

    State validate(QString& input, int& pos) const override
    {
        QString kept;
        kept.reserve(input.size());
        int keptBeforeCursor = 0;
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
            }
            i += width;
        }
        if (kept.size() != input.size()) {
            input = kept;
            pos = keptBeforeCursor;
        }
        return Acceptable;
    }

private:
    FieldId m_id;
    int m_index;
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
