// Writing one thumbnail as a JPEG file: saveThumb copies the picture into a
// cDIBSection and WriteJpegFile hands the buffer's bytes to the encoder record,
// which writes the file whole or not at all. The same thumbnail can be made in
// two steps, so that the encoding happens on a worker thread: encodeThumbJpeg
// gives the bytes saveThumb would write, writeEncodedThumb writes them.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include "Expected.h"
#include "cDIBSection.h"

namespace miniskop {

// The error WriteJpegFile, saveThumb and encodeThumbJpeg raise: always number
// -2147221503 (0x80040001), with a German description: one for an encoder that
// cannot be set up (with its result code appended), "Speichern fehlgeschlagen"
// for a failed write.
struct JpegError {
    static constexpr qint32 kNumber = -2147221503;
    qint32 number = kNumber;
    QString description;
};

using JpegStatus = BasicStatus<JpegError>;

// Encodes `buffer` at `quality` (passed unchanged) into `fileName`.
JpegStatus WriteJpegFile(cDIBSection& buffer, const QString& fileName, qint32 quality);

// Makes a buffer from `picture` and writes it with WriteJpegFile.
JpegStatus saveThumb(const QImage& picture, const QString& fileName, qint32 quality);

// The bytes saveThumb(picture, file, quality) writes to `file`, with its
// failures. Safe to call from any thread: each call sets up its own encoder.
Expected<QByteArray, JpegError> encodeThumbJpeg(const QImage& picture, qint32 quality);

// Writes bytes from encodeThumbJpeg to `fileName` as saveThumb writes its file,
// whole or not at all; a failure says "Speichern fehlgeschlagen: " and the
// system's reason.
Status writeEncodedThumb(const QByteArray& jpeg, const QString& fileName);

}  // namespace miniskop
