// How much converting colours at reduced size costs against converting
// first. For each picture with an embedded profile:
//   reduced:   the thumbnail as the program makes it (PictureSource::
//              decodeScaledTo: the profile applied at four times the
//              thumbnail size, after the DCT reduction of a JPEG);
//   first:     the decoder's whole output converted before any area
//              averaging (PictureSource::decode: at the same DCT scale for a
//              JPEG, at full size for the others), then averaged to the same
//              size;
//   reference: REFERENCE-FOLDER/<name>.png, the picture converted to sRGB by
//              another program at full size, area-averaged alike.
// Prints per picture the PSNR of both against the reference in dB, of the
// pixels and of the thumbnails as saved (JPEG, quality 90, 4:4:4 like the
// program's), and the difference of the saved ones.
// Usage: colour-order SIZE REFERENCE-FOLDER PICTURE...
#include <turbojpeg.h>

#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <cmath>
#include <cstdio>

#include "AreaScaler.h"
#include "PictureSource.h"
#include "ThumbnailSize.h"

namespace {

double psnr(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return 0;
    double squares = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* p = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* q = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            for (int d :
                 {qRed(p[x]) - qRed(q[x]), qGreen(p[x]) - qGreen(q[x]), qBlue(p[x]) - qBlue(q[x])})
                squares += double(d) * d;
    }
    const double mse = squares / (3.0 * a.width() * a.height());
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// `image` through a JPEG of quality 90 without chroma subsampling and back.
QImage savedAsJpeg(const QImage& image) {
    tjhandle encoder = tjInitCompress(), decoder = tjInitDecompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    QImage back(image.size(), QImage::Format_RGB32);
    const bool ok =
        tjCompress2(encoder, image.constBits(), image.width(), int(image.bytesPerLine()),
                    image.height(), TJPF_BGRX, &jpeg, &size, TJSAMP_444, 90,
                    TJFLAG_ACCURATEDCT) == 0 &&
        tjDecompress2(decoder, jpeg, size, back.bits(), back.width(), int(back.bytesPerLine()),
                      back.height(), TJPF_BGRX, TJFLAG_ACCURATEDCT) == 0;
    tjFree(jpeg);
    tjDestroy(encoder);
    tjDestroy(decoder);
    return ok ? back : QImage();
}

bool isJpeg(const QString& file) { return file.endsWith(".jpg") || file.endsWith(".jpeg"); }

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: colour-order SIZE REFERENCE-FOLDER PICTURE...\n");
        return 2;
    }
    const float bound = std::strtof(argv[1], nullptr);
    const QString references = QString::fromLocal8Bit(argv[2]);
    int status = 0;
    for (int i = 3; i < argc; ++i) {
        const QString file = QString::fromLocal8Bit(argv[i]);
        const QString name = QFileInfo(file).fileName();
        const QImage full(references + '/' + QFileInfo(file).completeBaseName() + ".png");
        auto source = miniskop::PictureSource::open(file);
        if (!source || full.isNull()) {
            std::fprintf(stderr, "%s: cannot read it or its reference\n", qPrintable(name));
            status = 1;
            continue;
        }
        const QSize natural = source->naturalSize();
        const auto target =
            miniskop::thumbnailSize(float(natural.width()), float(natural.height()), bound, false);
        auto reduced = source->decodeScaledTo(*target);
        auto whole = source->decode(isJpeg(file) ? (*target * 2).boundedTo(natural) : QSize());
        if (!reduced || !whole || full.size() != natural) {
            std::fprintf(stderr, "%s: decoding failed\n", qPrintable(name));
            status = 1;
            continue;
        }
        const QImage reference = miniskop::AreaScaler::scale(full, *target);
        const QImage first = miniskop::AreaScaler::scale(*whole, *target);
        const double a = psnr(*reduced, reference), b = psnr(first, reference);
        const double sa = psnr(savedAsJpeg(*reduced), reference);
        const double sb = psnr(savedAsJpeg(first), reference);
        std::printf("%-40s %8.2f %8.2f %8.2f %8.2f %8.2f\n", qPrintable(name), a, b, sa, sb,
                    sa - sb);
    }
    return status;
}
