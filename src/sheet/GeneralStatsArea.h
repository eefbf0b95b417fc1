// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QComboBox;
class QGridLayout;
class QLabel;

namespace keld {

class SheetBinding;
enum class FieldId : int;

// The top of the sheet: the seven general texts, the race, youth and profession lists, level,
// experience, realm and power points, the stat block and the stat chips. Every control shows a
// field of the model and turns a user event into one model call.
class GeneralStatsArea : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeightTwips = 2700;
    static constexpr int kRowTwips = 300;
    static constexpr int kRowGapTwips = 30;
    static constexpr int kMarginTwips = 45;
    static constexpr int kRowCount = 8;

    GeneralStatsArea(SheetBinding& binding, QWidget* parent = nullptr);

private:
    QGridLayout* NewColumn();
    QLabel* NewCaption(const QString& objectName, const QString& caption);
    QLabel* NewValueLabel(FieldId id, int index, const QString& objectName, const QString& description);
    QComboBox* NewList(FieldId listId, FieldId selectionId, const QString& objectName, const QString& name);
    QWidget* BuildGeneral();
    QWidget* BuildLevel();
    QWidget* BuildStats();

    SheetBinding& m_binding;
    int m_rowPx;
};

} // namespace keld
