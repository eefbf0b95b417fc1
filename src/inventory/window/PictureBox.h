// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/KeldError.h"

#include <QImage>
#include <QWidget>

namespace keld {

struct LoadedPicture {
    QImage Image;
    // The picture's own size in pixels, whatever size it was decoded at.
    QSize Natural;
};

// Reads a picture file that the program's picture rule takes (CheckPicture), deciding the format
// from the contents. A missing file is error 53; a file that is no such picture error 481.
// A picture larger than `shown` (device pixels) is decoded at the largest size that fits it with
// the aspect kept, so a huge picture costs the time and memory of what the box shows; an empty
// size decodes it whole.
Result<LoadedPicture> LoadPictureFile(const QString& path, QSize shown = {});

// The picture control (Image1): stretches its image to its own size; a click or Space chooses a
// new picture.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    const QImage& Image() const { return m_image; }
    // A null image shows none.
    void SetImage(QImage image);

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QImage m_image;
    bool m_pressed = false;
};

} // namespace keld
