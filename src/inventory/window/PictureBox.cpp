// SPDX-License-Identifier: GPL-3.0-or-later
#include "inventory/window/PictureBox.h"

#include "common/ImageDecode.h"
#include "common/TextFile.h"
#include "ui/QtText.h"

#include <QBuffer>
#include <QImageReader>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace keld {

namespace {

// Four bytes a pixel at the pixel cap, with room for the reader's own buffers.
static_assert(kMaxPicturePixels * 4 < (512ll << 20));
constexpr int kAllocationLimitMb = 512;
// The box is about an inch square: a larger copy only costs memory, even on a dense screen.
constexpr int kMaxShownSide = 2048;

} // namespace

Result<LoadedPicture> LoadPictureFile(const QString& path, QSize shown)
{
    const std::string where = path.toStdString();
    if (path.isEmpty())
        return KeldError(kErrFileNotFound, "no such file").At(where, 0);
    // Read through the core's guard: a FIFO, a device or a huge file named by a loaded character
    // must not hang or exhaust the window.
    auto bytes = ReadPictureFileBytes(PathFromUtf8(FromQt(path)));
    if (!bytes) {
        KeldError error = bytes.Error();
        if (error.Number() == kErrFileNotFound)
            error.WithDetail("no such file");
        return error.At(where, 0);
    }
    // The program's one rule: what the report and a loaded character take, this window shows.
    auto checked = CheckPicture(*bytes);
    if (!checked) {
        KeldError error = checked.Error();
        return error.At(where, 0);
    }
    if (checked->Format == PictureFormat::Dib)
        *bytes = BmpFileFromDib(*bytes);
    QByteArray data = QByteArray::fromStdString(*bytes);
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    reader.setAllocationLimit(kAllocationLimitMb);
    const QSize size(checked->Width, checked->Height);
    if (!shown.isEmpty() && (size.width() > shown.width() || size.height() > shown.height())) {
        // A large PNG is read row by row straight to the size shown, without the checksum and
        // conversions of the general reader; what that decoder leaves (interlaced, damaged) the
        // general reader reads as before.
        if (checked->Format == PictureFormat::Png) {
            auto fitted = DecodePngToFit(*bytes, shown.width(), shown.height(), kMaxPicturePixels);
            if (fitted) {
                const DecodedImage& d = fitted->Image;
                QImage image(d.Pixels.data(), d.Width, d.Height, d.Width * 4, QImage::Format_RGBA8888);
                return LoadedPicture{image.convertToFormat(QImage::Format_ARGB32_Premultiplied), size};
            }
        }
        reader.setScaledSize(size.scaled(shown, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    }
    QImage image = reader.read();
    if (image.isNull())
        return KeldError(kErrInvalidPicture, reader.errorString().toStdString()).At(where, 0);
    return LoadedPicture{std::move(image), size};
}

PictureBox::PictureBox(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
}

void PictureBox::SetImage(QImage image)
{
    if (image.width() > kMaxShownSide || image.height() > kMaxShownSide)
        image = image.scaled(kMaxShownSide, kMaxShownSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    m_image = std::move(image);
    update();
}

void PictureBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!m_image.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(rect(), m_image);
    } else {
        // An empty box still shows where to click.
        painter.setPen(QPen(palette().color(QPalette::Mid), 1, Qt::DashLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.drawRect(rect().adjusted(1, 1, -1, -1));
    }
}

void PictureBox::mousePressEvent(QMouseEvent* event)
{
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

// A click is a press and a release of the left button over the box.
void PictureBox::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click =
        m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (click)
        emit clicked();
}

void PictureBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        emit clicked();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace keld
