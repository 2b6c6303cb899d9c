// Row-by-row PNG decoding into the area scaler through libspng. See
// PngDecoder.h.
//
// libspng inflates with zlib like libpng, but unfilters with SIMD code and
// hands over each row in the layout asked for; the rows go into the scaler
// as they come. An interlaced picture sends its even rows in the first six
// passes and its odd rows, whole and in order, in the seventh: the even rows
// are kept until then (half the picture), and from there on every row goes
// into the scaler in picture order, as from a plain file.
#include "PngDecoder.h"

#include <spng.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "ColourProfile.h"
#include "DecodeLimit.h"
#include "PictureFile.h"
#include "PngFastPath.h"

namespace miniskop {

namespace {

// Rows wider than this (at 8 bytes a pixel, the widest layout) are refused
// before anything is allocated.
constexpr size_t kMaxRowBytes = size_t(256) << 20;
constexpr size_t kReadChunk = size_t(64) << 10;
// Ancillary chunks (profiles, text) are inflated whole; larger ones are
// dropped rather than held.
constexpr size_t kMaxChunkBytes = size_t(64) << 20;
constexpr size_t kMaxChunkCache = size_t(128) << 20;

// The file read through a small read-ahead buffer.
struct PngInput {
    const PictureFile* file = nullptr;
    size_t position = 0;      // next byte to hand over
    uchar* buffer = nullptr;  // read-ahead buffer of kReadChunk bytes
    size_t buffered = 0;      // bytes valid in buffer
    size_t bufferStart = 0;   // file offset of buffer[0]
};

// Copies up to `length` bytes at the input's position; returns how many.
size_t fetch(PngInput& in, uchar* out, size_t length) {
    size_t got = 0;
    while (got < length) {
        const size_t offset = in.position - in.bufferStart;
        if (in.position >= in.bufferStart && offset < in.buffered) {
            const size_t n = std::min(length - got, in.buffered - offset);
            std::memcpy(out + got, in.buffer + offset, n);
            got += n;
            in.position += n;
            continue;
        }
        const qsizetype n = in.file->readAt(qint64(in.position), in.buffer, kReadChunk);
        if (n <= 0) break;
        in.bufferStart = in.position;
        in.buffered = size_t(n);
    }
    return got;
}

int onRead(spng_ctx*, void* user, void* out, size_t length) {
    auto* in = static_cast<PngInput*>(user);
    return fetch(*in, static_cast<uchar*>(out), length) == length ? 0 : SPNG_IO_EOF;
}

// Owns the libspng context of one decoding.
class SpngContext {
public:
    SpngContext() : ctx_(spng_ctx_new(SPNG_CTX_IGNORE_ADLER32)) {}
    ~SpngContext() {
        if (ctx_) spng_ctx_free(ctx_);
    }
    SpngContext(const SpngContext&) = delete;
    SpngContext& operator=(const SpngContext&) = delete;
    spng_ctx* get() const { return ctx_; }

private:
    spng_ctx* ctx_;
};

// Reads `input` through `ctx`: damaged critical chunks fail the picture,
// damaged ancillary ones are dropped (as libpng does); ancillary chunks are
// held only up to a limit; the widest header PNG allows passes here, the
// callers' own width checks decide. A libspng error code, or 0.
int startStream(spng_ctx* ctx, PngInput* input) {
    spng_set_crc_action(ctx, SPNG_CRC_ERROR, SPNG_CRC_DISCARD);
    spng_set_chunk_limits(ctx, kMaxChunkBytes, kMaxChunkCache);
    spng_set_image_limits(ctx, 0x7fffffffu, 0x7fffffffu);
    return spng_set_png_stream(ctx, onRead, input);
}

Unexpected<Failure> spngFailure(int code) {
    return fail(QStringLiteral("PNG: %1").arg(QString::fromLatin1(spng_strerror(code))));
}

// A 16-bit sample rounded to 8 bits exactly as libpng's png_set_scale_16.
inline uchar scale16(uint16_t v) {
    int tmp = v >> 8;
    tmp += (((int(v & 0xff) - tmp + 128) * 65535) >> 24);
    return uchar(tmp);
}

// The decoded row layouts asked of libspng.
enum class Layout { Rgb8, Rgba8, Rgba16 };

// Pixels [first, first + step * k, ...] of a decoded row into blue, green,
// red, alpha (or 0xFF) order.
void toBgra(Layout layout, const uchar* in, uchar* out, size_t width, size_t first, size_t step) {
    for (size_t x = first; x < width; x += step) {
        uchar* q = out + 4 * x;
        switch (layout) {
            case Layout::Rgb8: {
                const uchar* p = in + 3 * x;
                q[0] = p[2];
                q[1] = p[1];
                q[2] = p[0];
                q[3] = 0xff;
                break;
            }
            case Layout::Rgba8: {
                const uchar* p = in + 4 * x;
                q[0] = p[2];
                q[1] = p[1];
                q[2] = p[0];
                q[3] = p[3];
                break;
            }
            case Layout::Rgba16: {
                const auto* p = reinterpret_cast<const uint16_t*>(in) + 4 * x;
                q[0] = scale16(p[2]);
                q[1] = scale16(p[1]);
                q[2] = scale16(p[0]);
                q[3] = scale16(p[3]);
                break;
            }
        }
    }
}

// Adam7: the first column and the column step of each pass (1..7).
constexpr size_t kPassFirstColumn[8] = {0, 0, 4, 0, 2, 0, 1, 0};
constexpr size_t kPassColumnStep[8] = {1, 8, 8, 4, 4, 2, 2, 1};

// The embedded profile's conversion, unless an sRGB chunk says the picture
// is sRGB anyway.
SrgbConversionPtr profileOf(spng_ctx* ctx, const spng_ihdr& ihdr) {
    uint8_t intent = 0;
    if (spng_get_srgb(ctx, &intent) == 0) return nullptr;
    spng_iccp iccp{};
    if (spng_get_iccp(ctx, &iccp) != 0 || iccp.profile == nullptr) return nullptr;
    const bool grey = ihdr.color_type == SPNG_COLOR_TYPE_GRAYSCALE ||
                      ihdr.color_type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA;
    return SrgbConversion::fromIcc(QByteArray(iccp.profile, qsizetype(iccp.profile_len)),
                                   grey ? PixelModel::Grey : PixelModel::Rgb);
}

}  // namespace

bool looksLikePng(const QByteArray& head) {
    static const char signature[8] = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};
    return head.size() >= 8 && std::memcmp(head.constData(), signature, 8) == 0;
}

