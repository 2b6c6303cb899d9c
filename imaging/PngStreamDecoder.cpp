// Row-by-row PNG decoding into the area scaler. See PngStreamDecoder.h.
//
// libpng reports errors by longjmp out of its own calls. Every libpng call
// that may fail is therefore made from one of two small functions that set
// the jump target and hold nothing with a destructor; all state they touch
// lives in a plain struct and in objects owned by their caller.
#include "PngStreamDecoder.h"

#include <png.h>
#include <unistd.h>

#include <QRgb>
#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "AreaScaler.h"

namespace miniskop {

namespace {

// Rows wider than this (at 8 bytes a pixel, the widest PNG sample layout)
// are refused before anything is allocated.
constexpr size_t kMaxRowBytes = size_t(256) << 20;
constexpr size_t kReadChunk = size_t(64) << 10;

// Where the compressed bytes come from: a descriptor read through a small
// buffer, or memory.
struct PngInput {
    int fd = -1;
    const uchar* bytes = nullptr;
    size_t size = 0;          // memory: total bytes
    size_t position = 0;      // next byte to hand over (file or memory offset)
    uchar* buffer = nullptr;  // file: read-ahead buffer of kReadChunk bytes
    size_t buffered = 0;      // bytes valid in buffer
    size_t bufferStart = 0;   // file offset of buffer[0]
};

// Shared by the callbacks and the two guarded steps. Plain data only.
struct PngJob {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngInput input;
    char message[160] = {};
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int interlace = 0;
    bool hasAlpha = false;
    bool hasExif = false;
    bool tooWide = false;
    size_t rowBytes = 0;
};

void onError(png_structp png, png_const_charp message) {
    auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
    std::snprintf(job->message, sizeof job->message, "%s", message ? message : "error");
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// Copies up to `length` bytes at the input's position; returns how many.
size_t fetch(PngInput& in, uchar* out, size_t length) {
    if (in.fd < 0) {
        const size_t n = std::min(length, in.size - std::min(in.position, in.size));
        if (n > 0) std::memcpy(out, in.bytes + in.position, n);
        in.position += n;
        return n;
    }
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
        ssize_t n = 0;
        do {
            n = ::pread(in.fd, in.buffer, kReadChunk, off_t(in.position));
        } while (n < 0 && errno == EINTR);
        if (n <= 0) break;
        in.bufferStart = in.position;
        in.buffered = size_t(n);
    }
    return got;
}

void onRead(png_structp png, png_bytep out, size_t length) {
    auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
    if (fetch(job->input, out, length) < length) png_error(png, "file ends early");
}

// Reads the header and sets up the conversion of every layout to 8-bit
// blue, green, red, alpha (or filler) rows. False when libpng failed.
bool readHeader(PngJob* job) {
    if (setjmp(png_jmpbuf(job->png))) return false;
    png_structp png = job->png;
    png_infop info = job->info;
    png_read_info(png, info);
    int bitDepth = 0, colourType = 0;
    png_get_IHDR(png, info, &job->width, &job->height, &bitDepth, &colourType, &job->interlace,
                 nullptr, nullptr);
    job->hasExif = png_get_valid(png, info, PNG_INFO_eXIf) != 0;
    job->hasAlpha =
        (colourType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (size_t(job->width) > kMaxRowBytes / 8) {
        job->tooWide = true;
        return true;
    }
    if (job->interlace != PNG_INTERLACE_NONE || job->hasExif) return true;
    png_set_expand(png);  // palette to RGB, grey below 8 bits to 8, tRNS to alpha
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_filler(png, 0xff, PNG_FILLER_AFTER);  // only where there is no alpha
    png_read_update_info(png, info);
    job->rowBytes = png_get_rowbytes(png, info);
    return true;
}

// Premultiplies like Qt's conversion, then lays the pixel on white: a
// premultiplied channel c with alpha a becomes c + (255 - a).
void layOnWhite(uchar* bgra, png_uint_32 width) {
    for (png_uint_32 x = 0; x < width; ++x, bgra += 4) {
        if (bgra[3] == 255) continue;  // opaque: nothing to lay
        const QRgb p = qPremultiply(qRgba(bgra[2], bgra[1], bgra[0], bgra[3]));
        const int rest = 255 - qAlpha(p);
        bgra[0] = uchar(std::min(qBlue(p) + rest, 255));
        bgra[1] = uchar(std::min(qGreen(p) + rest, 255));
        bgra[2] = uchar(std::min(qRed(p) + rest, 255));
        bgra[3] = 255;
    }
}

// Decodes every row into `row` and feeds it to `scaler`. False when libpng
// failed.
bool readRows(PngJob* job, AreaScaler* scaler, uchar* row) {
    if (setjmp(png_jmpbuf(job->png))) return false;
    for (png_uint_32 y = 0; y < job->height; ++y) {
        png_read_row(job->png, row, nullptr);
        if (job->hasAlpha) layOnWhite(row, job->width);
        scaler->pushRow(row);
    }
    return true;
}

// Owns libpng's structures for one decoding.
class PngReader {
public:
    PngReader() {
        job_.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job_, onError, onWarning);
        if (job_.png) job_.info = png_create_info_struct(job_.png);
    }
    ~PngReader() {
        if (job_.png) png_destroy_read_struct(&job_.png, job_.info ? &job_.info : nullptr, nullptr);
    }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    PngJob& job() { return job_; }
    bool ready() const { return job_.png && job_.info; }

private:
    PngJob job_;
};

Expected<std::optional<QImage>> decode(const PngInput& input, QSize target) {
    if (target.width() < 1 || target.height() < 1)
        return fail(QStringLiteral("PNG: target size out of range"));
    PngReader reader;
    if (!reader.ready()) return fail(QStringLiteral("PNG: out of memory"));
    PngJob& job = reader.job();
    job.input = input;
    std::vector<uchar> buffer(input.fd >= 0 ? kReadChunk : 0);
    job.input.buffer = buffer.data();
    // Our own checks below take the place of libpng's default size limits.
    png_set_user_limits(job.png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_read_fn(job.png, &job, onRead);
    // Each chunk's CRC already guards the compressed bytes; zlib's second
    // checksum over the inflated data costs several percent for nothing more.
    png_set_option(job.png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);

    const auto failed = [&job] {
        return fail(QStringLiteral("PNG: %1").arg(QString::fromLatin1(job.message)));
    };
    if (!readHeader(&job)) return failed();
    if (job.tooWide) return fail(QStringLiteral("PNG: picture too wide"));
    if (job.interlace != PNG_INTERLACE_NONE || job.hasExif) return std::optional<QImage>();
    if (job.rowBytes != size_t(job.width) * 4)
        return fail(QStringLiteral("PNG: unexpected row layout"));

    std::vector<uchar> row(job.rowBytes);
    AreaScaler scaler(QSize(int(job.width), int(job.height)), target);
    if (!readRows(&job, &scaler, row.data())) return failed();
    QImage result = scaler.takeResult();
    if (result.isNull()) return fail(QStringLiteral("PNG: out of memory"));
    return std::optional<QImage>(std::move(result));
}

}  // namespace

bool looksLikePng(const QByteArray& head) {
    return head.size() >= 8 &&
           png_sig_cmp(reinterpret_cast<png_const_bytep>(head.constData()), 0, 8) == 0;
}

Status checkPngHeader(int fd) {
    PngReader reader;
    if (!reader.ready()) return fail(QStringLiteral("PNG: out of memory"));
    PngJob& job = reader.job();
    job.input.fd = fd;
    std::vector<uchar> buffer(kReadChunk);
    job.input.buffer = buffer.data();
    png_set_user_limits(job.png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_read_fn(job.png, &job, onRead);
    if (!readHeader(&job))
        return fail(QStringLiteral("PNG: %1").arg(QString::fromLatin1(job.message)));
    return {};
}

Expected<std::optional<QImage>> decodePngScaled(int fd, QSize target) {
    if (fd < 0) return fail(QStringLiteral("PNG: no file"));
    PngInput input;
    input.fd = fd;
    return decode(input, target);
}

Expected<std::optional<QImage>> decodePngScaled(const QByteArray& bytes, QSize target) {
    PngInput input;
    input.bytes = reinterpret_cast<const uchar*>(bytes.constData());
    input.size = size_t(bytes.size());
    return decode(input, target);
}

}  // namespace miniskop
