// The encoder record layer over libjpeg-turbo's TurboJPEG interface. jpegInit
// fills the record's defaults and opens a compressor; jpegWrite encodes the
// described source pixels in memory and writes the bytes with
// writeFileAtomically, so the output file appears whole or not at all;
// jpegFree closes the compressor.
#include "JpegCoreProperties.h"

#include <turbojpeg.h>

#include <QByteArrayView>
#include <QFile>
#include <limits>

#include "SafeFileWriter.h"

namespace miniskop {
namespace {

// TurboJPEG pixel format of the source, or -1 when the record's combination of
// colour and channel count is not one we can hand over.
int sourcePixelFormat(const JPEG_CORE_PROPERTIES& r) {
    if (r.DIBColor == JC_BGR && r.DIBChannels == 3) return TJPF_BGR;
    if (r.DIBColor == JC_RGB && r.DIBChannels == 3) return TJPF_RGB;
    if (r.DIBColor == JC_GRAY && r.DIBChannels == 1) return TJPF_GRAY;
    return -1;
}

// TurboJPEG subsampling of the output, or -1 for an unsupported description.
int outputSubsampling(const JPEG_CORE_PROPERTIES& r) {
    if (r.JPGColor == JC_GRAY && r.JPGChannels == 1) return TJSAMP_GRAY;
    if (r.JPGColor != JC_YCBCR || r.JPGChannels != 3) return -1;
    switch (r.JPGSubSampling) {
        case JS_NONE:
            return TJSAMP_444;
        case JS_422:
            return TJSAMP_422;
        case JS_411:
            return TJSAMP_420;
        default:
            return -1;
    }
}

// Frees the encoder's output buffer however the write ends.
struct EncodedBytes {
    unsigned char* data = nullptr;
    unsigned long size = 0;
    ~EncodedBytes() { tjFree(data); }
};

}  // namespace

qint32 jpegInit(JPEG_CORE_PROPERTIES* record) {
    if (!record) return JR_INVALID_RECORD;
    *record = JPEG_CORE_PROPERTIES{};
    record->DIBChannels = 3;
    record->DIBColor = JC_BGR;
    record->JPGChannels = 3;
    record->JPGColor = JC_YCBCR;
    // Thumbnails are small: halving the colour resolution costs them about
    // 4 dB of fidelity for a quarter less file size, so colour keeps every
    // pixel's own sample.
    record->JPGSubSampling = JS_NONE;
    record->jquality = 75;
    record->state = tjInitCompress();
    return record->state ? JR_OK : JR_ENCODE_FAILED;
}

qint32 jpegWrite(JPEG_CORE_PROPERTIES* record, qint32 mode) {
    if (!record || !record->state || mode != JFILE_WRITEWHOLEIMAGE) return JR_INVALID_RECORD;
    const JPEG_CORE_PROPERTIES& r = *record;

    const int pixelFormat = sourcePixelFormat(r);
    const int subsampling = outputSubsampling(r);
    const qint64 width = r.DIBWidth;
    const qint64 height = r.DIBHeight < 0 ? -qint64{r.DIBHeight} : qint64{r.DIBHeight};
    if (pixelFormat < 0 || subsampling < 0 || !r.DIBBytes || width <= 0 || height <= 0 ||
        r.DIBPadBytes < 0)
        return JR_BAD_SOURCE;
    // The encoder writes the source at its own size; it does not scale.
    if (r.JPGWidth != width || r.JPGHeight != height) return JR_BAD_SOURCE;
    const qint64 pitch = width * tjPixelSize[pixelFormat] + r.DIBPadBytes;
    if (pitch > std::numeric_limits<int>::max() ||
        pitch * height > std::numeric_limits<qint32>::max())
        return JR_BAD_SOURCE;
    if (!r.JPGFile) return JR_FILE_FAILED;

    // A negative height says the rows lie bottom-up in memory.
    const int flags = r.DIBHeight < 0 ? TJFLAG_BOTTOMUP : 0;
    EncodedBytes out;
    if (tjCompress2(static_cast<tjhandle>(r.state), r.DIBBytes, static_cast<int>(width),
                    static_cast<int>(pitch), static_cast<int>(height), pixelFormat, &out.data,
                    &out.size, subsampling, r.jquality, flags) != 0)
        return JR_ENCODE_FAILED;

    const QString path = QFile::decodeName(QByteArray(r.JPGFile));
    const Status written = writeFileAtomically(
        path,
        QByteArrayView(reinterpret_cast<const char*>(out.data), static_cast<qsizetype>(out.size)),
        SyncMode::Fast);
    return written ? JR_OK : JR_FILE_FAILED;
}

qint32 jpegFree(JPEG_CORE_PROPERTIES* record) {
    if (!record) return JR_INVALID_RECORD;
    if (record->state) tjDestroy(static_cast<tjhandle>(record->state));
    record->state = nullptr;
    return JR_OK;
}

}  // namespace miniskop
