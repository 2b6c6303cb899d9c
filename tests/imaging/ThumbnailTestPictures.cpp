// Test picture generation and comparison. See ThumbnailTestPictures.h.
#include "ThumbnailTestPictures.h"

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <random>
#include <vector>

// clang-format off
#include <jpeglib.h>
// clang-format on

namespace miniskop::testpics {

QImage photoLike(int width, int height, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 6.0);
    QImage image(width, height, QImage::Format_RGB32);
    const double cx = width * 0.6, cy = height * 0.4, radius = std::min(width, height) * 0.25;
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double u = double(x) / width, v = double(y) / height;
            double r = 60 + 150 * u, g = 40 + 160 * v, b = 120 + 80 * std::sin(6.0 * u + 3.0 * v);
            if (x > width / 8 && x < width / 3 && y > height / 2 && y < height * 7 / 8) {
                r = 230, g = 220, b = 30;  // a hard-edged block
            }
            if (std::hypot(x - cx, y - cy) < radius) r = 20, g = 30, b = 90;  // a disc
            auto px = [&](double c) {
                return std::clamp(int(std::lround(c + noise(rng))), 0, 255);
            };
            line[x] = qRgb(px(r), px(g), px(b));
        }
    }
    return image;
}

QImage plain(int width, int height, QRgb colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

namespace {

struct WriterError {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

extern "C" void writerErrorExit(j_common_ptr cinfo) {
    longjmp(reinterpret_cast<WriterError*>(cinfo->err)->jump, 1);
}

// Pixel rows already converted to the input colour space of the encoder.
bool encode(FILE* file, jpeg_compress_struct* cinfo, WriterError* err, const JpegOptions* o,
            const unsigned char* rows, int width, int height, int components) {
    cinfo->err = jpeg_std_error(&err->pub);
    err->pub.error_exit = writerErrorExit;
    if (setjmp(err->jump)) return false;
    jpeg_create_compress(cinfo);
    jpeg_stdio_dest(cinfo, file);
    cinfo->image_width = JDIMENSION(width);
    cinfo->image_height = JDIMENSION(height);
    cinfo->input_components = components;
    cinfo->in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(cinfo);
    if (o->kind == JpegKind::Ycck) jpeg_set_colorspace(cinfo, JCS_YCCK);
    jpeg_set_quality(cinfo, o->quality, TRUE);
    if (o->fullChroma) cinfo->comp_info[0].h_samp_factor = cinfo->comp_info[0].v_samp_factor = 1;
    if (o->progressive) jpeg_simple_progression(cinfo);
    jpeg_start_compress(cinfo, TRUE);
    if (!o->app1.isEmpty())
        jpeg_write_marker(cinfo, JPEG_APP0 + 1,
                          reinterpret_cast<const JOCTET*>(o->app1.constData()),
                          unsigned(o->app1.size()));
    while (cinfo->next_scanline < cinfo->image_height) {
        JSAMPROW row =
            const_cast<JSAMPROW>(rows + size_t(cinfo->next_scanline) * width * components);
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

struct Transcoder {
    jpeg_decompress_struct in;
    jpeg_compress_struct out;
    WriterError inErr;
    WriterError outErr;
};

// Lossless re-encoding: the quantised coefficients are copied as they are.
bool transcode(FILE* from, FILE* to, Transcoder* t, bool progressive) {
    t->in.err = jpeg_std_error(&t->inErr.pub);
    t->inErr.pub.error_exit = writerErrorExit;
    t->out.err = jpeg_std_error(&t->outErr.pub);
    t->outErr.pub.error_exit = writerErrorExit;
    if (setjmp(t->inErr.jump)) return false;
    if (setjmp(t->outErr.jump)) return false;
    jpeg_create_decompress(&t->in);
    jpeg_create_compress(&t->out);
    jpeg_stdio_src(&t->in, from);
    jpeg_read_header(&t->in, TRUE);
    jvirt_barray_ptr* coefficients = jpeg_read_coefficients(&t->in);
    jpeg_copy_critical_parameters(&t->in, &t->out);
    if (progressive) jpeg_simple_progression(&t->out);
    jpeg_stdio_dest(&t->out, to);
    jpeg_write_coefficients(&t->out, coefficients);
    jpeg_finish_compress(&t->out);
    jpeg_finish_decompress(&t->in);
    return true;
}

}  // namespace

bool transcodeJpeg(const QString& from, const QString& to, bool progressive) {
    FILE* in = std::fopen(QFile::encodeName(from).constData(), "rb");
    if (in == nullptr) return false;
    FILE* out = std::fopen(QFile::encodeName(to).constData(), "wb");
    if (out == nullptr) {
        std::fclose(in);
        return false;
    }
    Transcoder t{};
    const bool ok = transcode(in, out, &t, progressive);
    jpeg_destroy_compress(&t.out);
    jpeg_destroy_decompress(&t.in);
    std::fclose(out);
    std::fclose(in);
    return ok;
}

bool writeJpeg(const QString& path, const QImage& source, const JpegOptions& options) {
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    const int components = options.kind == JpegKind::Grey     ? 1
                           : options.kind == JpegKind::Colour ? 3
                                                              : 4;
    std::vector<unsigned char> rows(size_t(image.width()) * image.height() * components);
    unsigned char* out = rows.data();
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int r = qRed(line[x]), g = qGreen(line[x]), b = qBlue(line[x]);
            if (components == 1) {
                *out++ = (unsigned char)qGray(line[x]);
            } else if (components == 3) {
                *out++ = (unsigned char)r, *out++ = (unsigned char)g, *out++ = (unsigned char)b;
            } else {
                // Inverted CMYK: K' = max, C' = R * 255 / max, so R = C' * K' / 255.
                const int k = std::max({r, g, b});
                auto ink = [k](int c) {
                    return (unsigned char)(k == 0 ? 0 : (c * 255 + k / 2) / k);
                };
                *out++ = ink(r), *out++ = ink(g), *out++ = ink(b), *out++ = (unsigned char)k;
            }
        }
    }
    FILE* file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (file == nullptr) return false;
    jpeg_compress_struct cinfo{};
    WriterError err;
    const bool ok = encode(file, &cinfo, &err, &options, rows.data(), image.width(), image.height(),
                           components);
    jpeg_destroy_compress(&cinfo);
    std::fclose(file);
    return ok;
}

QByteArray exifWithOrientation(int orientation, bool bigEndian) {
    QByteArray b("Exif\0\0", 6);
    auto u16 = [&](int v) {
        if (bigEndian)
            b.append(char(v >> 8)).append(char(v & 0xff));
        else
            b.append(char(v & 0xff)).append(char(v >> 8));
    };
    auto u32 = [&](unsigned v) {
        if (bigEndian)
            u16(int(v >> 16)), u16(int(v & 0xffff));
        else
            u16(int(v & 0xffff)), u16(int(v >> 16));
    };
    b.append(bigEndian ? "MM" : "II");
    u16(42);
    u32(8);       // first IFD right after the header
    u16(1);       // one entry
    u16(0x0112);  // orientation
    u16(3);       // SHORT
    u32(1);
    u16(orientation);
    u16(0);
    u32(0);  // no next IFD
    return b;
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

Expected<PictureFile> pictureFileOf(const QByteArray& bytes) {
    static QTemporaryDir dir;
    static std::atomic<int> made = 0;
    const QString path = dir.filePath(QStringLiteral("picture-%1").arg(++made));
    if (!writeBytes(path, bytes)) return fail(QStringLiteral("cannot write ") + path);
    auto file = PictureFile::open(path);
    QFile::remove(path);
    return file;
}

QImage referenceAreaAverage(const QImage& source, QSize target) {
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    const double rx = double(image.width()) / target.width();
    const double ry = double(image.height()) / target.height();
    QImage out(target, QImage::Format_RGB32);
    for (int ty = 0; ty < target.height(); ++ty) {
        const double y0 = ty * ry, y1 = (ty + 1) * ry;
        for (int tx = 0; tx < target.width(); ++tx) {
            const double x0 = tx * rx, x1 = (tx + 1) * rx;
            double sum[3] = {0, 0, 0}, area = 0;
            for (int y = int(y0); y < std::min(int(std::ceil(y1)), image.height()); ++y) {
                const double wy = std::min(y1, y + 1.0) - std::max(y0, double(y));
                const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
                for (int x = int(x0); x < std::min(int(std::ceil(x1)), image.width()); ++x) {
                    const double w = wy * (std::min(x1, x + 1.0) - std::max(x0, double(x)));
                    sum[0] += w * qRed(line[x]), sum[1] += w * qGreen(line[x]);
                    sum[2] += w * qBlue(line[x]);
                    area += w;
                }
            }
            out.setPixel(tx, ty,
                         qRgb(int(std::lround(sum[0] / area)), int(std::lround(sum[1] / area)),
                              int(std::lround(sum[2] / area))));
        }
    }
    return out;
}

double psnr(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull()) return 0.0;
    double squares = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)})
                squares += double(d) * d;
        }
    }
    const double mse = squares / (3.0 * a.width() * a.height());
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

int channelDistance(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

}  // namespace miniskop::testpics
