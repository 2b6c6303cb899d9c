// PNG row unfiltering. See PngUnfilter.h.
//
// The SSE2 routines follow the filters' definitions pixel by pixel: each
// pixel's bytes sit in one register, the left neighbour is the pixel just
// made, and Paeth's three distances are taken on 16-bit lanes.
#include "PngUnfilter.h"

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

void subPlain(unsigned char* row, std::size_t n, int bpp) {
    for (std::size_t i = std::size_t(bpp); i < n; ++i)
        row[i] = (unsigned char)(row[i] + row[i - bpp]);
}

void upPlain(unsigned char* row, const unsigned char* prior, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) row[i] = (unsigned char)(row[i] + prior[i]);
}

void averagePlain(unsigned char* row, const unsigned char* prior, std::size_t n, int bpp) {
    const std::size_t step = std::size_t(bpp);
    for (std::size_t i = 0; i < n; ++i) {
        const int left = i >= step ? row[i - step] : 0;
        row[i] = (unsigned char)(row[i] + ((left + prior[i]) >> 1));
    }
}

void paethPlain(unsigned char* row, const unsigned char* prior, std::size_t n, int bpp) {
    const std::size_t step = std::size_t(bpp);
    for (std::size_t i = 0; i < n; ++i) {
        const int a = i >= step ? row[i - step] : 0;
        const int c = i >= step ? prior[i - step] : 0;
        row[i] = (unsigned char)(row[i] + paethPredictor(a, prior[i], c));
    }
}

#if defined(__SSE2__)

// One pixel of Bpp (3 or 4) bytes into the low bytes of a register, and back.
template <int Bpp>
inline __m128i loadPixel(const unsigned char* p) {
    std::uint32_t v = 0;
    std::memcpy(&v, p, Bpp);
    return _mm_cvtsi32_si128(int(v));
}
template <int Bpp>
inline void storePixel(unsigned char* p, __m128i v) {
    const std::uint32_t bits = std::uint32_t(_mm_cvtsi128_si32(v));
    std::memcpy(p, &bits, Bpp);
}

template <int Bpp>
void subSse2(unsigned char* row, std::size_t n) {
    __m128i left = _mm_setzero_si128();
    for (std::size_t i = 0; i + Bpp <= n; i += Bpp) {
        left = _mm_add_epi8(loadPixel<Bpp>(row + i), left);
        storePixel<Bpp>(row + i, left);
    }
}

template <int Bpp>
void averageSse2(unsigned char* row, const unsigned char* prior, std::size_t n) {
    const __m128i one = _mm_set1_epi8(1);
    __m128i left = _mm_setzero_si128();
    for (std::size_t i = 0; i + Bpp <= n; i += Bpp) {
        const __m128i up = loadPixel<Bpp>(prior + i);
        // _mm_avg_epu8 rounds up; the filter floors: take the odd bit back.
        __m128i average = _mm_avg_epu8(left, up);
        average = _mm_sub_epi8(average, _mm_and_si128(_mm_xor_si128(left, up), one));
        left = _mm_add_epi8(loadPixel<Bpp>(row + i), average);
        storePixel<Bpp>(row + i, left);
    }
}

inline __m128i abs16(__m128i v) {
    const __m128i sign = _mm_srai_epi16(v, 15);
    return _mm_sub_epi16(_mm_xor_si128(v, sign), sign);
}

// Where `mask` is set, `a`, else `b`.
inline __m128i select(__m128i mask, __m128i a, __m128i b) {
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

template <int Bpp>
void paethSse2(unsigned char* row, const unsigned char* prior, std::size_t n) {
    const __m128i zero = _mm_setzero_si128();
    __m128i a = zero;  // left, 16-bit lanes
    __m128i c = zero;  // upper left
    for (std::size_t i = 0; i + Bpp <= n; i += Bpp) {
        const __m128i b = _mm_unpacklo_epi8(loadPixel<Bpp>(prior + i), zero);
        const __m128i pa = abs16(_mm_sub_epi16(b, c));
        const __m128i pb = abs16(_mm_sub_epi16(a, c));
        const __m128i pc = abs16(_mm_sub_epi16(_mm_add_epi16(a, b), _mm_add_epi16(c, c)));
        // a when pa <= pb and pa <= pc; else b when pb <= pc; else c.
        const __m128i takeA = _mm_andnot_si128(
            _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc)), _mm_set1_epi16(-1));
        const __m128i takeB = _mm_andnot_si128(_mm_cmpgt_epi16(pb, pc), _mm_set1_epi16(-1));
        const __m128i predicted = select(takeA, a, select(takeB, b, c));
        const __m128i x = _mm_unpacklo_epi8(loadPixel<Bpp>(row + i), zero);
        // Modulo 256, then back into a byte lane.
        const __m128i sum = _mm_and_si128(_mm_add_epi16(x, predicted), _mm_set1_epi16(0xff));
        storePixel<Bpp>(row + i, _mm_packus_epi16(sum, zero));
        a = sum;
        c = b;
    }
}

#endif

}  // namespace

bool unfilterPngRow(int filterType, unsigned char* row, const unsigned char* prior,
                    std::size_t length, int bpp) {
#if defined(__SSE2__)
    const bool pixelWise = (bpp == 3 || bpp == 4) && length % std::size_t(bpp) == 0;
#else
    const bool pixelWise = false;
#endif
    switch (filterType) {
        case 0:
            return true;
        case 1:
#if defined(__SSE2__)
            if (pixelWise) {
                bpp == 3 ? subSse2<3>(row, length) : subSse2<4>(row, length);
                return true;
            }
#endif
            subPlain(row, length, bpp);
            return true;
        case 2:
            upPlain(row, prior, length);  // vectorised by the compiler
            return true;
        case 3:
#if defined(__SSE2__)
            if (pixelWise) {
                bpp == 3 ? averageSse2<3>(row, prior, length) : averageSse2<4>(row, prior, length);
                return true;
            }
#endif
            averagePlain(row, prior, length, bpp);
            return true;
        case 4:
#if defined(__SSE2__)
            if (pixelWise) {
                bpp == 3 ? paethSse2<3>(row, prior, length) : paethSse2<4>(row, prior, length);
                return true;
            }
#endif
            paethPlain(row, prior, length, bpp);
            return true;
        default:
            return false;
    }
}

}  // namespace miniskop
