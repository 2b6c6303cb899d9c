// saveThumb and WriteJpegFile: one thumbnail picture into a pixel buffer, the
// buffer's bytes handed in place to the encoder record, the file written whole
// or not at all. Both failures carry the same error number with a German
// description.
#include "JpegWriter.h"

#include <QByteArray>
#include <QFile>

#include "JpegCoreProperties.h"

namespace miniskop {
namespace {

Unexpected<JpegError> jpegError(const QString& description) {
    return unexpected(JpegError{JpegError::kNumber, description});
}

Unexpected<JpegError> saveFailed() { return jpegError(QStringLiteral("Speichern fehlgeschlagen")); }

}  // namespace

Expected<bool, JpegError> WriteJpegFile(cDIBSection& buffer, const QString& fileName,
                                        qint32 quality) {
    JPEG_CORE_PROPERTIES record{};
    const qint32 initResult = jpegInit(&record);
    if (initResult != JR_OK) {
        jpegFree(&record);  // releases whatever a half-done set-up left behind
        return jpegError(QStringLiteral("IJL-Library kann nicht initialisiert werden: ") +
                         QString::number(initResult));
    }

    // A buffer whose Create failed has no pixels; it never reaches the encoder.
    if (!buffer.DIBSectionBitsPtr() || buffer.Width() <= 0 || buffer.Height() <= 0) {
        jpegFree(&record);
        return saveFailed();
    }

    record.DIBWidth = buffer.Width();
    record.DIBHeight = -buffer.Height();  // rows lie bottom-up in the buffer
    record.DIBBytes = buffer.DIBSectionBitsPtr();
    record.DIBPadBytes = buffer.BytesPerScanLine() - 3 * buffer.Width();

    // The name in the system's 8-bit encoding; QByteArray keeps a NUL after the
    // last byte, and an empty name is just that NUL.
    const QByteArray encodedName = QFile::encodeName(fileName);
    record.JPGFile = encodedName.constData();
    record.JPGWidth = buffer.Width();
    record.JPGHeight = buffer.Height();
    record.jquality = quality;

    const qint32 writeResult = jpegWrite(&record, JFILE_WRITEWHOLEIMAGE);
    jpegFree(&record);
    if (writeResult != JR_OK) return saveFailed();
    return true;
}

Expected<bool, JpegError> saveThumb(const QImage& picture, const QString& fileName,
                                    qint32 quality) {
    cDIBSection buffer;
    buffer.CreateFromPicture(picture);
    return WriteJpegFile(buffer, fileName, quality);
}

}  // namespace miniskop
