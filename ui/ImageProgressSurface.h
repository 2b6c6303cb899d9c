// The progress surface of the window's bar (picProgress): a picture box backed
// by an image, scale units in pixels, text in the box's font. ProgressBox
// shows the image; UpdateProgress draws into it.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>

#include "ProgressSurface.h"

namespace miniskop {

class ImageProgressSurface : public ProgressSurface {
public:
    ImageProgressSurface(int width, int height, QColor background = QColor(0xF0, 0xF0, 0xF0),
                         QFont font = QFont());

    double ScaleWidth() const override { return image_.width(); }
    double ScaleHeight() const override { return image_.height(); }
    double TextWidth(const QString& text) const override;
    double TextHeight(const QString& text) const override;
    void Cls() override;
    void LineFilled(double x1, double y1, double x2, double y2, QColor color) override;
    void Print(const QString& text) override;

    const QImage& image() const { return image_; }
    void resize(int width, int height);
    void setFont(const QFont& font) { font_ = font; }

private:
    QImage image_;
    QColor background_;
    QFont font_;
};

}  // namespace miniskop
