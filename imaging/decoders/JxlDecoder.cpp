// JPEG XL decoding through libjxl. See JxlDecoder.h.
#include "JxlDecoder.h"

#include <jxl/decode.h>
#include <jxl/encode.h>  // JxlColorEncodingSetToSRGB

#include <QRgb>
#include <algorithm>
#include <memory>
#include <vector>

#include "ColourProfile.h"
#include "DecodeLimit.h"
#include "PictureFile.h"

namespace miniskop {

namespace {

// The header (and with it the size) sits at the start of the file; this
// much is read first.
constexpr qint64 kHeadBytes = qint64(64) << 10;

struct DecoderFree {
    void operator()(JxlDecoder* d) const { JxlDecoderDestroy(d); }
};
using Decoder = std::unique_ptr<JxlDecoder, DecoderFree>;

// Up to `limit` bytes from the start of the file.
Expected<QByteArray> readStart(const PictureFile& file, qint64 limit) {
    const qint64 size = file.size();
    if (size < 0) return fail(QStringLiteral("JPEG XL: cannot read file"));
    if (exceedsDecodeLimit(size)) return fail(QStringLiteral("JPEG XL: file too large"));
    return file.head(qsizetype(std::min(size, limit)));
}

QSize displayedSize(const JxlBasicInfo& info) {
    const QSize stored(int(std::min<uint32_t>(info.xsize, 0x7fffffff)),
                       int(std::min<uint32_t>(info.ysize, 0x7fffffff)));
    return info.orientation >= JXL_ORIENT_TRANSPOSE ? stored.transposed() : stored;
}

Unexpected<Failure> damaged() {
    return fail(QStringLiteral("JPEG XL: damaged or unsupported data"));
}

}  // namespace

bool looksLikeJxl(const QByteArray& head) {
    const JxlSignature signature =
        JxlSignatureCheck(reinterpret_cast<const uint8_t*>(head.constData()), size_t(head.size()));
    return signature == JXL_SIG_CODESTREAM || signature == JXL_SIG_CONTAINER;
}

Expected<JxlInfo> readJxlInfo(const PictureFile& file) {
    for (qint64 limit = kHeadBytes;; limit = decodeLimit()) {
        auto bytes = readStart(file, limit);
        if (!bytes) return unexpected(bytes.error());
        Decoder dec(JxlDecoderCreate(nullptr));
        if (!dec || JxlDecoderSubscribeEvents(dec.get(), JXL_DEC_BASIC_INFO) != JXL_DEC_SUCCESS)
            return fail(QStringLiteral("JPEG XL: out of memory"));
        JxlDecoderSetInput(dec.get(), reinterpret_cast<const uint8_t*>(bytes->constData()),
                           size_t(bytes->size()));
        JxlDecoderCloseInput(dec.get());
        const JxlDecoderStatus status = JxlDecoderProcessInput(dec.get());
        if (status == JXL_DEC_NEED_MORE_INPUT && limit < decodeLimit()) continue;
        if (status != JXL_DEC_BASIC_INFO) return damaged();
        JxlBasicInfo info;
        if (JxlDecoderGetBasicInfo(dec.get(), &info) != JXL_DEC_SUCCESS) return damaged();
        const QSize displayed = displayedSize(info);
        if (displayed.width() < 1 || displayed.height() < 1)
            return fail(QStringLiteral("JPEG XL: picture without area"));
        JxlInfo result;
        result.displayed = displayed;
        result.fileBytes = file.size();
        result.alpha = info.alpha_bits > 0;
        result.ownColours = info.uses_original_profile != 0;
        // A recompressed JPEG keeps what rebuilds it in a box of the container.
        result.recompressedJpeg = bytes->left(kHeadBytes).contains("jbrd");
        return result;
    }
}

qint64 jxlScaledBytes(const JxlInfo& info, QSize target) {
    const qint64 pixels = qint64(info.displayed.width()) * info.displayed.height();
    const qint64 output = pixels * (info.alpha ? 4 : 3);
    // What libjxl holds besides (measured with libjxl 0.7): about three bytes
    // a pixel for a picture in its absolute colour space (lossy), a little
    // more than one for a recompressed JPEG, next to nothing for a picture
    // in its own colours (lossless), whose groups go straight to the output.
    const qint64 planes = !info.ownColours        ? pixels * 3
                          : info.recompressedJpeg ? pixels * 6 / 5
                                                  : pixels / 8;
    return (4 << 20) + info.fileBytes + output + planes +
           SrgbRowScaler::bytesHeld(info.displayed, target, true);
}

Expected<QImage> decodeJxlScaled(const PictureFile& file, QSize target) {
    if (target.width() < 1 || target.height() < 1 || exceedsDecodeLimit(target))
        return fail(QStringLiteral("JPEG XL: target size out of range"));
    auto bytes = readStart(file, decodeLimit());
    if (!bytes) return unexpected(bytes.error());
    // No parallel runner: the run decodes pictures side by side already.
    Decoder dec(JxlDecoderCreate(nullptr));
    if (!dec) return fail(QStringLiteral("JPEG XL: out of memory"));
    if (JxlDecoderSubscribeEvents(dec.get(), JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING |
                                                 JXL_DEC_FRAME_PROGRESSION | JXL_DEC_FULL_IMAGE) !=
            JXL_DEC_SUCCESS ||
        JxlDecoderSetProgressiveDetail(dec.get(), kDC) != JXL_DEC_SUCCESS)
        return fail(QStringLiteral("JPEG XL: decoder setup failed"));
    JxlDecoderSetInput(dec.get(), reinterpret_cast<const uint8_t*>(bytes->constData()),
                       size_t(bytes->size()));
    JxlDecoderCloseInput(dec.get());

    JxlBasicInfo info{};
    QSize displayed;
    JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    QByteArray icc;
    std::vector<uchar> pixels;
    bool done = false;
    while (!done) {
        switch (JxlDecoderProcessInput(dec.get())) {
            case JXL_DEC_BASIC_INFO:
                if (JxlDecoderGetBasicInfo(dec.get(), &info) != JXL_DEC_SUCCESS) return damaged();
                displayed = displayedSize(info);
                format.num_channels = info.alpha_bits > 0 ? 4 : 3;
                if (displayed.width() < 1 || displayed.height() < 1)
                    return fail(QStringLiteral("JPEG XL: picture size out of range"));
                // The output buffer alone: what libjxl adds was reckoned
                // before the decoding began (jxlScaledBytes).
                if (const qint64 output =
                        qint64(displayed.width()) * displayed.height() * format.num_channels;
                    exceedsDecodeLimit(output))
                    return tooLarge(output, decodeLimit());
                break;
            case JXL_DEC_COLOR_ENCODING: {
                // Lossy pictures are held in an absolute colour space that
                // libjxl turns into sRGB itself; others keep their own.
                if (!info.uses_original_profile) {
                    JxlColorEncoding srgb;
                    JxlColorEncodingSetToSRGB(&srgb, info.num_color_channels == 1);
                    JxlDecoderSetPreferredColorProfile(dec.get(), &srgb);
                }
                size_t size = 0;
                if (JxlDecoderGetICCProfileSize(dec.get(), &format, JXL_COLOR_PROFILE_TARGET_DATA,
                                                &size) == JXL_DEC_SUCCESS &&
                    size > 0) {
                    icc.resize(qsizetype(size));
                    if (JxlDecoderGetColorAsICCProfile(
                            dec.get(), &format, JXL_COLOR_PROFILE_TARGET_DATA,
                            reinterpret_cast<uint8_t*>(icc.data()), size) != JXL_DEC_SUCCESS)
                        icc.clear();
                }
                break;
            }
            case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
                size_t size = 0;
                if (JxlDecoderImageOutBufferSize(dec.get(), &format, &size) != JXL_DEC_SUCCESS ||
                    size != size_t(displayed.width()) * size_t(displayed.height()) *
                                format.num_channels)
                    return damaged();
                pixels.resize(size);
                if (JxlDecoderSetImageOutBuffer(dec.get(), &format, pixels.data(), size) !=
                    JXL_DEC_SUCCESS)
                    return damaged();
                break;
            }
            case JXL_DEC_FRAME_PROGRESSION:
                // The 1:8 stage is complete: enough when it still has twice
                // the target's pixels across and down.
                if (JxlDecoderGetIntendedDownsamplingRatio(dec.get()) >= 8 &&
                    displayed.width() / 8 >= 2 * target.width() &&
                    displayed.height() / 8 >= 2 * target.height() &&
                    JxlDecoderFlushImage(dec.get()) == JXL_DEC_SUCCESS)
                    done = true;
                break;
            case JXL_DEC_FULL_IMAGE:
                done = true;  // the first frame
                break;
            case JXL_DEC_NEED_MORE_INPUT:
                return fail(QStringLiteral("JPEG XL: file ends early"));
            case JXL_DEC_SUCCESS:
                return fail(QStringLiteral("JPEG XL: no picture in the file"));
            default:
                return damaged();
        }
    }
    if (pixels.empty()) return damaged();

