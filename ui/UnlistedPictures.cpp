// Pictures the pattern leaves out. A kind is told by the extension first (the
// listing collects those names for free) and then confirmed by opening a few
// of its files with the program's own picture reader, which tells a file by
// its content: a folder of text files named *.png names no pictures.
#include "UnlistedPictures.h"

#include <QDir>
#include <QImageReader>

#include "PictureSource.h"

namespace miniskop {
namespace {

// Files of one kind tried before the kind is given up.
constexpr int kTriesPerKind = 3;

}  // namespace

const QSet<QString>& readablePictureExtensions() {
    static const QSet<QString> extensions = [] {
        // The program's own decoders.
        QSet<QString> set = {
            QStringLiteral("jpg"),  QStringLiteral("jpeg"), QStringLiteral("jpe"),
            QStringLiteral("jfif"), QStringLiteral("png"),  QStringLiteral("gif"),
            QStringLiteral("bmp"),  QStringLiteral("dib"),  QStringLiteral("webp"),
            QStringLiteral("wmf"),  QStringLiteral("heic"), QStringLiteral("heif"),
            QStringLiteral("hif"),  QStringLiteral("avif"), QStringLiteral("jxl"),
            QStringLiteral("tif"),  QStringLiteral("tiff"),
        };
        // Whatever else Qt's image readers know.
        for (const QByteArray& format : QImageReader::supportedImageFormats()) {
            set.insert(QString::fromLatin1(format).toLower());
        }
        return set;
    }();
    return extensions;
}

void keepConfirmedPictures(const QString& folder, std::map<QString, QStringList>& unlisted,
                           const std::atomic<bool>& stop) {
    const QDir dir(folder);
    for (auto it = unlisted.begin(); it != unlisted.end();) {
        bool confirmed = false;
        const QStringList& names = it->second;
        for (int i = 0; i < names.size() && i < kTriesPerKind && !confirmed; ++i) {
            if (stop.load()) return;
            confirmed = PictureSource::open(dir.filePath(names[i])).has_value();
        }
        it = confirmed ? std::next(it) : unlisted.erase(it);
    }
}

QString unlistedPicturesMessage(const std::map<QString, QStringList>& unlisted) {
    qsizetype count = 0;
    QStringList kinds;
    QStringList pattern;
    for (const auto& [extension, names] : unlisted) {
        if (names.isEmpty()) continue;
        count += names.size();
        kinds.append(extension);
        pattern.append(QStringLiteral("*.") + extension);
    }
    if (count == 0) return {};
    const QString text =
        count == 1 ? QStringLiteral("%1 Bild (%2) passt nicht zum Muster – Muster: %3")
                   : QStringLiteral("%1 Bilder (%2) passen nicht zum Muster – Muster: %3");
    return text.arg(QString::number(count), kinds.join(QStringLiteral(", ")),
                    pattern.join(QLatin1Char(';')));
}

}  // namespace miniskop
