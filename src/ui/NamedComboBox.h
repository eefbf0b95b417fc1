// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QComboBox>

namespace keld {

// A drop-down list that a screen reader announces by its accessible name ("Zoom", "Slot 1 dice"),
// with the current entry as its value. Qt's own list names itself after its current entry on
// this platform and leaves the name to a label beside it, which these lists do not have.
class NamedComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit NamedComboBox(QWidget* parent = nullptr);
};

} // namespace keld