Expected<PngInfo> readPngInfo(const PictureFile& file) {
    SpngContext context;
    spng_ctx* ctx = context.get();
    if (!ctx) return fail(QStringLiteral("PNG: out of memory"));
    std::vector<uchar> readAhead(kReadChunk);
    PngInput input{&file, 0, readAhead.data()};
    if (int rc = startStream(ctx, &input)) return spngFailure(rc);
    spng_ihdr ihdr{};
    if (int rc = spng_get_ihdr(ctx, &ihdr)) return spngFailure(rc);
    auto qt = readQtInfo(file);
    if (!qt) return unexpected(qt.error());
    PngInfo info;
    static_cast<QtInfo&>(info) = std::move(*qt);
    info.stored = QSize(int(std::min<uint32_t>(ihdr.width, 0x7fffffff)),
                        int(std::min<uint32_t>(ihdr.height, 0x7fffffff)));
    info.bitDepth = ihdr.bit_depth;
    info.colourType = ihdr.color_type;
    info.interlaced = ihdr.interlace_method != SPNG_INTERLACE_NONE;
    spng_trns trns{};
    info.transparency = spng_get_trns(ctx, &trns) == 0;
    spng_exif exif{};
    info.exif = spng_get_exif(ctx, &exif) == 0;
    info.fileBytes = std::max<qint64>(file.size(), 0);
    return info;
}

qint64 pngScaledBytes(const PngInfo& info, QSize target) {
    if (info.exif) return qtScaledBytes(info, target);
    const qint64 width = std::max(info.stored.width(), 1);
    const qint64 height = std::max(info.stored.height(), 1);
    const bool alpha = info.colourType == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA ||
                       info.colourType == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA || info.transparency;
    const bool rgb8 = info.bitDepth == 8 && (info.colourType == SPNG_COLOR_TYPE_TRUECOLOR ||
                                             info.colourType == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA);
    // The scaler, with an embedded profile's conversion in case there is one.
    const qint64 scaler =
        SrgbRowScaler::bytesHeld(QSize(int(width), int(height)), target, true) + (64 << 10);
    const int channels = info.colourType == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA ? 4 : 3;
    const double inflated = double(width * channels + 1) * double(height);
    if (rgb8 && !info.interlaced && inflated <= double(kPngFastPathBytes)) {
        // The image data read at once, then inflated beside it.
        const double compressed = std::min(double(info.fileBytes), inflated * 1.01 + 4096);
        return qint64(compressed + inflated) + width * (channels + 4) + scaler;
    }
    // libspng's rows and zlib's window, the row asked for, the row in
    // scaler order; an interlaced picture keeps its even rows.
    const qint64 rowBytes = width * (info.bitDepth == 16 ? 8 : alpha ? 4 : 3);
    const qint64 evenRows = info.interlaced ? pixelBytes(width, (height + 1) / 2) : 0;
    return (256 << 10) + 3 * (width * 8 + 1) + rowBytes + width * 4 + evenRows + scaler;
}

