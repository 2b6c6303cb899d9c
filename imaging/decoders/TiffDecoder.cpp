// TIFF decoding by strips and tiles into the area scaler. See TiffDecoder.h.
#include "TiffDecoder.h"

#include <tiffio.h>

#include <QRgb>
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "ColourProfile.h"
#include "DecodeLimit.h"
#include "ExifOrientation.h"
#include "PictureFile.h"

namespace miniskop {

namespace {

// libtiff reads through these, at its own position; messages land in
// `message` instead of on stderr.
struct TiffFile {
    const PictureFile* file = nullptr;
    uint64_t size = 0;
    uint64_t position = 0;
    char message[256] = {};
};

tmsize_t fileRead(thandle_t handle, void* out, tmsize_t size) {
    auto* f = static_cast<TiffFile*>(handle);
    const tmsize_t got = f->file->readAt(qint64(f->position), out, size);
    f->position += uint64_t(got);
    return got;
}

tmsize_t fileWrite(thandle_t, void*, tmsize_t) { return -1; }

toff_t fileSeek(thandle_t handle, toff_t offset, int whence) {
    auto* f = static_cast<TiffFile*>(handle);
    const uint64_t base = whence == SEEK_CUR ? f->position : whence == SEEK_END ? f->size : 0;
    f->position = base + offset;
    return f->position;
}

int fileClose(thandle_t) { return 0; }  // the descriptor belongs to the caller
toff_t fileSize(thandle_t handle) { return static_cast<TiffFile*>(handle)->size; }
int noMap(thandle_t, void**, toff_t*) { return 0; }
void noUnmap(thandle_t, void*, toff_t) {}

int onError(TIFF*, void* user, const char*, const char* format, va_list args) {
    auto* f = static_cast<TiffFile*>(user);
    std::vsnprintf(f->message, sizeof f->message, format, args);
    return 1;
}
int onWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffClose {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};

// An open TIFF file; the state libtiff reads through stays in place.
struct OpenTiff {
    std::unique_ptr<TiffFile> file = std::make_unique<TiffFile>();
    std::unique_ptr<TIFF, TiffClose> tif;

    Unexpected<Failure> failure(const char* what) const {
        const QString detail =
            file->message[0] ? QString::fromLocal8Bit(file->message) : QString::fromLatin1(what);
        return fail(QStringLiteral("TIFF: %1").arg(detail));
    }
};

Expected<OpenTiff> openTiff(const PictureFile& file) {
    const qint64 size = file.size();
    if (size < 0) return fail(QStringLiteral("TIFF: cannot read file"));
    OpenTiff open;
    open.file->file = &file;
    open.file->size = uint64_t(size);
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) return fail(QStringLiteral("TIFF: out of memory"));
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t(decodeLimit()));
    TIFFOpenOptionsSetErrorHandlerExtR(options, onError, open.file.get());
    TIFFOpenOptionsSetWarningHandlerExtR(options, onWarning, nullptr);
    // "m": never map the file.
    open.tif.reset(TIFFClientOpenExt("picture", "rm", open.file.get(), fileRead, fileWrite,
                                     fileSeek, fileClose, fileSize, noMap, noUnmap, options));
    TIFFOpenOptionsFree(options);
    if (!open.tif) return open.failure("not a readable TIFF file");
    return open;
}

// What the first page holds, as far as this decoder reads it.
struct Layout {
    QSize stored;
    int orientation = 1;
    uint16_t photometric = 0;
    uint16_t bits = 0;
    uint16_t samples = 1;     // per pixel, extra samples included
    int alpha = -1;           // sample index of the alpha channel, or -1
    bool associated = false;  // alpha already multiplied into the colours
    bool tiled = false;
    uint32_t tileWidth = 0, tileHeight = 0;
    std::vector<QRgb> palette;
    QByteArray icc;
    bool streamable = false;
};

template <class T>
T field(TIFF* tif, ttag_t tag, T fallback) {
    T value = fallback;
    return TIFFGetFieldDefaulted(tif, tag, &value) ? value : fallback;
}

