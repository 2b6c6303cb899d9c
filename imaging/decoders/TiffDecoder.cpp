// TIFF decoding by strips and tiles into the area scaler. See TiffDecoder.h.
#include "TiffDecoder.h"

#include <tiffio.h>

#include <QRgb>
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "ColourProfile.h"
#include "DecodeLimit.h"
#include "ExifOrientation.h"
#include "PictureFile.h"
#include "TiffRows.h"

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

template <class T>
T field(TIFF* tif, ttag_t tag, T fallback) {
    T value = fallback;
    return TIFFGetFieldDefaulted(tif, tag, &value) ? value : fallback;
}

TiffLayout describe(TIFF* tif) {
    TiffLayout l;
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
    l.planar = planar == PLANARCONFIG_SEPARATE && l.samples > 1;
    l.tiled = TIFFIsTiled(tif) != 0;
    if (l.tiled) {
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &l.tileWidth);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &l.tileHeight);
    }
    uint32_t iccLength = 0;
    void* icc = nullptr;
    if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &iccLength, &icc) && icc && iccLength > 0)
        l.icc = QByteArray(static_cast<const char*>(icc), qsizetype(iccLength));

    switch (l.photometric) {
        case PHOTOMETRIC_MINISWHITE:
        case PHOTOMETRIC_MINISBLACK:
        case PHOTOMETRIC_PALETTE:
            l.colours = 1;
            break;
        case PHOTOMETRIC_RGB:
            l.colours = 3;
            break;
        case PHOTOMETRIC_YCBCR:
            // Only as JPEG-compressed data, which the JPEG codec hands out as RGB.
            if (compression != COMPRESSION_JPEG || l.bits != 8 || l.planar) return l;
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
            l.colours = 3;
            break;
        case PHOTOMETRIC_SEPARATED:
            if (field<uint16_t>(tif, TIFFTAG_INKSET, INKSET_CMYK) != INKSET_CMYK) return l;
            l.colours = 4;
            break;
        case PHOTOMETRIC_CIELAB:
        case PHOTOMETRIC_ICCLAB:
            if ((l.bits != 8 && l.bits != 16) || !tiffLabAvailable()) return l;
            l.colours = 3;
            if (float* white = nullptr; TIFFGetField(tif, TIFFTAG_WHITEPOINT, &white) && white)
                l.whiteX = white[0], l.whiteY = white[1];
            break;
        default:
            return l;
    }
    if (l.samples < l.colours || l.bits < 1 || l.bits > 16 ||
        (format != SAMPLEFORMAT_UINT && format != SAMPLEFORMAT_VOID))
        return l;
    if (l.photometric == PHOTOMETRIC_PALETTE) {
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
        l.samples > l.colours &&
        (extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA)) {
        l.alpha = l.colours;
        l.associated = extra[0] == EXTRASAMPLE_ASSOCALPHA;
    }
    if (l.tiled) {
        // Tiles are put side by side a whole tile row at a time, so a tile
        // row must end on a byte (as the format's multiples of 16 do).
        if (l.tileWidth == 0 || l.tileHeight == 0 ||
            (uint64_t(l.tileWidth) * (l.planar ? 1 : l.samples) * l.bits) % 8 != 0)
            return l;
    }
    l.streamable = TIFFIsCODECConfigured(compression) != 0;
    return l;
}

