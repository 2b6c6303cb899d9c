// Writing one thumbnail as a JPEG file: saveThumb copies the picture into a
// cDIBSection and WriteJpegFile hands the buffer's bytes to the encoder.
#pragma once

#include <QImage>
#include <QString>

#include "Expected.h"
#include "cDIBSection.h"

namespace miniskop {

// The error both writing steps raise: always number -2147221503 (0x80040001),
// with a German description: one for an encoder that cannot be set up (with
// its result code appended), "Speichern fehlgeschlagen" for a failed write.
struct JpegError {
    static constexpr qint32 kNumber = -2147221503;
    qint32 number = kNumber;
    QString description;
};

// Encodes `buffer` at `quality` (passed unchanged) into `fileName`. True when
// the file was written; never false: a failure is a JpegError.
Expected<bool, JpegError> WriteJpegFile(cDIBSection& buffer, const QString& fileName,
                                        qint32 quality);

// Makes a buffer from `picture` and writes it with WriteJpegFile.
Expected<bool, JpegError> saveThumb(const QImage& picture, const QString& fileName, qint32 quality);

}  // namespace miniskop
