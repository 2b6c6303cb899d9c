// The progress surface backed by an image: clearing, filled rectangles and text
// output in pixels, with text measured by the font's metrics on that image.
#include "ImageProgressSurface.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QRectF>

namespace miniskop {

ImageProgressSurface::ImageProgressSurface(int width, int height, QColor background, QFont font)
    : image_(qMax(width, 0), qMax(height, 0), QImage::Format_RGB32),
      background_(background),
      font_(std::move(font)) {
    image_.fill(background_);
}

double ImageProgressSurface::TextWidth(const QString& text) const {
    return QFontMetricsF(font_, &image_).horizontalAdvance(text);
}

double ImageProgressSurface::TextHeight(const QString& text) const {
    Q_UNUSED(text);  // one line of text: the font's line height
    return QFontMetricsF(font_, &image_).height();
}

void ImageProgressSurface::Cls() {
    image_.fill(background_);
    CurrentX = 0;
    CurrentY = 0;
}

void ImageProgressSurface::LineFilled(double x1, double y1, double x2, double y2, QColor color) {
    // The rectangle covers the pixels from the lower to the higher coordinate,
    // the higher one excluded: a bar of width 0 paints nothing.
    const QRectF rect = QRectF(QPointF(x1, y1), QPointF(x2, y2)).normalized();
    if (rect.isEmpty() || image_.isNull()) return;
    QPainter painter(&image_);
    painter.fillRect(rect, color);
}

void ImageProgressSurface::Print(const QString& text) {
    if (!image_.isNull()) {
        QPainter painter(&image_);
        painter.setFont(font_);
        painter.setPen(ForeColor);
        const QFontMetricsF metrics(font_, &image_);
        // CurrentY is the top of the text line; the painter wants the baseline.
        painter.drawText(QPointF(CurrentX, CurrentY + metrics.ascent()), text);
    }
    // Like a picture box, the text position moves to the start of the next line.
    CurrentY += TextHeight(text);
    CurrentX = 0;
}

void ImageProgressSurface::resize(int width, int height) {
    image_ = QImage(qMax(width, 0), qMax(height, 0), QImage::Format_RGB32);
    image_.fill(background_);
}

}  // namespace miniskop
