// The encoder record layer over libjpeg-turbo's TurboJPEG interface. The
// output file is written with writeFileAtomically, so it appears whole or not
// at all. See JpegCoreProperties.h.
#include "JpegCoreProperties.h"

#include <turbojpeg.h>

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

// Frees the encoder's output buffer however the encoding ends.
struct EncodedBytes {
    unsigned char* data = nullptr;
    unsigned long size = 0;
    ~EncodedBytes() { tjFree(data); }
};

// The source as the encoder takes it.
struct Source {
    int pixelFormat = -1;
    int subsampling = -1;
    int width = 0;
    int height = 0;
    int pitch = 0;
    int flags = 0;
};

// JR_OK with `source` filled in when the record describes pixels and an output
// we can encode, JR_BAD_SOURCE otherwise.
qint32 checkSource(const JPEG_CORE_PROPERTIES& r, Source& source) {
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
    source.pixelFormat = pixelFormat;
    source.subsampling = subsampling;
    source.width = static_cast<int>(width);
    source.height = static_cast<int>(height);
    source.pitch = static_cast<int>(pitch);
    // A negative height says the rows lie bottom-up in memory.
    source.flags = r.DIBHeight < 0 ? TJFLAG_BOTTOMUP : 0;
    return JR_OK;
}

qint32 compress(const JPEG_CORE_PROPERTIES& r, const Source& source, QByteArray& out) {
    EncodedBytes encoded;
    if (tjCompress2(static_cast<tjhandle>(r.state), r.DIBBytes, source.width, source.pitch,
                    source.height, source.pixelFormat, &encoded.data, &encoded.size,
                    source.subsampling, r.jquality, source.flags) != 0)
        return JR_ENCODE_FAILED;
    if (encoded.size > static_cast<unsigned long>(std::numeric_limits<qsizetype>::max()))
        return JR_ENCODE_FAILED;
    out = QByteArray(reinterpret_cast<const char*>(encoded.data),
                     static_cast<qsizetype>(encoded.size));
    return JR_OK;
}

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
    Source source;
    if (const qint32 checked = checkSource(*record, source); checked != JR_OK) return checked;
    if (!record->JPGFile) return JR_FILE_FAILED;
    QByteArray bytes;
    if (const qint32 encoded = compress(*record, source, bytes); encoded != JR_OK) return encoded;
    const QString path = QFile::decodeName(QByteArray(record->JPGFile));
    return jpegWriteEncoded(path, bytes) ? JR_OK : JR_FILE_FAILED;
}

qint32 jpegFree(JPEG_CORE_PROPERTIES* record) {
    if (!record) return JR_INVALID_RECORD;
    if (record->state) tjDestroy(static_cast<tjhandle>(record->state));
    record->state = nullptr;
    return JR_OK;
}

qint32 jpegEncode(const JPEG_CORE_PROPERTIES* record, QByteArray* out) {
    if (!record || !record->state || !out) return JR_INVALID_RECORD;
    Source source;
    if (const qint32 checked = checkSource(*record, source); checked != JR_OK) return checked;
    return compress(*record, source, *out);
}

Status jpegWriteEncoded(const QString& path, QByteArrayView bytes) {
    return writeFileAtomically(path, bytes, SyncMode::Fast);
}

}  // namespace miniskop
