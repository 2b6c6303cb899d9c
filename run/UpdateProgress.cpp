// The progress bar: clamp the value, work out the percentage against the
// maximum, clear the surface and draw the bar and its centred percentage text.
#include "UpdateProgress.h"

#include <cmath>
#include <limits>

#include "Rounding.h"

namespace miniskop {
namespace {

qint32 clampValue(qint32 value, qint32 minimum, qint32 maximum) {
    // Minimum first, then maximum: with minimum above maximum the value ends
    // at the maximum.
    if (value < minimum) value = minimum;
    if (value > maximum) value = maximum;
    return value;
}

}  // namespace

qint16 progressPercent(qint32 value, qint32 minimum, qint32 maximum) {
    if (maximum < 1) return 100;
    const qint32 v = clampValue(value, minimum, maximum);
    const double p = std::floor(static_cast<double>(v) / maximum * 100.0 + 0.5);
    // Only a clamped value of 0 or less can fall below 0, and such a value is
    // never drawn; keep the number inside 16 bits all the same.
    if (p < std::numeric_limits<qint16>::min()) return std::numeric_limits<qint16>::min();
    return static_cast<qint16>(p);
}

void UpdateProgress(ProgressSurface& box, qint32 value, qint32 minimum, qint32 maximum,
                    bool showPercentage) {
    const qint32 v = clampValue(value, minimum, maximum);
    const qint16 p = progressPercent(value, minimum, maximum);

    if (!box.AutoRedraw) box.AutoRedraw = true;
    box.Cls();
    if (v <= 0) return;

    const qint32 w = static_cast<qint32>(roundHalfEven(box.ScaleWidth() / 100.0 * p));
    box.LineFilled(0, 0, w, box.ScaleHeight(), kProgressBarColor);

    if (!showPercentage) return;
    const QString text = QString::number(p) + QStringLiteral(" %");
    box.CurrentX = (box.ScaleWidth() - box.TextWidth(text)) / 2;
    box.CurrentY = (box.ScaleHeight() - box.TextHeight(text)) / 2;
    // Text that starts beside the bar is black; once the bar reaches its left
    // edge it is white.
    box.ForeColor = box.CurrentX > w ? QColor(Qt::black) : QColor(Qt::white);
    box.Print(text);
}

}  // namespace miniskop
