// The program's LoadPicture: tells a picture file's kind by its first bytes
// (never by its name), then hands it to the JPEG, metafile or Qt decoder.
// The file is opened once, without blocking, and must be a regular file; the
// decoders then read that very file through its descriptor, so a name that is
// swapped for a FIFO, a device or a folder after the check cannot make them
// wait or read something else.
#include "PictureSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "AreaScaler.h"
#include "ExifOrientation.h"
#include "JpegDecoder.h"
#include "PngStreamDecoder.h"
#include "QtPictureDecoder.h"
#include "WebpScaledDecoder.h"
#include "WmfDecoder.h"

namespace miniskop {

struct PictureSource::Impl {
    enum class Kind { Jpeg, Metafile, Other };
    Kind kind = Kind::Other;
    QString path;
    int fd = -1;           // the opened regular file, held while the source lives
    QString readPath;      // the name the decoders open: the descriptor's own
    QSize natural;         // as displayed
    int orientation = 1;   // JPEG: EXIF orientation of the stored pixels
    QImage decoded;        // Other: kept when the size was learnt by decoding
    bool streams = false;  // Other: PNG or WebP, decoded row by row to the target

    Impl() = default;
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    ~Impl() {
        if (fd >= 0) ::close(fd);
    }

    // Decoder messages name the file as the user knows it.
    Failure named(Failure failure) const {
        if (readPath != path) failure.message.replace(readPath, path);
        return failure;
    }
};

namespace {

bool tooLarge(QSize size) {
    return double(size.width()) * double(size.height()) * 4.0 > double(kMaxDecodedBytes);
}

// Collects decoded JPEG rows into an image.
class ImageSink : public JpegRowSink {
public:
    bool begin(QSize decoded) override {
        image_ = QImage(decoded, QImage::Format_RGB32);
        return !image_.isNull();
    }
    void row(const unsigned char* bgrx) override {
        if (next_ < image_.height())
            std::memcpy(image_.scanLine(next_++), bgrx, size_t(image_.width()) * 4);
    }
    bool complete() const { return !image_.isNull() && next_ == image_.height(); }
    QImage take() { return std::move(image_); }

private:
    QImage image_;
    int next_ = 0;
};

// Scales decoded JPEG rows to the target size as they arrive.
class ScalingSink : public JpegRowSink {
public:
    explicit ScalingSink(QSize target) : target_(target) {}
    bool begin(QSize decoded) override {
        scaler_.emplace(decoded, target_);
        return true;
    }
    void row(const unsigned char* bgrx) override { scaler_->pushRow(bgrx); }
    bool complete() const { return scaler_ && scaler_->rowsMissing() == 0; }
    QImage take() { return scaler_->takeResult(); }

private:
    QSize target_;
    std::optional<AreaScaler> scaler_;
};

// Where the system lets a descriptor be opened again by name (/proc/self/fd),
// the decoders read through it; otherwise by the file's own name, checked
// once more just before.
bool descriptorNamesWork() {
    static const bool works = QDir(QStringLiteral("/proc/self/fd")).exists();
    return works;
}

QString systemReason(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

// Opens `path` for reading without ever waiting: anything but a regular file
// (a FIFO without a writer, a device, a folder) is refused before and after
// opening. Returns the descriptor, or -1 with `why` set.
int openRegularFile(const QString& path, QString& why) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) {
        why = systemReason(errno);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        why = QStringLiteral("not a regular file");
        return -1;
    }
    int fd = -1;
    do {
        fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        why = systemReason(errno);
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        why = QStringLiteral("not a regular file");
        return -1;
    }
    // Without effect on regular files, but nothing later should see it.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

bool isRegularFile(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

// The first bytes of the file, read from its start.
QByteArray readHead(int fd, int size) {
    QByteArray head(size, Qt::Uninitialized);
    qsizetype got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, head.data() + got, size_t(size - got), off_t(got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += n;
    }
    head.truncate(got);
    return head;
}

// PNG and still WebP files are scaled as they decode, so the full-size
// picture is never held. std::nullopt: another kind of file, or one these
// decoders leave to Qt (interlaced PNG, animated WebP, an EXIF block).
Expected<std::optional<QImage>> decodeStreamed(int fd, QSize target) {
    const QByteArray head = readHead(fd, 16);
    if (looksLikePng(head)) return decodePngScaled(fd, target);
    if (looksLikeWebp(head)) return decodeWebpScaled(fd, target);
    return std::optional<QImage>();
}

}  // namespace

PictureSource::PictureSource(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
PictureSource::PictureSource(PictureSource&&) noexcept = default;
PictureSource& PictureSource::operator=(PictureSource&&) noexcept = default;
PictureSource::~PictureSource() = default;

Expected<PictureSource> PictureSource::open(const QString& path) {
    auto impl = std::make_unique<Impl>();
    impl->path = path;
    QString why;
    impl->fd = openRegularFile(path, why);
    if (impl->fd < 0) return fail(QStringLiteral("cannot open: %1").arg(why));
    impl->readPath =
        descriptorNamesWork() ? QStringLiteral("/proc/self/fd/%1").arg(impl->fd) : path;
    const QByteArray head = readHead(impl->fd, 32);
    if (head.isEmpty()) return fail(QStringLiteral("empty file"));

    const QString& from = impl->readPath;
    if (looksLikeJpeg(head)) {
        auto info = readJpegInfo(from);
        if (!info) return unexpected(impl->named(info.error()));
        impl->kind = Impl::Kind::Jpeg;
        impl->orientation = info->orientation;
        impl->natural = orientedSize(info->stored, info->orientation);
    } else if (looksLikeWmf(head)) {
        auto size = readWmfSize(from);
        if (!size) return unexpected(impl->named(size.error()));
        impl->kind = Impl::Kind::Metafile;
        impl->natural = *size;
    } else {
        impl->streams = looksLikePng(head) || looksLikeWebp(head);
        if (looksLikePng(head)) {
            if (Status header = checkPngHeader(impl->fd); !header)
                return unexpected(header.error());
        }
        auto info = readQtPictureInfo(from);
        if (!info) return unexpected(impl->named(info.error()));
        impl->natural = info->displayed;
        impl->decoded = std::move(info->decoded);
    }
    return PictureSource(std::move(impl));
}

QSize PictureSource::naturalSize() const { return impl_->natural; }

Expected<QImage> PictureSource::decode(QSize atLeast) const {
    const Impl& d = *impl_;
    if (d.kind == Impl::Kind::Other && !d.decoded.isNull()) return d.decoded;
    if (d.readPath == d.path && !isRegularFile(d.path))
        return fail(QStringLiteral("cannot open: not a regular file"));
    switch (d.kind) {
        case Impl::Kind::Jpeg: {
            const bool swaps = orientationSwapsSides(d.orientation);
            const QSize want =
                atLeast.isValid() ? (swaps ? atLeast.transposed() : atLeast) : QSize();
            ImageSink sink;
            const Status status = decodeJpeg(d.readPath, want, sink);
            if (!status) return unexpected(d.named(status.error()));
            if (!sink.complete()) return fail(QStringLiteral("JPEG decoding incomplete"));
            return applyOrientation(sink.take(), d.orientation);
        }
        case Impl::Kind::Metafile: {
            auto image = decodeWmf(d.readPath, atLeast);
            if (!image) return unexpected(d.named(image.error()));
            return image;
        }
        case Impl::Kind::Other: {
            auto image = decodeQtPicture(d.readPath, atLeast);
            if (!image) return unexpected(d.named(image.error()));
            return image;
        }
    }
    return fail(QStringLiteral("unknown picture kind"));
}

qint64 PictureSource::decodeBytes(QSize target) const {
    const Impl& d = *impl_;
    const auto area = [](QSize s) {
        return qint64(std::max(s.width(), 0)) * std::max(s.height(), 0);
    };
    const qint64 result = area(target) * 4;
    switch (d.kind) {
        case Impl::Kind::Jpeg:
            // Rows go straight into the scaler, but a progressive file keeps
            // every coefficient of the full picture: about two bytes a pixel.
            return area(d.natural) * 2 + result;
        case Impl::Kind::Metafile:
            // Drawn at twice the target at most, then scaled down.
            return area((target * 2).boundedTo(d.natural)) * 4 + result;
        case Impl::Kind::Other:
            if (d.streams) return result + qint64(std::max(d.natural.width(), 0)) * 8;
            // Read whole, then turned into 32-bit pixels: up to two copies.
            return area(d.natural) * 8 + result;
    }
    return area(d.natural) * 8;
}

Expected<QImage> PictureSource::decodeScaledTo(QSize target) const {
    if (target.width() < 1 || target.height() < 1 || tooLarge(target))
        return fail(QStringLiteral("thumbnail size out of range"));
    const Impl& d = *impl_;
    // Reduced decoding keeps at least twice the target size, so the final
    // area average still has several pixels to work with (a reduced decode
    // just above the target would leave a visibly softer, blockier result).
    const QSize reduceTo = (target * 2).boundedTo(d.natural);
    if (d.kind == Impl::Kind::Jpeg) {
        if (d.readPath == d.path && !isRegularFile(d.path))
            return fail(QStringLiteral("cannot open: not a regular file"));
        const bool swaps = orientationSwapsSides(d.orientation);
        ScalingSink sink(swaps ? target.transposed() : target);
        const Status status =
            decodeJpeg(d.readPath, swaps ? reduceTo.transposed() : reduceTo, sink);
        if (!status) return unexpected(d.named(status.error()));
        if (!sink.complete()) return fail(QStringLiteral("JPEG decoding incomplete"));
        return applyOrientation(sink.take(), d.orientation);
    }
    if (d.kind == Impl::Kind::Other && d.decoded.isNull()) {
        auto streamed = decodeStreamed(d.fd, target);
        if (!streamed) return unexpected(streamed.error());
        if (*streamed) return std::move(**streamed);
    }
    auto image = decode(reduceTo);
    if (!image) return image;
    QImage scaled = AreaScaler::scale(*image, target);
    if (scaled.isNull()) return fail(QStringLiteral("cannot scale picture"));
    return scaled;
}

}  // namespace miniskop
