// Broken and hostile picture files for the hostile-input suite, made in the
// test: headers that claim enormous sizes, truncated and random files,
// metafiles with absurd record sizes, and special files named like pictures.
#pragma once

#include <QByteArray>
#include <QString>

namespace miniskop::hostile {

// Random bytes from a fixed seed, so a failure can be reproduced.
QByteArray randomBytes(int size, quint32 seed);

// A PNG whose header claims width x height, with a few bytes of image data.
QByteArray pngClaiming(quint32 width, quint32 height, char colourType = 2);

// `jpeg` (a real JPEG) with its frame header changed to claim width x height.
QByteArray jpegClaiming(const QByteArray& jpeg, quint16 width, quint16 height);

// A little-endian TIFF whose first page claims width x height (8-bit grey,
// one strip of a few bytes).
QByteArray tiffClaiming(quint32 width, quint32 height);

// `heif` (a real HEIF file) with every image extent (ispe box) changed to
// claim width x height.
QByteArray heifClaiming(const QByteArray& heif, quint32 width, quint32 height);

// A GIF with a 1 x 1 image on a logical screen of width x height.
QByteArray gifWithScreen(quint16 width, quint16 height);

// A placeable metafile whose second record claims `recordWords` 16-bit words.
QByteArray metafileWithRecordSize(quint32 recordWords);

// Writes `bytes` to the file whose name is `nameBytes` (raw bytes, not
// necessarily UTF-8) in `folder`. Returns false on failure.
bool writeRawName(const QString& folder, const QByteArray& nameBytes, const QByteArray& bytes);

bool writeFile(const QString& path, const QByteArray& bytes);

}  // namespace miniskop::hostile
