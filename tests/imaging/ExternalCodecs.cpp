// Test pictures from the real encoders. See ExternalCodecs.h.
#include "ExternalCodecs.h"

#include <jxl/encode.h>
#include <lcms2.h>
#include <libheif/heif.h>

#include <QMap>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <cmath>
#include <cstring>
#include <vector>

namespace miniskop::testcodecs {

QString run(const QString& program, const QStringList& args) {
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(120000)) return program + QStringLiteral(" did not finish");
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0) return {};
    return QStringLiteral("%1 %2 failed: %3")
        .arg(program, args.join(' '), QString::fromLocal8Bit(process.readAllStandardError()));
}

QString missingTools(const QStringList& programs) {
    static const QMap<QString, QString> packages = {
        {"heif-enc", "libheif-examples"}, {"heif-convert", "libheif-examples"},
        {"avifenc", "libavif-bin"},       {"avifdec", "libavif-bin"},
        {"cjxl", "libjxl-tools"},         {"djxl", "libjxl-tools"},
        {"convert", "imagemagick"},       {"tiffcp", "libtiff-tools"},
        {"djpeg", "libjpeg-turbo-progs"},
    };
    QStringList missing;
    for (const QString& program : programs)
        if (QStandardPaths::findExecutable(program).isEmpty())
            missing.append(packages.value(program, program));
    missing.removeDuplicates();
    return missing.join(' ');
}

QImage onWhite(const QImage& image) {
    QImage out(image.size(), QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter painter(&out);
    painter.drawImage(0, 0, image);
    return out;
}

namespace {

heif_image* heifImageOf(const QImage& picture) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    heif_image* image = nullptr;
    if (heif_image_create(rgb.width(), rgb.height(), heif_colorspace_RGB,
                          heif_chroma_interleaved_RGB, &image)
            .code != heif_error_Ok)
        return nullptr;
    heif_image_add_plane(image, heif_channel_interleaved, rgb.width(), rgb.height(), 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < rgb.height(); ++y)
        std::memcpy(plane + y * stride, rgb.constScanLine(y), size_t(rgb.width()) * 3);
    return image;
}

heif_error appendTo(heif_context*, const void* data, size_t size, void* user) {
    static_cast<QByteArray*>(user)->append(static_cast<const char*>(data), qsizetype(size));
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
}

}  // namespace

QByteArray heifWithThumbnail(const QImage& picture, const QImage& thumbnail, int box) {
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_image* main = heifImageOf(picture);
    heif_image* small = heifImageOf(thumbnail);
    QByteArray bytes;
    heif_image_handle* handle = nullptr;
    heif_image_handle* thumbHandle = nullptr;
    heif_writer writer{1, appendTo};
    const bool ok =
        main && small &&
        heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code ==
            heif_error_Ok &&
        heif_encoder_set_lossy_quality(encoder, 90).code == heif_error_Ok &&
        heif_context_encode_image(context, main, encoder, nullptr, &handle).code == heif_error_Ok &&
        heif_context_encode_thumbnail(context, small, handle, encoder, nullptr, box, &thumbHandle)
                .code == heif_error_Ok &&
        thumbHandle && heif_context_write(context, &writer, &bytes).code == heif_error_Ok;
    if (thumbHandle) heif_image_handle_release(thumbHandle);
    if (handle) heif_image_handle_release(handle);
    if (encoder) heif_encoder_release(encoder);
    if (small) heif_image_release(small);
    if (main) heif_image_release(main);
    heif_context_free(context);
    return ok ? bytes : QByteArray();
}

