// A surface the progress bar is drawn on, with the operations of a picture box
// that UpdateProgress uses. ImageProgressSurface draws into an image (the
// window shows it); the batch tool has a surface that draws on a terminal.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>

namespace miniskop {

class ProgressSurface {
public:
    virtual ~ProgressSurface() = default;

    bool AutoRedraw = false;
    double CurrentX = 0;
    double CurrentY = 0;
    QColor ForeColor = Qt::black;

    virtual double ScaleWidth() const = 0;
    virtual double ScaleHeight() const = 0;
    virtual double TextWidth(const QString& text) const = 0;
    virtual double TextHeight(const QString& text) const = 0;
    // Clears to the background colour.
    virtual void Cls() = 0;
    // Filled rectangle from (x1, y1) to (x2, y2) in `color`.
    virtual void LineFilled(double x1, double y1, double x2, double y2, QColor color) = 0;
    // Text at (CurrentX, CurrentY) in ForeColor.
    virtual void Print(const QString& text) = 0;
};

// A picture box backed by an image: scale units are pixels.
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
