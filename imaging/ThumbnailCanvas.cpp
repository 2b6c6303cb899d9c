// resize on the hidden work surfaces. See ThumbnailCanvas.h.
#include "ThumbnailCanvas.h"

#include "PictureSource.h"
#include "ThumbnailSize.h"

namespace miniskop {

QImage PictureBox::drawnImage() const {
    if (width <= 0 || height <= 0) return QImage();
    if (!image.isNull() && image.width() == width && image.height() == height) return image;
    // Nothing (or something of another size) was drawn: a light neutral grey.
    QImage blank(width, height, QImage::Format_RGB32);
    blank.fill(QColor(240, 240, 240));
    return blank;
}

Status ThumbnailCanvas::resize(const QString& PicPath, float S, bool enlarge,
                               DecodeBudget* budget) {
    // picThumb first gets an empty picture; its size stays until a new one is set.
    picThumb.image = QImage();

    // ImgSizer takes the picture and with it the natural size.
    auto source = PictureSource::open(PicPath);
    if (!source) return unexpected(source.error());
    ImgSizer.size = source->naturalSize();
    ImgSizer.holdsPicture = true;

    // picSource takes the natural size and ImgSizer lets go of the picture.
    // The pixels are not kept here: they are decoded straight to the
    // thumbnail size below.
    picSource.width = ImgSizer.size.width();
    picSource.height = ImgSizer.size.height();
    picSource.image = QImage();
    ImgSizer.holdsPicture = false;
    const float W = float(picSource.width);
    const float H = float(picSource.height);

    // The target size follows from S and the enlarge option.
    auto target = thumbnailSize(W, H, S, enlarge);
    if (!target) return unexpected(target.error());

    // Decode and scale before the box takes the new size, so that a picture
    // that cannot be decoded leaves picThumb at its previous size. A picture
    // whose decoding would take more than the whole budget is refused.
    const qint64 needed = source->decodeBytes(*target);
    const qint64 allowed = budget != nullptr ? budget->budget() : decodeLimit();
    if (needed > allowed) return tooLarge(needed, allowed);
    DecodeBudget::Grant held;
    if (budget != nullptr) held = budget->acquire(needed);
    auto image = source->decodeScaledTo(*target);
    held.release();
    if (!image) return unexpected(image.error());

    // Last, the box takes the whole-pixel size and the scaled picture.
    picThumb.width = target->width();
    picThumb.height = target->height();
    picThumb.image = std::move(*image);
    return {};
}

}  // namespace miniskop
