// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/render/RenderBuilderShared.h"

#include "common/ImageDecode.h"

#include <QBuffer>
#include <QImageReader>

// Decoding a report's pictures within the program's limits.

namespace keld::render {

namespace {

constexpr int kMaxShownSide = 2400;                // 8 inches at 300 dpi: finer is not printed
constexpr qint64 kMaxDocumentPixels = 100'000'000; // all of them as kept

} // namespace

std::vector<QImage> DecodePictures(const RenderModel& model, QStringList& notes)
{
    std::vector<QImage> images;
    images.reserve(model.pictures.size());
    qint64 budget = kMaxDocumentPixels;
    for (const Picture& picture : model.pictures) {
        QByteArray bytes =
            QByteArray::fromRawData(picture.data.data(), static_cast<qsizetype>(picture.data.size()));
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        // The program's one rule for pictures: a picture claiming absurd dimensions, cut short or
        // of a kind not every reader takes is left out rather than allocated.
        auto checked = CheckPicture(std::string_view(picture.data));
        if (!checked) {
            const QSize claimed = reader.size();
            if (claimed.isValid() &&
                (claimed.width() > kMaxPictureSide || claimed.height() > kMaxPictureSide ||
                 qint64(claimed.width()) * claimed.height() > kMaxPicturePixels))
                notes.append(QStringLiteral("A picture of %1 by %2 pixels was too large to show.")
                                 .arg(claimed.width())
                                 .arg(claimed.height()));
            else
                notes.append(QStringLiteral("A picture that could not be read was left out."));
            images.emplace_back();
            continue;
        }
        const QSize size(checked->Width, checked->Height);
        QImage image;
        const qint64 pixels = qint64(size.width()) * size.height();
        // A large picture is read and kept at the size print can show.
        QSize shown = size;
        if (shown.width() > kMaxShownSide || shown.height() > kMaxShownSide)
            shown = size.scaled(kMaxShownSide, kMaxShownSide, Qt::KeepAspectRatio);
        const qint64 kept = qint64(shown.width()) * shown.height();
        if (kept > budget) {
            notes.append(QStringLiteral("Some pictures were left out: together they were too large."));
            images.emplace_back();
            continue;
        }
        // A large PNG is read row by row straight to the size kept, as the inventory window reads
        // it; what that decoder leaves (interlaced) the general reader reads whole.
        if (shown != size && checked->Format == PictureFormat::Png) {
            auto fitted = DecodePngToFit(picture.data, shown.width(), shown.height(), kMaxPicturePixels);
            if (fitted) {
                const DecodedImage& d = fitted->Image;
                image = QImage(d.Pixels.data(), d.Width, d.Height, d.Width * 4, QImage::Format_RGBA8888)
                            .convertToFormat(QImage::Format_ARGB32_Premultiplied);
            }
        }
        // Room for 16-bit samples, which Qt keeps as 8 bytes a pixel.
        reader.setAllocationLimit(static_cast<int>(pixels * 8 / (1024 * 1024) + 1));
        if (shown != size)
            reader.setScaledSize(shown);
        if (image.isNull())
            image = reader.read();
        if (!image.isNull() && image.size() != shown)
            image = image.scaled(shown, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        if (!image.isNull() && shown != size) {
            // Finer dots, so that the picture keeps its size on paper.
            auto dpm = [](int d) { return d > 0 ? d : 3780; };
            image.setDotsPerMeterX(dpm(image.dotsPerMeterX()) * image.width() / size.width());
            image.setDotsPerMeterY(dpm(image.dotsPerMeterY()) * image.height() / size.height());
        }
        if (image.isNull()) {
            notes.append(QStringLiteral("A picture that could not be read was left out."));
        } else {
            budget -= kept;
        }
        images.push_back(std::move(image));
    }
    return images;
}

} // namespace keld::render