Layout describe(TIFF* tif) {
    Layout l;
    uint32_t width = 0, height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    l.stored = QSize(int(std::min<uint32_t>(width, 0x7fffffff)),
                     int(std::min<uint32_t>(height, 0x7fffffff)));
    l.orientation = std::clamp<int>(field<uint16_t>(tif, TIFFTAG_ORIENTATION, 1), 1, 8);
    l.photometric = field<uint16_t>(tif, TIFFTAG_PHOTOMETRIC, 0xffff);
    l.bits = field<uint16_t>(tif, TIFFTAG_BITSPERSAMPLE, 1);
    l.samples = field<uint16_t>(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    const uint16_t format = field<uint16_t>(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
    const uint16_t planar = field<uint16_t>(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    const uint16_t compression = field<uint16_t>(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    l.tiled = TIFFIsTiled(tif) != 0;
    if (l.tiled) {
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &l.tileWidth);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &l.tileHeight);
    }
    uint32_t iccLength = 0;
    void* icc = nullptr;
    if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &iccLength, &icc) && icc && iccLength > 0)
        l.icc = QByteArray(static_cast<const char*>(icc), qsizetype(iccLength));

    int colours = 0;
    switch (l.photometric) {
        case PHOTOMETRIC_MINISWHITE:
        case PHOTOMETRIC_MINISBLACK:
        case PHOTOMETRIC_PALETTE:
            colours = 1;
            break;
        case PHOTOMETRIC_RGB:
            colours = 3;
            break;
        case PHOTOMETRIC_YCBCR:
            // Only as JPEG-compressed data, which the JPEG codec hands out as RGB.
            if (compression != COMPRESSION_JPEG || l.bits != 8) return l;
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
            colours = 3;
            break;
        case PHOTOMETRIC_SEPARATED:
            if (field<uint16_t>(tif, TIFFTAG_INKSET, INKSET_CMYK) != INKSET_CMYK) return l;
            colours = 4;
            break;
        default:
            return l;
    }
    if (l.samples < colours || (format != SAMPLEFORMAT_UINT && format != SAMPLEFORMAT_VOID))
        return l;
    if (l.samples > 1 && planar != PLANARCONFIG_CONTIG) return l;
    const bool lowBits = l.bits == 1 || l.bits == 2 || l.bits == 4;
    if (!(l.bits == 8 || l.bits == 16 || (lowBits && l.samples == 1 && !l.tiled))) return l;
    if (l.photometric == PHOTOMETRIC_PALETTE) {
        if (l.bits == 16) return l;
        uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
        if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b) || !r || !g || !b) return l;
        const size_t entries = size_t(1) << l.bits;
        // Old writers store 8-bit entries in the 16-bit map; others keep the
        // high byte (as libtiff and Qt's reader take it).
        bool eightBit = true;
        for (size_t i = 0; i < entries; ++i)
            eightBit = eightBit && r[i] < 256 && g[i] < 256 && b[i] < 256;
        const auto to8 = [eightBit](uint16_t v) { return eightBit ? int(v) : int(v >> 8); };
        for (size_t i = 0; i < entries; ++i)
            l.palette.push_back(qRgb(to8(r[i]), to8(g[i]), to8(b[i])));
    }
    uint16_t extraCount = 0;
    uint16_t* extra = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) && extraCount > 0 && extra &&
        l.samples > colours &&
        (extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA)) {
        l.alpha = colours;
        l.associated = extra[0] == EXTRASAMPLE_ASSOCALPHA;
    }
    if (l.tiled && (l.tileWidth == 0 || l.tileHeight == 0)) return l;
    l.streamable = TIFFIsCODECConfigured(compression) != 0;
    return l;
}

inline uchar scale16(uint16_t v) { return uchar((uint32_t(v) * 255u + 32895u) >> 16); }

// Sample `c` of pixel `x` as 8 bits.
inline int sample8(const Layout& l, const uchar* row, int x, int c) {
    if (l.bits == 8) return row[size_t(x) * l.samples + size_t(c)];
    if (l.bits == 16) {
        uint16_t v = 0;
        std::memcpy(&v, row + (size_t(x) * l.samples + size_t(c)) * 2, 2);
        return scale16(v);
    }
    // 1, 2 or 4 bits, one sample a pixel, first pixel in the high bits.
    const size_t bit = size_t(x) * l.bits;
    const int v = (row[bit / 8] >> (8 - l.bits - int(bit % 8))) & ((1 << l.bits) - 1);
    return l.photometric == PHOTOMETRIC_PALETTE ? v : v * 255 / ((1 << l.bits) - 1);
}

