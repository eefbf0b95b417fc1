// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>

#include <memory>

class QMimeData;

namespace keld {

// A small draggable label: pressing it drags its caption, which a skill row takes as its stat
// code and a stat value box as a number.
class StatChip : public QLabel {
    Q_OBJECT
public:
    explicit StatChip(const QString& caption, QWidget* parent = nullptr);

    // What dragging the chip carries; a drag cannot run offscreen, so tests look at this.
    std::unique_ptr<QMimeData> DragData() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

} // namespace keld
