// GIF pictures through giflib: the first frame, placed where its image
// descriptor puts it on the logical screen, as browsers show a GIF. The
// screen around a smaller frame, and the frame's transparent colour, are
// transparent and so laid on white; the screen's background colour is not
// painted (browsers ignore it too). A frame that reaches beyond the screen
// is cut at its edge. The frame's colour indices are held (one byte a
// pixel) and the screen's rows go into the area scaler one by one. A file
// whose first frame ends early fails.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include "Expected.h"

namespace miniskop {

class PictureFile;

// True when `head` starts with a GIF signature (GIF87a or GIF89a).
bool looksLikeGif(const QByteArray& head);

struct GifInfo {
    QSize displayed;  // the logical screen (the first frame's extent when it has none)
};

// Reads the screen descriptor (and, for a screen without area, the first
// frame's descriptor).
Expected<GifInfo> readGifInfo(const PictureFile& file);

// The first frame on its screen at the natural size, Format_RGB32.
Expected<QImage> decodeGif(const PictureFile& file, const GifInfo& info);

// The same scaled to exactly `target` by the area scaler.
Expected<QImage> decodeGifScaled(const PictureFile& file, const GifInfo& info, QSize target);

}  // namespace miniskop
