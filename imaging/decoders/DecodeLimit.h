// The most memory one picture's decoding may take: the budget that the
// pictures being decoded at once share, 1 GiB unless the batch tool's
// --memory sets another. A picture whose decoding is estimated to need more
// is refused with a sentence that says so; it is never a matter of pixel
// count, so a picture streamed row by row is made however large it is. The
// decoders keep every buffer they allocate below the limit too, so that a
// small hostile file cannot make the program allocate gigabytes.
#pragma once

#include <QSize>
#include <QtGlobal>

#include "Expected.h"

namespace miniskop {

inline constexpr qint64 kDefaultDecodeLimit = qint64(1) << 30;

// The limit in force for the whole program. Set it before the first picture
// is read; it is read from every thread that decodes.
qint64 decodeLimit();
void setDecodeLimit(qint64 bytes);

// True when `bytes` pass the limit.
inline bool exceedsDecodeLimit(qint64 bytes) { return bytes > decodeLimit(); }

// True when a buffer of `size` 4-byte pixels would pass the limit.
inline bool exceedsDecodeLimit(QSize size) {
    return double(size.width()) * double(size.height()) * 4.0 > double(decodeLimit());
}

// The refusal of a picture that needs `needed` bytes where `allowed` are
// allowed, in the program's words: "zu groß: braucht 1.5 GB, erlaubt sind 1 GB".
Unexpected<Failure> tooLarge(qint64 needed, qint64 allowed);

}  // namespace miniskop