PixelModel modelOf(const TiffLayout& l) {
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

// Hands the rows of the page, top to bottom, to `push` (one pointer per
// plane read, see tiffPlanesRead).
using RowPush = std::function<void(const uchar* const* rows)>;

// Strips of interleaved samples, row by row through the codec.
Status readStrips(const OpenTiff& open, const TiffLayout& l, const RowPush& push) {
    TIFF* tif = open.tif.get();
    const uint64_t lineBytes = TIFFScanlineSize64(tif);
    if (lineBytes < tiffRowBytes(l, uint64_t(l.stored.width())) ||
        lineBytes > uint64_t(decodeLimit()))
        return fail(QStringLiteral("TIFF: unexpected row size"));
    std::vector<uchar> line(static_cast<size_t>(lineBytes));
    const uchar* rows[] = {line.data()};
    for (int y = 0; y < l.stored.height(); ++y) {
        if (TIFFReadScanline(tif, line.data(), uint32_t(y), 0) < 0)
            return open.failure("damaged rows");
        push(rows);
    }
    return {};
}

// Strips of planes stored apart. Each plane is read through a libtiff
// handle of its own, so that every codec goes on where it stopped instead
// of decoding its strip again from the start for every row.
Status readPlanarStrips(const PictureFile& file, OpenTiff& first, const TiffLayout& l,
                        const RowPush& push) {
    const std::vector<int> planes = tiffPlanesRead(l);
    std::vector<OpenTiff> handles;
    handles.push_back(std::move(first));
    for (size_t i = 1; i < planes.size(); ++i) {
        auto open = openTiff(file);
        if (!open) return unexpected(open.error());
        handles.push_back(std::move(*open));
    }
    const uint64_t lineBytes = TIFFScanlineSize64(handles[0].tif.get());
    if (lineBytes < tiffRowBytes(l, uint64_t(l.stored.width())) ||
        lineBytes > uint64_t(decodeLimit()))
        return fail(QStringLiteral("TIFF: unexpected row size"));
    std::vector<std::vector<uchar>> lines(planes.size(),
                                          std::vector<uchar>(static_cast<size_t>(lineBytes)));
    std::vector<const uchar*> rows;
    for (const auto& line : lines) rows.push_back(line.data());
    for (int y = 0; y < l.stored.height(); ++y) {
        for (size_t i = 0; i < planes.size(); ++i) {
            if (TIFFReadScanline(handles[i].tif.get(), lines[i].data(), uint32_t(y),
                                 uint16_t(planes[i])) < 0)
                return handles[i].failure("damaged rows");
        }
        push(rows.data());
    }
    return {};
}

// Tiles, interleaved or by plane: a band of one tile's height across the
// whole width per plane, filled tile by tile, then handed over row by row.
Status readTiles(const OpenTiff& open, const TiffLayout& l, const RowPush& push) {
    TIFF* tif = open.tif.get();
    const std::vector<int> planes = tiffPlanesRead(l);
    const uint64_t tileBytes = TIFFTileSize64(tif);
    const uint64_t tileRowBytes = tiffRowBytes(l, l.tileWidth);
    const uint64_t across = (uint64_t(l.stored.width()) + l.tileWidth - 1) / l.tileWidth;
    const uint64_t bandRowBytes = across * tileRowBytes;
    const double bandBytes = double(bandRowBytes) * l.tileHeight * double(planes.size());
    if (tileBytes < tileRowBytes * l.tileHeight || bandBytes > double(decodeLimit()) ||
        double(tileBytes) > double(decodeLimit()))
        return fail(QStringLiteral("TIFF: unexpected tile size"));
    std::vector<uchar> tile(static_cast<size_t>(tileBytes));
    // One band of tile rows a plane, each made in place (filling the vector
    // from one band would hold a copy more while it is made).
    std::vector<std::vector<uchar>> bands(planes.size());
    for (auto& band : bands) band.resize(static_cast<size_t>(bandRowBytes) * l.tileHeight);
    std::vector<const uchar*> rows(planes.size());
    const uint32_t height = uint32_t(l.stored.height());
    for (uint32_t top = 0; top < height; top += l.tileHeight) {
        for (size_t i = 0; i < planes.size(); ++i) {
            for (uint64_t column = 0; column < across; ++column) {
                const uint32_t left = uint32_t(column * l.tileWidth);
                if (TIFFReadTile(tif, tile.data(), left, top, 0,
                                 uint16_t(l.planar ? planes[i] : 0)) < 0)
                    return open.failure("damaged tiles");
                for (uint32_t r = 0; r < l.tileHeight; ++r)
                    std::memcpy(bands[i].data() + r * bandRowBytes + column * tileRowBytes,
                                tile.data() + r * tileRowBytes, size_t(tileRowBytes));
            }
        }
        const uint32_t count = std::min<uint32_t>(l.tileHeight, height - top);
        for (uint32_t r = 0; r < count; ++r) {
            for (size_t i = 0; i < planes.size(); ++i) rows[i] = bands[i].data() + r * bandRowBytes;
            push(rows.data());
        }
    }
    return {};
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
    const TiffLayout layout = describe(tif);
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
        // Planes stored apart in strips are read through a handle each.
        if (layout.planar) info.handles = int(tiffPlanesRead(layout).size());
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
    return ((1 << 20) + info.pieceBytes + info.rawBytes) * info.handles + info.bandBytes +
           2 * stored + SrgbRowScaler::bytesHeld(info.displayed, target, true);
}

Expected<QImage> decodeTiffScaled(const PictureFile& file, QSize target) {
    if (target.width() < 1 || target.height() < 1 || exceedsDecodeLimit(target))
        return fail(QStringLiteral("TIFF: target size out of range"));
    auto open = openTiff(file);
    if (!open) return unexpected(open.error());
    const TiffLayout l = describe(open->tif.get());
    if (!l.streamable) return fail(QStringLiteral("TIFF: layout not read by strips"));
    if (l.stored.width() < 1 || l.stored.height() < 1)
        return fail(QStringLiteral("TIFF: picture size out of range"));

    const bool cmyk = l.photometric == PHOTOMETRIC_SEPARATED;
    const SrgbConversionPtr conversion = SrgbConversion::fromIcc(l.icc, modelOf(l));
    const QSize storedTarget = orientationSwapsSides(l.orientation) ? target.transposed() : target;
    SrgbRowScaler scaler(l.stored, storedTarget, cmyk ? nullptr : conversion);
    TiffRowConverter converter(l, l.stored.width(), cmyk ? conversion.get() : nullptr);
    std::vector<uchar> bgrx(size_t(l.stored.width()) * 4);
    const RowPush push = [&](const uchar* const* rows) {
        converter.convert(rows, bgrx.data());
        scaler.pushRow(bgrx.data());
    };
    const Status read = l.tiled    ? readTiles(*open, l, push)
                        : l.planar ? readPlanarStrips(file, *open, l, push)
                                   : readStrips(*open, l, push);
    if (!read) return unexpected(read.error());
    if (scaler.rowsMissing() != 0) return fail(QStringLiteral("TIFF: rows missing"));
    QImage result = scaler.takeResult();
    if (result.isNull()) return fail(QStringLiteral("TIFF: out of memory"));
    return applyOrientation(result, l.orientation);
}

}  // namespace miniskop
