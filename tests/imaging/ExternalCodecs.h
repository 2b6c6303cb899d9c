// Test pictures in the newer formats, made at test time by the real encoders
// (heif-enc, avifenc, cjxl, ImageMagick, or the libraries' own encoding
// calls where a case needs what the tools cannot set), and reference decodes
// by independent tools.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

namespace miniskop::testcodecs {

// Runs `program` with `args` (at most two minutes). Empty on success,
// otherwise what went wrong, with the program's error output.
QString run(const QString& program, const QStringList& args);

// The Debian packages that bring those of the given programs that are not
// on the PATH; empty when all are there.
QString missingTools(const QStringList& programs);

// `image` laid on white where it is transparent, as the program shows it.
QImage onWhite(const QImage& image);

// A HEIF file (HEVC) of `picture`, carrying `thumbnail` scaled into a
// `box` x `box` square as its embedded thumbnail. Empty on failure.
QByteArray heifWithThumbnail(const QImage& picture, const QImage& thumbnail, int box);

// A lossless JPEG XL file of `stored` whose header gives EXIF orientation
// `orientation`. Empty on failure.
QByteArray jxlWithOrientation(const QImage& stored, int orientation);

// A CMYK profile whose inks are far from ideal (cyan takes green with it,
// black is brown), so a picture shown through it looks clearly different
// from one made of plain ink arithmetic.
QByteArray tintedCmykProfile();

}  // namespace miniskop::testcodecs
