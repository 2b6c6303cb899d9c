// The memory the program reckons a thumbnail of each picture will take
// (PictureSource::decodeBytes, what the decoding budget is asked for), for
// bench/memory-bench.sh to set beside the measured peak.
// Usage: memory-estimate SIZE PICTURE...   prints "BYTES PICTURE" per line,
// "- PICTURE: reason" for a picture that does not open.
#include <QGuiApplication>
#include <cstdio>

#include "PictureSource.h"
#include "ThumbnailSize.h"

int main(int argc, char** argv) {
    QGuiApplication::setAttribute(Qt::AA_PluginApplication);
    if (argc < 3) {
        std::fprintf(stderr, "usage: memory-estimate SIZE PICTURE...\n");
        return 2;
    }
    const float size = std::strtof(argv[1], nullptr);
    int status = 0;
    for (int i = 2; i < argc; ++i) {
        const QString path = QString::fromLocal8Bit(argv[i]);
        auto source = miniskop::PictureSource::open(path);
        if (!source) {
            std::printf("- %s: %s\n", argv[i], qPrintable(source.error().message));
            status = 1;
            continue;
        }
        const QSize natural = source->naturalSize();
        auto target =
            miniskop::thumbnailSize(float(natural.width()), float(natural.height()), size, false);
        if (!target) {
            std::printf("- %s: %s\n", argv[i], qPrintable(target.error().message));
            status = 1;
            continue;
        }
        std::printf("%lld %s\n", static_cast<long long>(source->decodeBytes(*target)), argv[i]);
    }
    return status;
}
