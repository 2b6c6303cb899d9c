// The thumbnail naming rule. See ThumbNaming.h.
#include "ThumbNaming.h"

#include "FileNames.h"

namespace miniskop {

QString trimBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' ')) ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' ')) --end;
    return text.mid(begin, end - begin);
}

QString thumbnailFolder(const QString& pictureFolder, const ThumbSettings& settings) {
    // No separator after the folder name: the names built on it add one. An
    // empty name leaves the picture folder itself (with its closing separator).
    return withClosingSeparator(pictureFolder) + trimBlanks(settings.nameOrdner);
}

QString versionTag(const QString& entry, const QString& previousBaseName) {
    if (Dateiname_ohne_Extension(entry) != previousBaseName) return QString();
    return QLatin1Char('[') + NurExt(entry).mid(1) + QStringLiteral("-Version]");
}

QString thumbnailStem(const QString& entry, const QString& tag, const ThumbSettings& settings) {
    const QString base = Dateiname_ohne_Extension(entry);
    if (settings.optE) return trimBlanks(settings.zusatzAnfang) + base + tag;
    return base + tag + trimBlanks(settings.zusatzEnde);
}

QString inThumbnailFolder(const QString& thumbFolder, const QString& name) {
    return withClosingSeparator(thumbFolder) + name;
}

QString thumbnailJpegPathForStem(const QString& thumbFolder, const QString& stem) {
    return inThumbnailFolder(thumbFolder, stem + QStringLiteral(".jpg"));
}

}  // namespace miniskop
