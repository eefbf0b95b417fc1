// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>

namespace keld {

// A label that shows a value of the sheet. A value wider than the label is shown cut with an
// ellipsis, never as a shorter, different number, and its tooltip then gives it whole. A screen
// reader speaks its accessible name ("ST total bonus") as its name and the shown text as its value.
class ValueLabel : public QLabel {
    Q_OBJECT
public:
    explicit ValueLabel(QWidget* parent = nullptr);

    // Whether the text is wider than the label shows.
    bool IsElided() const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

} // namespace keld