// One row of raw samples into blue, green, red, 0xFF; CMYK through
// `cmykProfile` when there is one.
void toBgrx(const Layout& l, const uchar* raw, uchar* out, int width,
            const SrgbConversion* cmykProfile, std::vector<uchar>& cmyk) {
    if (l.photometric == PHOTOMETRIC_SEPARATED && cmykProfile) {
        cmyk.resize(size_t(width) * 4);
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 4; ++c)
                cmyk[size_t(x) * 4 + size_t(c)] = uchar(sample8(l, raw, x, c));
        cmykProfile->convertCmyk(cmyk.data(), out, size_t(width));
    }
    for (int x = 0; x < width; ++x, out += 4) {
        int r = 0, g = 0, b = 0;
        switch (l.photometric) {
            case PHOTOMETRIC_MINISWHITE:
                r = g = b = 255 - sample8(l, raw, x, 0);
                break;
            case PHOTOMETRIC_MINISBLACK:
                r = g = b = sample8(l, raw, x, 0);
                break;
            case PHOTOMETRIC_PALETTE: {
                const size_t index = size_t(sample8(l, raw, x, 0));
                const QRgb p = index < l.palette.size() ? l.palette[index] : 0;
                r = qRed(p), g = qGreen(p), b = qBlue(p);
                break;
            }
            case PHOTOMETRIC_SEPARATED:
                if (cmykProfile) {
                    r = out[2], g = out[1], b = out[0];
                } else {
                    // libtiff's ink arithmetic, which Qt's reader used before.
                    const int k = 255 - sample8(l, raw, x, 3);
                    r = (255 - sample8(l, raw, x, 0)) * k / 255;
                    g = (255 - sample8(l, raw, x, 1)) * k / 255;
                    b = (255 - sample8(l, raw, x, 2)) * k / 255;
                }
                break;
            default:  // RGB, and YCbCr that the JPEG codec made RGB
                r = sample8(l, raw, x, 0), g = sample8(l, raw, x, 1), b = sample8(l, raw, x, 2);
                break;
        }
        if (l.alpha >= 0) {
            const int a = sample8(l, raw, x, l.alpha);
            if (!l.associated) {
                // Premultiplied as libtiff does for Qt's reader.
                r = (r * a + 127) / 255, g = (g * a + 127) / 255, b = (b * a + 127) / 255;
            }
            // Over white, a premultiplied channel c with alpha a becomes c + (255 - a).
            r = std::min(r + 255 - a, 255), g = std::min(g + 255 - a, 255);
            b = std::min(b + 255 - a, 255);
        }
        out[0] = uchar(b);
        out[1] = uchar(g);
        out[2] = uchar(r);
        out[3] = 0xff;
    }
}

PixelModel modelOf(const Layout& l) {
    switch (l.photometric) {
        case PHOTOMETRIC_MINISWHITE:
        case PHOTOMETRIC_MINISBLACK:
            return PixelModel::Grey;
        case PHOTOMETRIC_SEPARATED:
            return PixelModel::Cmyk;
        default:
            return PixelModel::Rgb;
    }
}

}  // namespace

bool looksLikeTiff(const QByteArray& head) {
    if (head.size() < 4) return false;
    const auto b = [&head](int i) { return quint8(head[i]); };
    const bool little = b(0) == 'I' && b(1) == 'I' && (b(2) == 42 || b(2) == 43) && b(3) == 0;
    const bool big = b(0) == 'M' && b(1) == 'M' && b(2) == 0 && (b(3) == 42 || b(3) == 43);
    return little || big;
}

Expected<TiffInfo> readTiffInfo(const PictureFile& file) {
    auto open = openTiff(file);
    if (!open) return unexpected(open.error());
    TIFF* tif = open->tif.get();
    const Layout layout = describe(tif);
    if (layout.stored.width() < 1 || layout.stored.height() < 1)
        return fail(QStringLiteral("TIFF: picture without area"));
    TiffInfo info{orientedSize(layout.stored, layout.orientation), layout.streamable};
    info.width = layout.stored.width();
    if (layout.tiled) {
        info.pieceBytes = qint64(TIFFTileSize64(tif));
        info.bandBytes = qint64(layout.stored.width()) * layout.tileHeight * layout.samples *
                         std::max(layout.bits / 8, 1);
    } else {
        info.pieceBytes = qint64(TIFFScanlineSize64(tif));
    }
    const uint32_t pieces = layout.tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    for (uint32_t i = 0; i < pieces; ++i)
        info.rawBytes = std::max(info.rawBytes, qint64(TIFFGetStrileByteCount(tif, i)));
    return info;
}

