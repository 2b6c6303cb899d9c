// PNG row unfiltering. See PngUnfilter.h.
//
// Plain byte loops: with the pixel size known at compile time the compiler
// keeps the three or four independent byte chains of a pixel in flight at
// once, which measured faster than SSE2 code working a pixel at a time (the
// average and Paeth filters chain each pixel to the one before).
#include "PngUnfilter.h"

#include <algorithm>
#include <cstdlib>

namespace miniskop {

namespace {

inline unsigned char paethPredictor(int a, int b, int c) {
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    if (pa <= pb && pa <= pc) return (unsigned char)a;
    return (unsigned char)(pb <= pc ? b : c);
}

// Bpp 0: the pixel size is `bpp` at run time.
template <int Bpp>
bool unfilter(int filterType, unsigned char* row, const unsigned char* prior, std::size_t n,
              int bpp) {
    const std::size_t step = Bpp > 0 ? std::size_t(Bpp) : std::size_t(bpp);
    const std::size_t lead = std::min(step, n);
    switch (filterType) {
        case 0:
            return true;
        case 1:
            for (std::size_t i = step; i < n; ++i) row[i] = (unsigned char)(row[i] + row[i - step]);
            return true;
        case 2:
            for (std::size_t i = 0; i < n; ++i) row[i] = (unsigned char)(row[i] + prior[i]);
            return true;
        case 3:
            for (std::size_t i = 0; i < lead; ++i)
                row[i] = (unsigned char)(row[i] + (prior[i] >> 1));
            for (std::size_t i = step; i < n; ++i)
                row[i] = (unsigned char)(row[i] + ((row[i - step] + prior[i]) >> 1));
            return true;
        case 4:
            for (std::size_t i = 0; i < lead; ++i) row[i] = (unsigned char)(row[i] + prior[i]);
            for (std::size_t i = step; i < n; ++i)
                row[i] = (unsigned char)(row[i] +
                                         paethPredictor(row[i - step], prior[i], prior[i - step]));
            return true;
        default:
            return false;
    }
}

}  // namespace

bool unfilterPngRow(int filterType, unsigned char* row, const unsigned char* prior,
                    std::size_t length, int bpp) {
    if (bpp < 1) return false;
    if (bpp == 3) return unfilter<3>(filterType, row, prior, length, bpp);
    if (bpp == 4) return unfilter<4>(filterType, row, prior, length, bpp);
    return unfilter<0>(filterType, row, prior, length, bpp);
}

}  // namespace miniskop
