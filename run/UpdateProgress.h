// The progress bar: a filled bar in light ochre with the percentage centred on
// it, white where the bar reaches the text, black beside it.
#pragma once

#include <QColor>
#include <QtGlobal>

#include "ProgressSurface.h"

namespace miniskop {

inline const QColor kProgressBarColor(0xBB, 0x9C, 0x5B);

// Percentage of `value` clamped to [minimum, maximum]: 100 when maximum < 1,
// else floor(value / maximum * 100 + 0.5).
qint16 progressPercent(qint32 value, qint32 minimum, qint32 maximum);

// Clears `box` and draws the bar for `value`; nothing at all when the clamped
// value is 0 or less.
void UpdateProgress(ProgressSurface& box, qint32 value, qint32 minimum, qint32 maximum,
                    bool showPercentage);

}  // namespace miniskop
