// Reversal of PNG's five row filters (none, sub, up, average, Paeth). For 3
// and 4 bytes a pixel (8-bit RGB and RGBA, the layouts of nearly every
// photograph) the filters run on SSE2 a pixel at a time; every other layout
// takes the plain byte loop. Both give exactly the bytes the PNG standard
// defines.
#pragma once

#include <cstddef>

namespace miniskop {

// Unfilters `row` (`length` bytes, without the filter-type byte) in place.
// `prior` is the previous row already unfiltered (all zero for the first
// row); `bpp` the bytes a complete pixel takes, at least 1. False for an
// unknown filter type.
bool unfilterPngRow(int filterType, unsigned char* row, const unsigned char* prior,
                    std::size_t length, int bpp);

}  // namespace miniskop
