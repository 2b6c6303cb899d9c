// encodeThumbJpeg: the thumbnail's pixels through a cDIBSection into the
// encoder, the result kept in memory. See ThumbJpegMemory.h.
#include "ThumbJpegMemory.h"

#include <turbojpeg.h>

#include <limits>

#include "cDIBSection.h"

namespace miniskop {
namespace {

// Owns one compressor handle and the output buffer it hands back.
struct Compressor {
    tjhandle handle = tjInitCompress();
    unsigned char* data = nullptr;
    unsigned long size = 0;
    ~Compressor() {
        tjFree(data);
        if (handle) tjDestroy(handle);
    }
};

}  // namespace

Expected<QByteArray> encodeThumbJpeg(const QImage& picture, qint32 quality) {
    cDIBSection buffer;
    buffer.CreateFromPicture(picture);
    const qint32 width = buffer.Width();
    const qint32 height = buffer.Height();
    const qint32 pitch = buffer.BytesPerScanLine();
    if (!buffer.DIBSectionBitsPtr() || width <= 0 || height <= 0 || pitch <= 0 ||
        qint64{pitch} * height > std::numeric_limits<qint32>::max())
        return fail(QStringLiteral("no pixels to encode"));

    Compressor compressor;
    if (!compressor.handle) return fail(QStringLiteral("encoder not available"));
    // Rows lie bottom-up in the buffer, three bytes a pixel in blue-green-red.
    if (tjCompress2(compressor.handle, buffer.DIBSectionBitsPtr(), width, pitch, height, TJPF_BGR,
                    &compressor.data, &compressor.size, TJSAMP_444, quality, TJFLAG_BOTTOMUP) != 0)
        return fail(QString::fromLocal8Bit(tjGetErrorStr2(compressor.handle)));
    if (compressor.size > static_cast<unsigned long>(std::numeric_limits<qsizetype>::max()))
        return fail(QStringLiteral("encoded picture too large"));
    return QByteArray(reinterpret_cast<const char*>(compressor.data),
                      static_cast<qsizetype>(compressor.size));
}

}  // namespace miniskop
