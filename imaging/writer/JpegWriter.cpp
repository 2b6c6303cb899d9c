// saveThumb, WriteJpegFile and the two-step form of the same. See JpegWriter.h.
#include "JpegWriter.h"

#include <QFile>
#include <optional>

#include "JpegCoreProperties.h"

namespace miniskop {
namespace {

Unexpected<JpegError> jpegError(const QString& description) {
    return unexpected(JpegError{JpegError::kNumber, description});
}

Unexpected<JpegError> saveFailed() { return jpegError(QStringLiteral("Speichern fehlgeschlagen")); }

// A record set up by jpegInit that describes `buffer`'s pixels and `quality`,
// released however the caller ends.
class BufferRecord {
public:
    BufferRecord() : initResult_(jpegInit(&record_)) {}
    ~BufferRecord() { jpegFree(&record_); }
    BufferRecord(const BufferRecord&) = delete;
    BufferRecord& operator=(const BufferRecord&) = delete;

    // The failure to raise when the record cannot describe `buffer`: an encoder
    // that could not be set up, or a buffer without pixels (one whose Create
    // failed), which never reaches the encoder.
    std::optional<Unexpected<JpegError>> describe(cDIBSection& buffer, qint32 quality) {
        if (initResult_ != JR_OK)
            return jpegError(QStringLiteral("IJL-Library kann nicht initialisiert werden: ") +
                             QString::number(initResult_));
        if (!buffer.DIBSectionBitsPtr() || buffer.Width() <= 0 || buffer.Height() <= 0)
            return saveFailed();
        record_.DIBWidth = buffer.Width();
        record_.DIBHeight = -buffer.Height();  // rows lie bottom-up in the buffer
        record_.DIBBytes = buffer.DIBSectionBitsPtr();
        record_.DIBPadBytes = buffer.BytesPerScanLine() - 3 * buffer.Width();
        record_.JPGWidth = buffer.Width();
        record_.JPGHeight = buffer.Height();
        record_.jquality = quality;
        return std::nullopt;
    }

    JPEG_CORE_PROPERTIES* get() { return &record_; }

private:
    JPEG_CORE_PROPERTIES record_{};
    qint32 initResult_;
};

}  // namespace

JpegStatus WriteJpegFile(cDIBSection& buffer, const QString& fileName, qint32 quality) {
    BufferRecord record;
    if (auto failure = record.describe(buffer, quality)) return *failure;
    // The name in the system's 8-bit encoding; QByteArray keeps a NUL after the
    // last byte, and an empty name is just that NUL.
    const QByteArray encodedName = QFile::encodeName(fileName);
    record.get()->JPGFile = encodedName.constData();
    if (jpegWrite(record.get(), JFILE_WRITEWHOLEIMAGE) != JR_OK) return saveFailed();
    return {};
}

JpegStatus saveThumb(const QImage& picture, const QString& fileName, qint32 quality) {
    cDIBSection buffer;
    buffer.CreateFromPicture(picture);
    return WriteJpegFile(buffer, fileName, quality);
}

Expected<QByteArray, JpegError> encodeThumbJpeg(const QImage& picture, qint32 quality) {
    cDIBSection buffer;
    buffer.CreateFromPicture(picture);
    BufferRecord record;
    if (auto failure = record.describe(buffer, quality)) return *failure;
    QByteArray bytes;
    if (jpegEncode(record.get(), &bytes) != JR_OK) return saveFailed();
    return bytes;
}

Status writeEncodedThumb(const QByteArray& jpeg, const QString& fileName) {
    const Status written = jpegWriteEncoded(fileName, jpeg);
    if (written) return {};
    return fail(QStringLiteral("Speichern fehlgeschlagen: ") + written.error().message);
}

}  // namespace miniskop
