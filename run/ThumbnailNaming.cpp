// The thumbnail naming rule and the list-order namer. See ThumbnailNaming.h.
#include "ThumbnailNaming.h"

#include <optional>

#include "FileNames.h"
#include "Trimming.h"

namespace miniskop {

QString thumbnailFolder(const QString& pictureFolder, const ThumbSettings& settings) {
    return thumbnailFolder(pictureFolder, trimSpaces(settings.nameOrdner));
}

QString thumbnailFolder(const QString& pictureFolder, const QString& folderName) {
    return withClosingSeparator(pictureFolder) + folderName;
}

QString inThumbnailFolder(const QString& thumbFolder, const QString& name) {
    return withClosingSeparator(thumbFolder) + name;
}

QString versionTag(const QString& entry, const QString& previousBaseName) {
    if (Dateiname_ohne_Extension(entry) != previousBaseName) return QString();
    return QLatin1Char('[') + NurExt(entry).mid(1) + QStringLiteral("-Version]");
}

QString thumbnailStem(const QString& entry, const QString& tag, const ThumbSettings& settings) {
    const QString base = Dateiname_ohne_Extension(entry);
    if (settings.optE) return trimSpaces(settings.zusatzAnfang) + base + tag;
    return base + tag + trimSpaces(settings.zusatzEnde);
}

void ThumbnailNamer::restart() {
    previousBaseName_.clear();
    given_.clear();
    written_.clear();
}

QString ThumbnailNamer::versionTagOf(const QString& entry) const {
    return versionTag(entry, previousBaseName_);
}

void ThumbnailNamer::setPrevious(const QString& entry) {
    previousBaseName_ = Dateiname_ohne_Extension(entry);
}

QString ThumbnailNamer::next(const QString& thumbFolder, const QString& entry,
                             const ThumbSettings& settings) {
    const QString path = assign(thumbFolder, entry, versionTagOf(entry), settings);
    setPrevious(entry);
    return path;
}

bool ThumbnailNamer::taken(const QString& path) const {
    if (given_.contains(path)) return true;
    if (written_.isEmpty()) return false;
    const std::optional<FileIdentity> id = identityOf(path);
    if (!id) return false;
    const auto it = written_.constFind(*id);
    if (it == written_.constEnd()) return false;
    // Another process may have replaced that file since, and the file system
    // given its number to a new one: only a file still at its own path counts.
    return identityOf(it.value()) == id;
}

QString ThumbnailNamer::assign(const QString& thumbFolder, const QString& entry, const QString& tag,
                               const ThumbSettings& settings) {
    const auto pathFor = [&](const QString& t) {
        return inThumbnailFolder(thumbFolder, thumbnailStem(entry, t, settings) + ".jpg");
    };
    QString path = pathFor(tag);
    if (taken(path)) {
        const QString ownTag = versionTag(entry, Dateiname_ohne_Extension(entry));
        path = pathFor(ownTag);
        for (int n = 2; taken(path); ++n) {
            QString numbered = ownTag;
            numbered.insert(ownTag.size() - 1, QLatin1Char('-') + QString::number(n));
            path = pathFor(numbered);
        }
    }
    given_.insert(path);
    return path;
}

void ThumbnailNamer::recordWritten(const QString& path) {
    if (const std::optional<FileIdentity> id = identityOf(path)) written_.insert(*id, path);
}

}  // namespace miniskop
