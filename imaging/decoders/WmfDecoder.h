// Windows metafiles through libwmf's gd device. The file is checked record by
// record before libwmf sees it (header, record sizes inside the file, an end
// record), so truncated or hostile files end in an error. The natural size is
// taken at 96 dpi: from the placeable header's frame and units per inch, or,
// without that header, from the window extent (one logical unit a pixel) or
// else the drawing's bounding box. Being vector data, a metafile is drawn
// straight at the reduced size a thumbnail needs. Ellipses, pies, chords and
// rounded rectangles are drawn as polygons (WmfShapeFill.h), since libwmf's
// own drawing of them does not fill them right.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include "Expected.h"

namespace miniskop {

class PictureFile;

// True when the bytes start like a metafile (placeable or plain).
bool looksLikeWmf(const QByteArray& head);

struct WmfInfo {
    QSize displayed;  // the natural size in pixels
};

Expected<WmfInfo> readWmfInfo(const PictureFile& file);

// Draws the metafile; when `atLeast` is valid and smaller than the natural
// size, at the smallest size of the same proportions that covers it.
// Format_RGB32, on white.
Expected<QImage> decodeWmf(const PictureFile& file, QSize atLeast);

// The metafile drawn at twice `target` (at most its natural size), then
// scaled to exactly `target` by the area scaler.
Expected<QImage> decodeWmfScaled(const PictureFile& file, const WmfInfo& info, QSize target);

}  // namespace miniskop
