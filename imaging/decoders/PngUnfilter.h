// Reversal of PNG's five row filters (none, sub, up, average, Paeth), giving
// exactly the bytes the PNG standard defines; 3 and 4 bytes a pixel (8-bit
// RGB and RGBA, the layouts of nearly every photograph) have loops of their
// own.
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
