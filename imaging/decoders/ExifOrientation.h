// EXIF orientation: reads the orientation tag (0x0112) from the payload of a
// JPEG APP1 "Exif" segment, and turns a picture stored in camera orientation
// into the orientation it is meant to be displayed in. The parser trusts no
// offset or count in the data.
#pragma once

#include <QImage>
#include <QSize>
#include <cstddef>

namespace miniskop {

// Orientation 1..8 as EXIF numbers them; 1 (as stored) when the segment is not
// EXIF, carries no orientation, or is malformed.
int exifOrientation(const unsigned char* data, std::size_t length);

// True for orientations 5 to 8, which exchange width and height.
inline bool orientationSwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

// The displayed size of a picture stored at `stored`.
inline QSize orientedSize(QSize stored, int orientation) {
    return orientationSwapsSides(orientation) ? stored.transposed() : stored;
}

// Returns `stored` (Format_RGB32) turned into display orientation.
QImage applyOrientation(const QImage& stored, int orientation);

}  // namespace miniskop
