#pragma once

#include <QComboBox>

namespace keld {

// A list on the panel, which scrolls with the wheel: the wheel only steps through the entries
// once the list has focus, so scrolling the sheet over it never changes a value by accident.
class PanelComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;

protected:
    void wheelEvent(QWheelEvent* event) override;
};

} // namespace keld
