// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "character/CharacterRecord.h"

#include <QWidget>

namespace keld {

class SheetBinding;

// One rank bar of a skill row. It draws the model's bar state and turns mouse input into the
// model's bar calls; it never sets its own value, it only follows the model's notifications.
class RankBarWidget : public QWidget {
    Q_OBJECT
public:
    RankBarWidget(SheetBinding& binding, RankBar bar, int row, QWidget* parent = nullptr);

    RankBar Bar() const { return m_bar; }
    int Row() const { return m_row; }
    float Value() const { return m_value; }
    float Maximum() const { return m_max; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Refresh();
    double WidthTwips() const;
    double XTwips(const QMouseEvent* event) const;

    SheetBinding& m_binding;
    RankBar m_bar;
    int m_row;
    float m_value = 0;
    float m_max = 0;
};

} // namespace keld