    SrgbRowScaler scaler(displayed, target, SrgbConversion::forRgbPixels(icc));
    const int channels = int(format.num_channels);
    const bool premultiplied = info.alpha_premultiplied != 0;
    std::vector<uchar> row(size_t(displayed.width()) * 4);
    for (int y = 0; y < displayed.height(); ++y) {
        const uchar* in = pixels.data() + size_t(y) * size_t(displayed.width()) * size_t(channels);
        uchar* out = row.data();
        for (int x = 0; x < displayed.width(); ++x, in += channels, out += 4) {
            QRgb p = qRgba(in[0], in[1], in[2], channels == 4 ? in[3] : 255);
            if (channels == 4 && !premultiplied) p = qPremultiply(p);
            // Over white, a premultiplied channel c with alpha a becomes c + (255 - a).
            const int rest = 255 - qAlpha(p);
            out[0] = uchar(std::min(qBlue(p) + rest, 255));
            out[1] = uchar(std::min(qGreen(p) + rest, 255));
            out[2] = uchar(std::min(qRed(p) + rest, 255));
            out[3] = 0xff;
        }
        scaler.pushRow(row.data());
    }
    QImage result = scaler.takeResult();
    if (result.isNull()) return fail(QStringLiteral("JPEG XL: out of memory"));
    return result;
}

}  // namespace miniskop
