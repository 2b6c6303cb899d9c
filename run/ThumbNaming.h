// How the run names what it writes: thumbnail folder, affix before or after the
// picture's base name, the version tag for pictures sharing a base name, ".jpg".
#pragma once

#include <QString>

#include "ThumbSettings.h"

namespace miniskop {

// `text` without leading and trailing blanks (spaces only; other characters,
// tabs included, stay).
QString trimBlanks(const QString& text);

// Picture folder (with or without closing separator) + nameOrdner, trimmed.
QString thumbnailFolder(const QString& pictureFolder, const ThumbSettings& settings);

// "" or "[<extension without dot>-Version]" when `baseName` equals the base name
// of the entry before it (exact, case-sensitive).
QString versionTag(const QString& entry, const QString& previousBaseName);

// Affix + base name + tag (prefix mode) or base name + tag + affix (suffix mode).
QString thumbnailStem(const QString& entry, const QString& tag, const ThumbSettings& settings);

// `name` inside `thumbFolder`: one separator between them, also when the
// folder is the picture folder itself and already ends with one.
QString inThumbnailFolder(const QString& thumbFolder, const QString& name);

// `thumbFolder` + separator + `stem` + ".jpg".
QString thumbnailJpegPathForStem(const QString& thumbFolder, const QString& stem);

}  // namespace miniskop
