// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QComboBox>

namespace keld {

// A list on the panel, which scrolls with the wheel: the wheel only steps through the entries
// once the list has focus, so scrolling the sheet over it never changes a value by accident.
// A name wider than the closed list shows cut with an ellipsis and whole in the tooltip.
class PanelComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit PanelComboBox(QWidget* parent = nullptr);

    // Whether the closed list shows only part of its current text.
    bool IsElided() const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    int TextWidth() const;
};

} // namespace keld
