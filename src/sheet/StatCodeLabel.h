// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sheet/ValueLabel.h"

#include <QString>

#include <functional>

class QMenu;

namespace keld {

// A skill row's stat code, which a stat chip dropped on it changes. For the keyboard it takes
// focus: the two letters of a chip typed in a row, or Space or Enter for a menu of the chips,
// give the row that chip's caption; Delete gives it the blank chip's, which removes its stat.
class StatCodeLabel : public ValueLabel {
    Q_OBJECT
public:
    // onChoose receives a chip's caption, as a drop of that chip would.
    StatCodeLabel(std::function<void(const QString&)> onChoose, QWidget* parent = nullptr);

    // Opens the chips' menu under the label (without waiting for a choice).
    void OpenMenu();
    // The chips' menu, once opened.
    QMenu* Menu() const { return m_menu; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    std::function<void(const QString&)> m_onChoose;
    QMenu* m_menu = nullptr;
    QString m_typed;
};

} // namespace keld
