// Times the two ways of reading TIFF pictures into a thumbnail, on one core:
// libtiff by strips and tiles into the area scaler (the program's way) and
// Qt's TIFF reader (the image whole, then the area scaler). Best of RUNS
// passes over all files; also prints the PSNR between the two results.
// Usage: tiff-decoders RUNS SIZE FILE...
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "AreaScaler.h"
#include "PictureFile.h"
#include "QtDecoder.h"
#include "ThumbnailSize.h"
#include "TiffDecoder.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: tiff-decoders RUNS SIZE FILE...\n");
        return 2;
    }
    const int runs = std::max(1, std::atoi(argv[1]));
    const float bound = std::strtof(argv[2], nullptr);
    double best[2] = {0, 0}, worstPsnr = 99, pixels = 0;
    for (int r = 0; r < runs; ++r) {
        double took[2] = {0, 0};
        for (int i = 3; i < argc; ++i) {
            auto file = miniskop::PictureFile::open(QString::fromLocal8Bit(argv[i]));
            if (!file) continue;
            auto info = miniskop::readTiffInfo(*file);
            if (!info || !info->streamable) continue;
            const QSize natural = info->displayed;
            const auto target = miniskop::thumbnailSize(float(natural.width()),
                                                        float(natural.height()), bound, false);
            if (r == 0) pixels += double(natural.width()) * natural.height();
            QElapsedTimer t;
            t.start();
            auto strips = miniskop::decodeTiffScaled(*file, *target);
            took[0] += t.nsecsElapsed() / 1e9;
            t.start();
            auto qtInfo = miniskop::readQtInfo(*file);
            auto whole = qtInfo
                             ? miniskop::decodeQt(*file, *qtInfo, (*target * 2).boundedTo(natural))
                             : miniskop::Expected<QImage>(miniskop::unexpected(qtInfo.error()));
            const QImage qt = whole ? miniskop::AreaScaler::scale(*whole, *target) : QImage();
            took[1] += t.nsecsElapsed() / 1e9;
            if (!strips || qt.isNull()) {
                std::fprintf(stderr, "%s: %s\n", argv[i], strips ? "Qt failed" : "libtiff failed");
                continue;
            }
            double squares = 0;
            for (int y = 0; y < qt.height(); ++y)
                for (int x = 0; x < qt.width(); ++x) {
                    const QRgb a = strips->pixel(x, y), b = qt.pixel(x, y);
                    for (int d : {qRed(a) - qRed(b), qGreen(a) - qGreen(b), qBlue(a) - qBlue(b)})
                        squares += double(d) * d;
                }
            const double mse = squares / (3.0 * qt.width() * qt.height());
            worstPsnr = std::min(worstPsnr, mse == 0 ? 99.0 : 10 * std::log10(65025.0 / mse));
        }
        for (int k = 0; k < 2; ++k)
            if (r == 0 || took[k] < best[k]) best[k] = took[k];
    }
    std::printf("%.0f megapixels, one core, best of %d\n", pixels / 1e6, runs);
    std::printf("%-28s %7.2f s %8.1f megapixels/s\n", "libtiff by strips and tiles", best[0],
                pixels / 1e6 / best[0]);
    std::printf("%-28s %7.2f s %8.1f megapixels/s\n", "Qt's TIFF reader, whole", best[1],
                pixels / 1e6 / best[1]);
    std::printf("lowest PSNR between the two thumbnails: %.1f dB\n", worstPsnr);
    return 0;
}
