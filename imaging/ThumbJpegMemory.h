// Encoding a thumbnail picture to JPEG bytes in memory, with exactly the
// buffer layout and encoder parameters saveThumb uses for its file (24-bit
// blue-green-red rows bottom-up, full-resolution colour as jpegInit sets it,
// the quality as given). The bytes are then written by the caller, so the
// pixel work and the encoding can happen on a worker thread while only the
// file write stays with the run.
// Safe to call from any thread: each call opens its own encoder handle.
#pragma once

#include <QByteArray>
#include <QImage>

#include "Expected.h"

namespace miniskop {

// The bytes saveThumb(picture, file, quality) would write to `file`. Fails for
// a picture without pixels, an encoder that cannot be opened, or a quality the
// encoder refuses; the caller then goes the file-writing way, which reports
// the failure in the writer's own terms.
Expected<QByteArray> encodeThumbJpeg(const QImage& picture, qint32 quality);

}  // namespace miniskop
