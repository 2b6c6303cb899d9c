// A faster road through the commonest PNG files: 8-bit RGB or RGBA, not
// interlaced, without tRNS or EXIF, of at most kPngFastPathBytes once
// inflated. Their image data is inflated at once by libdeflate (about three
// times as fast as zlib's streaming inflate) and unfiltered by our own SSE2
// code; the rows then go into the area scaler one by one, as libspng's do.
// Every other file, and every file with anything unexpected in it (a damaged
// checksum, an unknown critical chunk, compressed data that does not fit),
// is left to the libspng decoder, which gives the definitive picture or
// error: both roads give the very same pixels for a file either can read.
#pragma once

#include <QImage>
#include <QSize>
#include <cstddef>
#include <optional>

namespace miniskop {

// The inflated image data this road holds at most (a 16-megapixel RGBA
// picture); larger pictures stream through libspng.
inline constexpr std::size_t kPngFastPathBytes = std::size_t(64) << 20;

class PictureFile;

// The picture scaled to exactly `target`, Format_RGB32, its embedded
// profile converted to sRGB; std::nullopt when the file is not one this
// road takes (see above).
std::optional<QImage> decodePngFast(const PictureFile& file, QSize target);

// One decoded row of `width` blue, green, red, alpha pixels laid on white
// as the Qt path does (premultiplied as Qt converts, then c + (255 - a)).
void layPngRowOnWhite(unsigned char* bgra, std::size_t width);

}  // namespace miniskop
