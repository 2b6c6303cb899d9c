// The most memory one decoded picture may take. Every decoder refuses larger
// output, so that a small hostile file cannot make the program allocate
// gigabytes.
#pragma once

#include <QSize>
#include <QtGlobal>

namespace miniskop {

// Decoded pictures larger than this many bytes (at 4 bytes a pixel) are refused.
inline constexpr qint64 kMaxDecodedBytes = qint64(1) << 30;

// True when a picture of `size` would take more than kMaxDecodedBytes.
inline bool exceedsDecodeLimit(QSize size) {
    return double(size.width()) * double(size.height()) * 4.0 > double(kMaxDecodedBytes);
}

}  // namespace miniskop
