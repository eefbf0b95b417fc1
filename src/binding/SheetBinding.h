// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "character/SheetModel.h"
#include "ui/QtText.h"

#include <QObject>

#include <functional>
#include <unordered_map>
#include <vector>

class QLabel;
class QLineEdit;
class QTextEdit;

namespace keld {

// The one table from the model's fields to the widgets that show them. A widget registers how
// it shows (id, index); FieldChanged looks the field up and refreshes just those widgets. A
// user edit goes back as one core call with the same id and index. Showing a value never feeds
// back as an edit: refreshers block the widget's signals.
class SheetBinding : public QObject, public SheetObserver {
    Q_OBJECT

public:
    explicit SheetBinding(SheetModel& model, QObject* parent = nullptr);
    ~SheetBinding() override;

    SheetModel& Model() { return m_model; }
    const SheetModel& Model() const { return m_model; }

    // Any widget: refresh runs whenever (id, index) changes and once from RefreshAll.
    void Bind(FieldId id, int index, std::function<void()> refresh);
    // A text box: shows Text(id, index) from its start while not being edited; typing calls
    // EditText, leaving it EditFinished.
    void BindLineEdit(QLineEdit* edit, FieldId id, int index);
    // Makes a text box drop the characters that field cannot keep in a character file, however they
    // arrive (typed, pasted or dropped), and say why at the box the first time; line breaks become
    // blanks. BindLineEdit does this itself.
    static void RefuseWhatTheFileCannotHold(QLineEdit* edit, FieldId id, int index);
    // Runs `show` (which sets the box's text from the record) past that filter: a value the program
    // wrote, such as a loaded coin "1.5", is shown as it stands.
    static void ShowUnfiltered(QLineEdit* edit, const std::function<void()>& show);
    // A label that shows a value: its text is Text(id, index).
    void BindLabel(QLabel* label, FieldId id, int index);

    // Shows every bound field as the model holds it (after building the widgets).
    void RefreshAll();

    void FieldChanged(FieldId id, int index) override;

private:
    static long long Key(FieldId id, int index)
    {
        return (static_cast<long long>(id) << 16) | (index & 0xffff);
    }

    SheetModel& m_model;
    std::unordered_map<long long, std::vector<std::function<void()>>> m_refreshers;
    std::vector<std::function<void()>> m_all;
};

} // namespace keld
