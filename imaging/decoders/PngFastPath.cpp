// The libdeflate road for plain 8-bit PNG files. See PngFastPath.h.
#include "PngFastPath.h"

#include <libdeflate.h>

#include <QByteArray>
#include <QRgb>
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "ColourProfile.h"
#include "PictureFile.h"
#include "PngUnfilter.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace miniskop {

namespace {

// Chunks larger than this are left to libspng, which refuses them.
constexpr quint32 kMaxChunk = quint32(64) << 20;
// An embedded profile inflates to at most this much.
constexpr size_t kMaxProfile = size_t(8) << 20;

// Exactly `length` bytes at `offset`, or false.
bool readExactly(const PictureFile& file, size_t offset, void* out, size_t length) {
    return file.readAt(qint64(offset), out, qsizetype(length)) == qsizetype(length);
}

quint32 big32(const unsigned char* p) {
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
}

struct DecompressorFree {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};
using Decompressor = std::unique_ptr<libdeflate_decompressor, DecompressorFree>;

// A zlib stream (two header bytes, deflate data, four checksum bytes, as
// PNG stores it) inflated into exactly `out`; the checksum is not checked
// (the chunks' CRCs guard the data, as on the libspng road).
bool inflateExactly(libdeflate_decompressor* d, const unsigned char* in, size_t size,
                    unsigned char* out, size_t outSize) {
    if (size < 2 || (in[0] & 0x0f) != 8 || (in[1] & 0x20) != 0 ||
        ((unsigned(in[0]) << 8) | in[1]) % 31 != 0)
        return false;
    size_t used = 0, made = 0;
    return libdeflate_deflate_decompress_ex(d, in + 2, size - 2, out, outSize, &used, &made) ==
               LIBDEFLATE_SUCCESS &&
           made == outSize;
}

// An iCCP chunk's profile: a name, a zero byte, the method (0), a zlib stream.
QByteArray inflateProfile(libdeflate_decompressor* d, const std::vector<unsigned char>& chunk) {
    const auto nul = std::find(chunk.begin(), chunk.end(), 0);
    if (nul == chunk.end() || nul + 2 > chunk.end() || nul[1] != 0) return {};
    const unsigned char* in = &*nul + 2;
    const size_t size = size_t(chunk.end() - (nul + 2));
    if (size < 6) return {};
    for (size_t room = size_t(64) << 10; room <= kMaxProfile; room *= 4) {
        QByteArray out(qsizetype(room), Qt::Uninitialized);
        size_t used = 0, made = 0;
        const libdeflate_result r =
            libdeflate_deflate_decompress_ex(d, in + 2, size - 2, out.data(), room, &used, &made);
        if (r == LIBDEFLATE_SUCCESS) return out.left(qsizetype(made));
        if (r != LIBDEFLATE_INSUFFICIENT_SPACE) return {};
    }
    return {};
}

// Rows in the scaler's pixel order (blue, green, red, x).
void rgbToBgrx(const unsigned char* p, unsigned char* q, size_t width) {
    // A 4-byte load per pixel (its last byte belongs to the next pixel and
    // is dropped); the last pixel is read byte by byte so as not to read
    // past the row.
    for (size_t x = 0; x + 1 < width; ++x, p += 3, q += 4) {
        quint32 v;
        std::memcpy(&v, p, 4);
        v = 0xff000000u | ((v & 0xffu) << 16) | (v & 0xff00u) | ((v >> 16) & 0xffu);
        std::memcpy(q, &v, 4);
    }
    if (width > 0) {
        q[0] = p[2];
        q[1] = p[1];
        q[2] = p[0];
        q[3] = 0xff;
    }
}

// True when every pixel of the row is opaque (nothing to lay on white).
bool rgbaToBgra(const unsigned char* p, unsigned char* q, size_t width) {
    size_t x = 0;
    unsigned char opaque = 0xff;
#if defined(__SSE2__)
    // Red and blue trade places as the two 16-bit halves of each pixel's
    // red-and-blue part.
    const __m128i greenAlpha = _mm_set1_epi32(int(0xff00ff00u));
    __m128i all = _mm_set1_epi32(-1);
    for (; x + 4 <= width; x += 4, p += 16, q += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i redBlue = _mm_andnot_si128(greenAlpha, v);
        redBlue = _mm_shufflehi_epi16(_mm_shufflelo_epi16(redBlue, 0xb1), 0xb1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(q),
                         _mm_or_si128(_mm_and_si128(v, greenAlpha), redBlue));
        all = _mm_and_si128(all, v);
    }
    // Alpha is the top byte of each 32-bit lane.
    if ((_mm_movemask_epi8(_mm_cmpeq_epi8(all, _mm_set1_epi32(-1))) & 0x8888) != 0x8888) opaque = 0;
#endif
    for (; x < width; ++x, p += 4, q += 4) {
        q[0] = p[2];
        q[1] = p[1];
        q[2] = p[0];
        q[3] = p[3];
        opaque &= p[3];
    }
    return opaque == 0xff;
}

bool validName(const unsigned char* type) {
    for (int i = 0; i < 4; ++i)
        if (!((type[i] >= 'A' && type[i] <= 'Z') || (type[i] >= 'a' && type[i] <= 'z')))
            return false;
    return true;
}

}  // namespace

