// Times three ways of decoding PNG files row by row into the area scaler, on
// one core: libpng (the decoder before libspng), libspng (the one in use), and
// libdeflate inflating the whole image data at once followed by our own
// unfiltering. Only what the wallpaper sets hold is read: 8-bit RGB and RGBA,
// not interlaced; other files are skipped. Each file is read into memory
// first, so only decoding and scaling are timed. Best of RUNS passes.
// Usage: png-decoders RUNS FILE...
#include <libdeflate.h>
#include <png.h>
#include <spng.h>
#include <zlib.h>

#include <QElapsedTimer>
#include <QFile>
#include <QSize>
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "AreaScaler.h"
#include "PngUnfilter.h"

using miniskop::AreaScaler;

namespace {

struct Picture {
    QByteArray bytes;
    int width = 0, height = 0, channels = 0;  // 3 or 4
};

QSize thumbSize(int w, int h) {
    const double f = std::max(w, h) / 120.0;
    return QSize(std::max(1, int(w / f + 0.5)), std::max(1, int(h / f + 0.5)));
}

void toBgrx(const unsigned char* in, unsigned char* out, int width, int channels) {
    for (int x = 0; x < width; ++x, in += channels, out += 4) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        out[3] = 0xff;
    }
}

// ---- libpng -------------------------------------------------------------------
struct PngSource {
    const QByteArray* bytes;
    size_t at;
};
void pngRead(png_structp png, png_bytep out, size_t n) {
    auto* s = static_cast<PngSource*>(png_get_io_ptr(png));
    if (s->at + n > size_t(s->bytes->size())) png_error(png, "eof");
    std::memcpy(out, s->bytes->constData() + s->at, n);
    s->at += n;
}
bool libpngRows(png_structp png, png_infop info, AreaScaler* scaler, unsigned char* row, int h) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    png_set_bgr(png);
    png_set_filler(png, 0xff, PNG_FILLER_AFTER);
    png_set_strip_alpha(png);
    png_read_update_info(png, info);
    for (int y = 0; y < h; ++y) {
        png_read_row(png, row, nullptr);
        scaler->pushRow(row);
    }
    return true;
}
bool decodeLibpng(const Picture& p) {
    PngSource src{&p.bytes, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_read_fn(png, &src, pngRead);
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
    std::vector<unsigned char> row(size_t(p.width) * 4);
    AreaScaler scaler(QSize(p.width, p.height), thumbSize(p.width, p.height));
    const bool ok = libpngRows(png, info, &scaler, row.data(), p.height);
    png_destroy_read_struct(&png, &info, nullptr);
    return ok && !scaler.takeResult().isNull();
}

// ---- libspng ------------------------------------------------------------------
bool decodeSpng(const Picture& p) {
    spng_ctx* ctx = spng_ctx_new(SPNG_CTX_IGNORE_ADLER32);
    spng_set_png_buffer(ctx, p.bytes.constData(), size_t(p.bytes.size()));
    const int fmt = p.channels == 4 ? SPNG_FMT_RGBA8 : SPNG_FMT_RGB8;
    bool ok = spng_decode_image(ctx, nullptr, 0, fmt, SPNG_DECODE_PROGRESSIVE) == 0;
    std::vector<unsigned char> row(size_t(p.width) * p.channels), bgrx(size_t(p.width) * 4);
    AreaScaler scaler(QSize(p.width, p.height), thumbSize(p.width, p.height));
    int rc = 0;
    while (ok && rc == 0) {
        rc = spng_decode_row(ctx, row.data(), row.size());
        if (rc != 0 && rc != SPNG_EOI) ok = false;
        if (!ok) break;
        toBgrx(row.data(), bgrx.data(), p.width, p.channels);
        scaler.pushRow(bgrx.data());
    }
    spng_ctx_free(ctx);
    return ok && !scaler.takeResult().isNull();
}

// ---- libdeflate + own unfiltering ---------------------------------------------
quint32 be32(const char* p) {
    return (quint32(uchar(p[0])) << 24) | (quint32(uchar(p[1])) << 16) |
           (quint32(uchar(p[2])) << 8) | quint32(uchar(p[3]));
}
bool decodeDeflate(const Picture& p, libdeflate_decompressor* d) {
    QByteArray idat;
    const char* b = p.bytes.constData();
    for (qsizetype at = 8; at + 12 <= p.bytes.size();) {
        const quint32 n = be32(b + at);
        if (std::memcmp(b + at + 4, "IDAT", 4) == 0) idat.append(b + at + 8, qsizetype(n));
        at += 12 + qsizetype(n);
    }
    const size_t stride = size_t(p.width) * p.channels;
    std::vector<unsigned char> raw((stride + 1) * size_t(p.height));
    size_t got = 0;
    if (libdeflate_zlib_decompress(d, idat.constData(), size_t(idat.size()), raw.data(), raw.size(),
                                   &got) != LIBDEFLATE_SUCCESS ||
        got != raw.size())
        return false;
    std::vector<unsigned char> zero(stride, 0), bgrx(size_t(p.width) * 4);
    AreaScaler scaler(QSize(p.width, p.height), thumbSize(p.width, p.height));
    const unsigned char* prior = zero.data();
    for (int y = 0; y < p.height; ++y) {
        unsigned char* row = raw.data() + size_t(y) * (stride + 1);
        if (!miniskop::unfilterPngRow(row[0], row + 1, prior, stride, p.channels)) return false;
        toBgrx(row + 1, bgrx.data(), p.width, p.channels);
        scaler.pushRow(bgrx.data());
        prior = row + 1;
    }
    return !scaler.takeResult().isNull();
}

// ---- zlib streaming + own unfiltering -----------------------------------------
bool decodeZlib(const Picture& p) {
    const size_t stride = size_t(p.width) * p.channels;
    std::vector<unsigned char> rows[2] = {std::vector<unsigned char>(stride + 1, 0),
                                          std::vector<unsigned char>(stride + 1, 0)};
    std::vector<unsigned char> bgrx(size_t(p.width) * 4);
    AreaScaler scaler(QSize(p.width, p.height), thumbSize(p.width, p.height));
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    const char* b = p.bytes.constData();
    qsizetype at = 8;
    int y = 0;
    bool ok = true;
    z.next_out = rows[0].data();
    z.avail_out = uInt(stride + 1);
    while (ok && y < p.height && at + 12 <= p.bytes.size()) {
        const quint32 n = be32(b + at);
        if (std::memcmp(b + at + 4, "IDAT", 4) == 0) {
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(b + at + 8));
            z.avail_in = n;
            while (z.avail_in > 0 && y < p.height) {
                const int rc = inflate(&z, Z_NO_FLUSH);
                if (rc != Z_OK && rc != Z_STREAM_END) {
                    ok = false;
                    break;
                }
                if (z.avail_out == 0) {
                    unsigned char* row = rows[y % 2].data();
                    const unsigned char* prior = rows[(y + 1) % 2].data() + 1;
                    if (!miniskop::unfilterPngRow(row[0], row + 1, prior, stride, p.channels)) {
                        ok = false;
                        break;
                    }
                    toBgrx(row + 1, bgrx.data(), p.width, p.channels);
                    scaler.pushRow(bgrx.data());
                    ++y;
                    z.next_out = rows[y % 2].data();
                    z.avail_out = uInt(stride + 1);
                }
                if (rc == Z_STREAM_END) break;
            }
        }
        at += 12 + qsizetype(n);
    }
    inflateEnd(&z);
    return ok && y == p.height && !scaler.takeResult().isNull();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: png-decoders RUNS FILE...\n");
        return 2;
    }
    const int runs = std::max(1, std::atoi(argv[1]));
    std::vector<Picture> pictures;
    double pixels = 0;
    for (int i = 2; i < argc; ++i) {
        QFile f(QString::fromLocal8Bit(argv[i]));
        if (!f.open(QIODevice::ReadOnly)) continue;
        Picture p;
        p.bytes = f.readAll();
        if (p.bytes.size() < 33 || !p.bytes.startsWith("\x89PNG")) continue;
        const char* h = p.bytes.constData() + 16;
        p.width = int(be32(h));
        p.height = int(be32(h + 4));
        const int depth = uchar(h[8]), type = uchar(h[9]), interlace = uchar(h[12]);
        if (depth != 8 || interlace != 0 || (type != 2 && type != 6)) continue;
        p.channels = type == 6 ? 4 : 3;
        pixels += double(p.width) * p.height;
        pictures.push_back(std::move(p));
    }
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    struct Way {
        const char* name;
        double best;
    } ways[] = {{"libpng", 0}, {"libspng", 0}, {"zlib+own", 0}, {"libdeflate+own", 0}};
    for (int r = 0; r < runs; ++r) {
        for (int w = 0; w < 4; ++w) {
            QElapsedTimer t;
            t.start();
            for (const Picture& p : pictures) {
                const bool ok = w == 0   ? decodeLibpng(p)
                                : w == 1 ? decodeSpng(p)
                                : w == 2 ? decodeZlib(p)
                                         : decodeDeflate(p, d);
                if (!ok) std::fprintf(stderr, "%s failed on a file\n", ways[w].name);
            }
            const double s = t.nsecsElapsed() / 1e9;
            if (r == 0 || s < ways[w].best) ways[w].best = s;
        }
    }
    libdeflate_free_decompressor(d);
    std::printf("%zu PNG files, %.0f megapixels, one core, best of %d\n", pictures.size(),
                pixels / 1e6, runs);
    for (const Way& w : ways)
        std::printf("%-16s %7.2f s %8.1f megapixels/s\n", w.name, w.best, pixels / 1e6 / w.best);
    return 0;
}
