// Fuzz body for picture loading: the input becomes a picture file (written once
// per input to a scratch file, in memory where the system offers /dev/shm) and
// goes through the same front the run uses: open, decode at least 120 x 120,
// and the whole thumbnail step. A decoded picture must be a real image of a
// sane size, and a thumbnail exactly the size the size rule gives.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "FuzzBodies.h"
#include "PictureSource.h"
#include "ThumbnailCanvas.h"
#include "ThumbnailSize.h"
#include "WmfDecoder.h"

namespace miniskop::fuzz {
namespace {

QString scratchPicture() {
    static QTemporaryDir dir(QDir("/dev/shm").exists()
                                 ? QStringLiteral("/dev/shm/miniskop-fuzz-XXXXXX")
                                 : QDir::tempPath() + "/miniskop-fuzz-XXXXXX");
    return dir.filePath(QStringLiteral("bild"));
}

bool isMetafile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && looksLikeWmf(file.read(32));
}

QString sizeText(QSize s) { return QStringLiteral("%1x%2").arg(s.width()).arg(s.height()); }

// Raster pictures of more pixels than this are opened but not decoded.
// Decoding them is sound but slow (hundreds of megabytes under the sanitizers)
// and would take the fuzzer's time away from the parsers; the hostile-input
// suite decodes large and oversized pictures on purpose. Metafiles are drawn
// at the reduced size whatever their natural size, so they are always decoded.
constexpr qint64 kMaxDecodedPixels = qint64(1) << 22;

}  // namespace

void fuzzPictureFile(const QString& path) {
    Expected<PictureSource> source = PictureSource::open(path);
    if (!source) return;
    const QSize natural = source->naturalSize();
    check(natural.width() >= 1 && natural.height() >= 1,
          "opened picture without area: " + sizeText(natural));
    if (qint64(natural.width()) * natural.height() > kMaxDecodedPixels && !isMetafile(path)) return;

    const QSize want(120, 120);
    const Expected<QImage> decoded = source->decode(want);
    if (decoded) {
        const QImage& image = *decoded;
        check(!image.isNull(), "decode succeeded with a null image");
        check(image.format() == QImage::Format_RGB32, "decoded image not RGB32");
        check(image.width() <= natural.width() && image.height() <= natural.height(),
              "decoded " + sizeText(image.size()) + " larger than natural " + sizeText(natural));
        check(image.width() >= qMin(want.width(), natural.width()) &&
                  image.height() >= qMin(want.height(), natural.height()),
              "decoded " + sizeText(image.size()) + " below the requested size, natural " +
                  sizeText(natural));
    }

    ThumbnailCanvas canvas;
    if (canvas.resize(path, 120.0f, false)) {
        const QSize thumbNatural(canvas.picSource.width, canvas.picSource.height);
        const QSize thumbSize = canvas.picThumb.image.size();
        const Expected<QSize> expected =
            thumbnailSize(float(thumbNatural.width()), float(thumbNatural.height()), 120.0f, false);
        check(expected.has_value() && thumbSize == *expected,
              "thumbnail " + sizeText(thumbSize) + " for natural " + sizeText(thumbNatural));
    }
}

void fuzzPicture(const uint8_t* data, size_t size) {
    const QString path = scratchPicture();
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    fuzzPictureFile(path);
}

}  // namespace miniskop::fuzz