Expected<std::optional<QImage>> decodePngScaled(const PictureFile& file, QSize target) {
    if (target.width() < 1 || target.height() < 1)
        return fail(QStringLiteral("PNG: target size out of range"));
    if (auto fast = decodePngFast(file, target)) return std::optional<QImage>(std::move(*fast));
    SpngContext context;
    spng_ctx* ctx = context.get();
    if (!ctx) return fail(QStringLiteral("PNG: out of memory"));
    std::vector<uchar> readAhead(kReadChunk);
    PngInput input{&file, 0, readAhead.data()};
    if (int rc = startStream(ctx, &input)) return spngFailure(rc);

    spng_ihdr ihdr{};
    if (int rc = spng_get_ihdr(ctx, &ihdr)) {
        // libspng refuses rows whose size overflows its own arithmetic.
        if (rc == SPNG_EOVERFLOW) return fail(QStringLiteral("PNG: picture too wide"));
        return spngFailure(rc);
    }
    if (size_t(ihdr.width) > kMaxRowBytes / 8) return fail(QStringLiteral("PNG: picture too wide"));
    // An EXIF block may turn the picture: left to the general decoder,
    // which applies it.
    spng_exif exif{};
    if (spng_get_exif(ctx, &exif) == 0) return std::optional<QImage>();

    spng_trns trns{};
    const bool hasAlpha = ihdr.color_type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA ||
                          ihdr.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA ||
                          spng_get_trns(ctx, &trns) == 0;
    const Layout layout = ihdr.bit_depth == 16 ? Layout::Rgba16
                          : hasAlpha           ? Layout::Rgba8
                                               : Layout::Rgb8;
    const int format = layout == Layout::Rgba16  ? SPNG_FMT_RGBA16
                       : layout == Layout::Rgba8 ? SPNG_FMT_RGBA8
                                                 : SPNG_FMT_RGB8;
    const SrgbConversionPtr conversion = profileOf(ctx, ihdr);
    if (int rc =
            spng_decode_image(ctx, nullptr, 0, format, SPNG_DECODE_TRNS | SPNG_DECODE_PROGRESSIVE))
        return spngFailure(rc);
    size_t imageBytes = 0;
    if (int rc = spng_decoded_image_size(ctx, format, &imageBytes)) return spngFailure(rc);

    const size_t width = ihdr.width;
    const size_t height = ihdr.height;
    const size_t rowBytes = imageBytes / height;
    std::vector<uchar> decoded(rowBytes);
    std::vector<uchar> bgra(width * 4);
    // Interlaced: the even rows, made up over the first six passes.
    std::vector<uchar> evenRows;
    const bool interlaced = ihdr.interlace_method != SPNG_INTERLACE_NONE;
    if (interlaced) {
        const QSize even(int(width), int((height + 1) / 2));
        if (exceedsDecodeLimit(even))
            return tooLarge(qint64(even.width()) * even.height() * 4, decodeLimit());
        evenRows.resize(size_t(even.width()) * size_t(even.height()) * 4);
    }
    SrgbRowScaler scaler(QSize(int(width), int(height)), target, conversion);
    const auto push = [&](uchar* row) {
        if (hasAlpha) layPngRowOnWhite(row, width);
        scaler.pushRow(row);
    };

    size_t nextEven = 0;  // interlaced: the next even row to go to the scaler
    int rc = 0;
    do {
        spng_row_info info{};
        rc = spng_get_row_info(ctx, &info);
        if (rc) break;
        rc = spng_decode_row(ctx, decoded.data(), decoded.size());
        if (rc != 0 && rc != SPNG_EOI) break;
        const size_t y = info.row_num;
        if (!interlaced) {
            toBgra(layout, decoded.data(), bgra.data(), width, 0, 1);
            push(bgra.data());
        } else if (info.pass < 6) {
            uchar* even = evenRows.data() + (y / 2) * width * 4;
            toBgra(layout, decoded.data(), even, width, kPassFirstColumn[info.pass + 1],
                   kPassColumnStep[info.pass + 1]);
        } else {
            // Pass seven: odd row y, whole; the even row above it is complete.
            push(evenRows.data() + (y / 2) * width * 4);
            nextEven = y / 2 + 1;
            toBgra(layout, decoded.data(), bgra.data(), width, 0, 1);
            push(bgra.data());
        }
    } while (rc == 0);
    if (rc != SPNG_EOI) return spngFailure(rc);
    // The chunks after the picture data, up to IEND: a file cut anywhere
    // before its end fails like one cut in the middle.
    if (int end = spng_decode_chunks(ctx)) return spngFailure(end);
    // An interlaced picture one row high has no seventh pass; one of odd
    // height ends with an even row.
    for (size_t k = nextEven; interlaced && k < (height + 1) / 2; ++k)
        push(evenRows.data() + k * width * 4);
    if (scaler.rowsMissing() != 0) return fail(QStringLiteral("PNG: rows missing"));
    QImage result = scaler.takeResult();
    if (result.isNull()) return fail(QStringLiteral("PNG: out of memory"));
    return std::optional<QImage>(std::move(result));
}

}  // namespace miniskop
