// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "character/SheetModel.h"

#include <QString>
#include <QWidget>

#include <map>
#include <utility>

class QStringListModel;

class QComboBox;
class QGridLayout;

namespace keld {

class SheetBinding;

// The bottom of the sheet: body armour and the four armour pieces, eight language slots with
// their ranks and eight spell lists with their percentages. Each control shows one field of the
// model and turns each user event into one model call.
class ArmorLanguageSpellArea : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeightTwips = 2160;

    ArmorLanguageSpellArea(SheetBinding& binding, QWidget* parent = nullptr);

private:
    void BuildArmor(QGridLayout* layout);
    QLayout* BuildLanguages();
    QLayout* BuildSpells();
    QComboBox* NameList(const QString& objectName, const QString& accessibleName, int widthTwips,
                        const QStringList& entries, FieldId id, int index);
    // Two columns of four slots under a heading: slot i goes to row 1 + i % 4, columns 0-1 or 3-4.
    QGridLayout* SlotGrid(const QString& heading);

    SheetBinding& m_binding;
    // The entries every box of one kind offers, and the width of the widest, by their texts.
    std::map<QString, std::pair<QStringListModel*, int>> m_choices;
};

} // namespace keld