QByteArray jxlWithOrientation(const QImage& stored, int orientation) {
    const QImage rgb = stored.convertToFormat(QImage::Format_RGB888);
    std::vector<uint8_t> pixels;
    for (int y = 0; y < rgb.height(); ++y)
        pixels.insert(pixels.end(), rgb.constScanLine(y), rgb.constScanLine(y) + rgb.width() * 3);
    JxlEncoder* encoder = JxlEncoderCreate(nullptr);
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = uint32_t(rgb.width());
    info.ysize = uint32_t(rgb.height());
    info.bits_per_sample = 8;
    info.num_color_channels = 3;
    info.uses_original_profile = JXL_TRUE;
    info.orientation = JxlOrientation(orientation);
    JxlColorEncoding srgb;
    JxlColorEncodingSetToSRGB(&srgb, JXL_FALSE);
    const JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    JxlEncoderFrameSettings* settings = nullptr;
    bool ok =
        JxlEncoderSetBasicInfo(encoder, &info) == JXL_ENC_SUCCESS &&
        JxlEncoderSetColorEncoding(encoder, &srgb) == JXL_ENC_SUCCESS &&
        (settings = JxlEncoderFrameSettingsCreate(encoder, nullptr)) != nullptr &&
        JxlEncoderSetFrameLossless(settings, JXL_TRUE) == JXL_ENC_SUCCESS &&
        JxlEncoderAddImageFrame(settings, &format, pixels.data(), pixels.size()) == JXL_ENC_SUCCESS;
    JxlEncoderCloseInput(encoder);
    QByteArray bytes(1 << 16, '\0');
    size_t used = 0;
    JxlEncoderStatus status = JXL_ENC_NEED_MORE_OUTPUT;
    while (ok && status == JXL_ENC_NEED_MORE_OUTPUT) {
        uint8_t* next = reinterpret_cast<uint8_t*>(bytes.data()) + used;
        size_t avail = size_t(bytes.size()) - used;
        status = JxlEncoderProcessOutput(encoder, &next, &avail);
        used = size_t(bytes.size()) - avail;
        if (status == JXL_ENC_NEED_MORE_OUTPUT) bytes.resize(bytes.size() * 2);
    }
    JxlEncoderDestroy(encoder);
    if (!ok || status != JXL_ENC_SUCCESS) return {};
    bytes.truncate(qsizetype(used));
    return bytes;
}

namespace {

// CMYK in, CIELab out: the tinted inks.
int tintedInks(const cmsUInt16Number in[], cmsUInt16Number out[], void*) {
    const double c = in[0] / 65535.0, m = in[1] / 65535.0, y = in[2] / 65535.0, k = in[3] / 65535.0;
    const double r = (1 - c) * (1 - 0.8 * k);
    const double g = (1 - m) * (1 - 0.5 * c) * (1 - k);
    const double b = (1 - y) * (1 - 0.3 * m) * (1 - 0.95 * k);
    const double R = std::pow(r, 2.2), G = std::pow(g, 2.2), B = std::pow(b, 2.2);
    // sRGB primaries adapted to D50.
    const cmsCIEXYZ xyz{0.4361 * R + 0.3851 * G + 0.1431 * B, 0.2225 * R + 0.7169 * G + 0.0606 * B,
                        0.0139 * R + 0.0971 * G + 0.7141 * B};
    cmsCIELab lab;
    cmsXYZ2Lab(cmsD50_XYZ(), &lab, &xyz);
    cmsFloat2LabEncoded(out, &lab);
    return 1;
}

}  // namespace

QByteArray tintedCmykProfile() {
    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(profile, 2.1);
    cmsSetDeviceClass(profile, cmsSigOutputClass);
    cmsSetColorSpace(profile, cmsSigCmykData);
    cmsSetPCS(profile, cmsSigLabData);
    cmsPipeline* lut = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage* grid = cmsStageAllocCLut16bit(nullptr, 9, 4, 3, nullptr);
    cmsStageSampleCLut16bit(grid, tintedInks, nullptr, 0);
    cmsPipelineInsertStage(lut, cmsAT_BEGIN, grid);
    cmsWriteTag(profile, cmsSigAToB0Tag, lut);
    cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsPipelineFree(lut);
    cmsUInt32Number size = 0;
    QByteArray bytes;
    if (cmsSaveProfileToMem(profile, nullptr, &size) && size > 0) {
        bytes.resize(qsizetype(size));
        if (!cmsSaveProfileToMem(profile, bytes.data(), &size)) bytes.clear();
    }
    cmsCloseProfile(profile);
    return bytes;
}

}  // namespace miniskop::testcodecs
