#include "sheet/binding/SheetBinding.h"

#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

namespace keld {

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

void SheetBinding::BindLineEdit(QLineEdit* edit, FieldId id, int index)
{
    Bind(id, index, [this, edit, id, index] {
        const QString text = ToQt(m_model.Text(id, index));
        if (edit->text() != text) {
            const QSignalBlocker blocker(edit);
            edit->setText(text);
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