void layPngRowOnWhite(unsigned char* bgra, std::size_t width) {
    for (std::size_t x = 0; x < width; ++x, bgra += 4) {
        if (bgra[3] == 255) continue;  // opaque: nothing to lay
        // Premultiplied like Qt's conversion, then over white: a
        // premultiplied channel c with alpha a becomes c + (255 - a).
        const QRgb p = qPremultiply(qRgba(bgra[2], bgra[1], bgra[0], bgra[3]));
        const int rest = 255 - qAlpha(p);
        bgra[0] = uchar(std::min(qBlue(p) + rest, 255));
        bgra[1] = uchar(std::min(qGreen(p) + rest, 255));
        bgra[2] = uchar(std::min(qRed(p) + rest, 255));
        bgra[3] = 255;
    }
}

std::optional<QImage> decodePngFast(const PictureFile& file, QSize target) {
    unsigned char head[8 + 8 + 13 + 4];
    if (target.width() < 1 || target.height() < 1 || !readExactly(file, 0, head, sizeof head))
        return std::nullopt;
    // The header: IHDR first, 8-bit RGB (2) or RGBA (6), standard methods.
    const quint32 width = big32(head + 16), height = big32(head + 20);
    const int depth = head[24], colourType = head[25];
    if (big32(head + 8) != 13 || std::memcmp(head + 12, "IHDR", 4) != 0 || depth != 8 ||
        (colourType != 2 && colourType != 6) || head[26] != 0 || head[27] != 0 || head[28] != 0 ||
        width == 0 || height == 0 || width > 0x7fffffffu || height > 0x7fffffffu ||
        libdeflate_crc32(0, head + 12, 17) != big32(head + 29))
        return std::nullopt;
    const int channels = colourType == 6 ? 4 : 3;
    const size_t stride = size_t(width) * size_t(channels);
    const double inflated = double(stride + 1) * double(height);
    if (inflated > double(kPngFastPathBytes)) return std::nullopt;

    Decompressor inflater(libdeflate_alloc_decompressor());
    if (!inflater) return std::nullopt;
    std::vector<unsigned char> compressed;
    // The image data is nearly the whole file: room for it at once, so the
    // chunks are not copied again and again as the vector grows.
    const size_t fileSize = size_t(std::max<qint64>(file.size(), 0));
    // Stored deflate blocks make the data at most a little larger than
    // inflated, so a file padded with other chunks reserves no more.
    compressed.reserve(std::min(fileSize, size_t(inflated * 1.01) + 4096));
    std::vector<unsigned char> chunk;
    QByteArray profile;
    bool srgb = false, sawData = false, dataEnded = false;
    size_t at = 8 + 25;
    for (;;) {
        unsigned char bytes[8];
        if (!readExactly(file, at, bytes, 8)) return std::nullopt;
        const quint32 length = big32(bytes);
        const unsigned char* type = bytes + 4;
        if (length > kMaxChunk || !validName(type)) return std::nullopt;
        const bool critical = type[0] < 'a';
        const bool isData = std::memcmp(type, "IDAT", 4) == 0;
        const bool isEnd = std::memcmp(type, "IEND", 4) == 0;
        if (isData && dataEnded) return std::nullopt;  // image data split apart
        if (sawData && !isData) dataEnded = true;
        // Every chunk this road reads or relies on is checked against its
        // CRC; other ancillary chunks are skipped as libspng discards them.
        bool wanted = critical || std::memcmp(type, "iCCP", 4) == 0 ||
                      std::memcmp(type, "sRGB", 4) == 0 || std::memcmp(type, "tRNS", 4) == 0 ||
                      std::memcmp(type, "eXIf", 4) == 0;
        if (wanted) {
            const size_t start = isData ? compressed.size() : 0;
            std::vector<unsigned char>& into = isData ? compressed : chunk;
            into.resize(start + length + 4);
            if (!readExactly(file, at + 8, into.data() + start, size_t(length) + 4))
                return std::nullopt;
            const quint32 crc = big32(into.data() + start + length);
            const quint32 computed =
                libdeflate_crc32(libdeflate_crc32(0, type, 4), into.data() + start, length);
            into.resize(start + length);
            if (crc != computed) {
                if (critical) return std::nullopt;
                wanted = false;  // a damaged ancillary chunk counts as absent
            }
        }
        if (isEnd) {
            if (length != 0) return std::nullopt;
            break;
        }
        if (isData) {
            sawData = true;
        } else if (critical) {
            // PLTE is allowed (a suggested palette); any other is not for us.
            if (std::memcmp(type, "PLTE", 4) != 0 || sawData) return std::nullopt;
        } else if (wanted) {
            if (std::memcmp(type, "tRNS", 4) == 0 || std::memcmp(type, "eXIf", 4) == 0)
                return std::nullopt;
            if (!sawData && std::memcmp(type, "sRGB", 4) == 0) srgb = true;
            if (!sawData && std::memcmp(type, "iCCP", 4) == 0 && profile.isEmpty())
                profile = inflateProfile(inflater.get(), chunk);
        }
        at += 12 + size_t(length);
    }
    if (!sawData) return std::nullopt;

    // Left uninitialised: the inflater fills every byte or the road is left.
    const size_t rawSize = static_cast<size_t>(inflated);
    std::unique_ptr<unsigned char[]> raw(new (std::nothrow) unsigned char[rawSize]);
    if (!raw ||
        !inflateExactly(inflater.get(), compressed.data(), compressed.size(), raw.get(), rawSize))
        return std::nullopt;
    compressed = {};

    SrgbRowScaler scaler(QSize(int(width), int(height)), target,
                         srgb ? nullptr : SrgbConversion::fromIcc(profile, PixelModel::Rgb));
    std::vector<unsigned char> zero(stride, 0), bgra(size_t(width) * 4);
    const unsigned char* prior = zero.data();
    for (quint32 y = 0; y < height; ++y) {
        unsigned char* row = raw.get() + size_t(y) * (stride + 1);
        if (!unfilterPngRow(row[0], row + 1, prior, stride, channels)) return std::nullopt;
        if (channels == 4) {
            if (!rgbaToBgra(row + 1, bgra.data(), width)) layPngRowOnWhite(bgra.data(), width);
        } else {
            rgbToBgrx(row + 1, bgra.data(), width);
        }
        scaler.pushRow(bgra.data());
        prior = row + 1;
    }
    QImage result = scaler.takeResult();
    if (result.isNull()) return std::nullopt;
    return result;
}

}  // namespace miniskop
