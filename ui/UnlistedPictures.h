// Pictures in the folder that the pattern leaves out: which extensions stand
// for kinds of picture the program reads, the check that files of such a kind
// really are pictures, and the message that names them and the pattern that
// lists them (shown instead of "no pictures here" when the list is empty).
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <atomic>
#include <map>

namespace miniskop {

// Lower-case extensions, without the dot, of the kinds of picture the program
// reads: its own decoders' and those of Qt's image readers.
const QSet<QString>& readablePictureExtensions();

// Keeps of `unlisted` (extension -> names in `folder`) the kinds of which at
// least one file, of the first few tried, opens as a picture; drops the rest.
// Stops trying once `stop` is set.
void keepConfirmedPictures(const QString& folder, std::map<QString, QStringList>& unlisted,
                           const std::atomic<bool>& stop);

// "8 Bilder (heic, png) passen nicht zum Muster – Muster: *.heic;*.png", or the
// empty text when `unlisted` holds no names.
QString unlistedPicturesMessage(const std::map<QString, QStringList>& unlisted);

}  // namespace miniskop
