// A surface the progress bar is drawn on, with the operations of a picture box
// that UpdateProgress uses. The window draws into an image
// (ui/ImageProgressSurface), the batch tool on a terminal
// (batch/TerminalProgressSurface).
#pragma once

#include <QColor>
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

}  // namespace miniskop