qint64 tiffScaledBytes(const TiffInfo& info, QSize target) {
    // The codec's state (libjpeg's for JPEG-compressed pictures), a row in
    // scaler order and one of CMYK, and the scaler with a conversion in case
    // there is a profile.
    const qint64 stored = qint64(info.width) * 4;
    return (1 << 20) + info.pieceBytes + info.bandBytes + info.rawBytes + 2 * stored +
           SrgbRowScaler::bytesHeld(info.displayed, target, true);
}

Expected<QImage> decodeTiffScaled(const PictureFile& file, QSize target) {
    if (target.width() < 1 || target.height() < 1 || exceedsDecodeLimit(target))
        return fail(QStringLiteral("TIFF: target size out of range"));
    auto open = openTiff(file);
    if (!open) return unexpected(open.error());
    TIFF* tif = open->tif.get();
    const Layout l = describe(tif);
    if (!l.streamable) return fail(QStringLiteral("TIFF: layout not read by strips"));
    if (l.stored.width() < 1 || l.stored.height() < 1)
        return fail(QStringLiteral("TIFF: picture size out of range"));

    const bool cmyk = l.photometric == PHOTOMETRIC_SEPARATED;
    const SrgbConversionPtr conversion = SrgbConversion::fromIcc(l.icc, modelOf(l));
    const QSize storedTarget = orientationSwapsSides(l.orientation) ? target.transposed() : target;
    SrgbRowScaler scaler(l.stored, storedTarget, cmyk ? nullptr : conversion);
    const int width = l.stored.width();
    const int height = l.stored.height();
    std::vector<uchar> bgrx(size_t(width) * 4);
    std::vector<uchar> cmykRow;

    if (!l.tiled) {
        const uint64_t lineBytes = TIFFScanlineSize64(tif);
        const uint64_t needed = (uint64_t(width) * l.samples * l.bits + 7) / 8;
        if (lineBytes < needed || lineBytes > uint64_t(decodeLimit()))
            return fail(QStringLiteral("TIFF: unexpected row size"));
        std::vector<uchar> line(static_cast<size_t>(lineBytes));
        for (int y = 0; y < height; ++y) {
            if (TIFFReadScanline(tif, line.data(), uint32_t(y), 0) < 0)
                return open->failure("damaged rows");
            toBgrx(l, line.data(), bgrx.data(), width, conversion.get(), cmykRow);
            scaler.pushRow(bgrx.data());
        }
    } else {
        // A band of one tile's height across the whole width, filled tile by
        // tile, then handed over row by row.
        const size_t pixelBytes = size_t(l.samples) * (l.bits / 8);
        const uint64_t tileBytes = TIFFTileSize64(tif);
        const uint64_t tileRowBytes = uint64_t(l.tileWidth) * pixelBytes;
        const double bandBytes = double(width) * double(l.tileHeight) * double(pixelBytes);
        if (tileBytes < tileRowBytes * l.tileHeight || bandBytes > double(decodeLimit()) ||
            tileBytes > uint64_t(decodeLimit()))
            return fail(QStringLiteral("TIFF: unexpected tile size"));
        std::vector<uchar> tile(static_cast<size_t>(tileBytes));
        std::vector<uchar> band(static_cast<size_t>(bandBytes));
        const size_t bandRowBytes = size_t(width) * pixelBytes;
        for (uint32_t top = 0; top < uint32_t(height); top += l.tileHeight) {
            for (uint32_t left = 0; left < uint32_t(width); left += l.tileWidth) {
                if (TIFFReadTile(tif, tile.data(), left, top, 0, 0) < 0)
                    return open->failure("damaged tiles");
                const size_t copy =
                    size_t(std::min<uint32_t>(l.tileWidth, uint32_t(width) - left)) * pixelBytes;
                for (uint32_t r = 0; r < l.tileHeight; ++r)
                    std::memcpy(band.data() + r * bandRowBytes + left * pixelBytes,
                                tile.data() + r * tileRowBytes, copy);
            }
            const uint32_t rows = std::min<uint32_t>(l.tileHeight, uint32_t(height) - top);
            for (uint32_t r = 0; r < rows; ++r) {
                toBgrx(l, band.data() + r * bandRowBytes, bgrx.data(), width, conversion.get(),
                       cmykRow);
                scaler.pushRow(bgrx.data());
            }
        }
    }
    if (scaler.rowsMissing() != 0) return fail(QStringLiteral("TIFF: rows missing"));
    QImage result = scaler.takeResult();
    if (result.isNull()) return fail(QStringLiteral("TIFF: out of memory"));
    return applyOrientation(result, l.orientation);
}

}  // namespace miniskop
