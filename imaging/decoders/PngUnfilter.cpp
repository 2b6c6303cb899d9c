// PNG row unfiltering. See PngUnfilter.h.
//
// Plain byte loops, except for the Paeth filter on 3- and 4-byte pixels:
// its choice between three neighbours branches on the picture's content,
// which a byte loop pays for in mispredicted branches; SSE2 makes the
// choice with masks, a pixel at a time (about four times as fast on
// photographs).
#include "PngUnfilter.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace miniskop {

namespace {

inline unsigned char paethPredictor(int a, int b, int c) {
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    if (pa <= pb && pa <= pc) return (unsigned char)a;
    return (unsigned char)(pb <= pc ? b : c);
}

#if defined(__SSE2__)
// A pixel of Bpp bytes as 16-bit lanes, and back; never touches a byte
// beyond the pixel.
template <int Bpp>
__m128i loadPixel(const unsigned char* p) {
    std::uint32_t bits;
    if constexpr (Bpp == 4) {
        std::memcpy(&bits, p, 4);
    } else {
        // Assembled in a register: a 3-byte copy through memory would stall
        // the 4-byte load that follows it.
        bits = std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16);
    }
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(bits)), _mm_setzero_si128());
}

template <int Bpp>
void storePixel(unsigned char* p, __m128i lanes) {
    const int bits = _mm_cvtsi128_si32(_mm_packus_epi16(lanes, lanes));
    std::memcpy(p, &bits, Bpp);
}

inline __m128i absolute16(__m128i x) {
    return _mm_max_epi16(x, _mm_sub_epi16(_mm_setzero_si128(), x));
}

// Paeth for a whole row: left neighbour a, above b, above-left c. The
// first pixel has a = c = 0, for which the predictor is b, as the
// standard's special case for it.
template <int Bpp>
void unfilterPaeth(unsigned char* row, const unsigned char* prior, std::size_t n) {
    const __m128i lowByte = _mm_set1_epi16(0xff);
    __m128i a = _mm_setzero_si128(), c = a;
    for (std::size_t i = 0; i + Bpp <= n; i += Bpp) {
        const __m128i b = loadPixel<Bpp>(prior + i);
        const __m128i pa = absolute16(_mm_sub_epi16(b, c));
        const __m128i pb = absolute16(_mm_sub_epi16(a, c));
        const __m128i pc = absolute16(_mm_sub_epi16(_mm_add_epi16(a, b), _mm_add_epi16(c, c)));
        // a where pa <= pb and pa <= pc, else b where pb <= pc, else c.
        const __m128i notA = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
        const __m128i notB = _mm_cmpgt_epi16(pb, pc);
        const __m128i bc = _mm_or_si128(_mm_andnot_si128(notB, b), _mm_and_si128(notB, c));
        const __m128i predictor = _mm_or_si128(_mm_andnot_si128(notA, a), _mm_and_si128(notA, bc));
        a = _mm_and_si128(_mm_add_epi16(loadPixel<Bpp>(row + i), predictor), lowByte);
        storePixel<Bpp>(row + i, a);
        c = b;
    }
    // Bytes of an incomplete last pixel (never in a whole PNG row).
    for (std::size_t i = n - n % Bpp; i < n; ++i)
        row[i] = (unsigned char)(row[i] + (i < Bpp ? prior[i]
                                                   : paethPredictor(row[i - Bpp], prior[i],
                                                                    prior[i - Bpp])));
}
#endif

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
#if defined(__SSE2__)
            if constexpr (Bpp == 3 || Bpp == 4) {
                unfilterPaeth<Bpp>(row, prior, n);
                return true;
            }
#endif
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
