// HEIF and AVIF decoding through libheif. See HeifDecoder.h.
#include "HeifDecoder.h"

#include <libheif/heif.h>

#include <QRgb>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "AreaScaler.h"
#include "ColourProfile.h"
#include "DecodeLimit.h"
#include "HeifMemory.h"
#include "PictureFile.h"

namespace miniskop {

namespace {

// libheif reads the file through these, at its own positions.
struct FileReader {
    const PictureFile* file = nullptr;
    int64_t size = 0;
    int64_t position = 0;
};

int64_t readerPosition(void* user) { return static_cast<FileReader*>(user)->position; }

int readerRead(void* data, size_t size, void* user) {
    auto* r = static_cast<FileReader*>(user);
    if (r->file->readAt(r->position, data, qsizetype(size)) != qsizetype(size)) return 1;
    r->position += int64_t(size);
    return 0;
}

int readerSeek(int64_t position, void* user) {
    auto* r = static_cast<FileReader*>(user);
    if (position < 0 || position > r->size) return 1;
    r->position = position;
    return 0;
}

heif_reader_grow_status readerGrow(int64_t target, void* user) {
    return target <= static_cast<FileReader*>(user)->size ? heif_reader_grow_status_size_reached
                                                          : heif_reader_grow_status_size_beyond_eof;
}

const heif_reader kReader = {1, readerPosition, readerRead, readerSeek, readerGrow};

Unexpected<Failure> heifFailure(const heif_error& error) {
    return fail(
        QStringLiteral("HEIF: %1").arg(QString::fromUtf8(error.message ? error.message : "")));
}

struct ContextFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleFree {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageFree {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct OptionsFree {
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};
struct NclxFree {
    void operator()(heif_color_profile_nclx* n) const { heif_nclx_color_profile_free(n); }
};
using Handle = std::unique_ptr<heif_image_handle, HandleFree>;

// The file opened and its primary image found. The reader stays where
// libheif was told it is, however this moves.
struct OpenedHeif {
    std::unique_ptr<FileReader> reader = std::make_unique<FileReader>();
    std::unique_ptr<heif_context, ContextFree> context;
    Handle primary;
    QSize displayed;
};

Expected<OpenedHeif> openHeif(const PictureFile& file) {
    const qint64 size = file.size();
    if (size < 0) return fail(QStringLiteral("HEIF: cannot read file"));
    OpenedHeif opened;
    opened.reader->file = &file;
    opened.reader->size = int64_t(size);
    opened.context.reset(heif_context_alloc());
    if (!opened.context) return fail(QStringLiteral("HEIF: out of memory"));
    // Pictures are decoded side by side by the run; tiles of one picture are
    // decoded in the calling thread.
    heif_context_set_max_decoding_threads(opened.context.get(), 0);
    heif_error error =
        heif_context_read_from_reader(opened.context.get(), &kReader, opened.reader.get(), nullptr);
    if (error.code != heif_error_Ok) return heifFailure(error);
    heif_image_handle* primary = nullptr;
    error = heif_context_get_primary_image_handle(opened.context.get(), &primary);
    if (error.code != heif_error_Ok) return heifFailure(error);
    opened.primary.reset(primary);
    opened.displayed =
        QSize(heif_image_handle_get_width(primary), heif_image_handle_get_height(primary));
    if (opened.displayed.width() < 1 || opened.displayed.height() < 1)
        return fail(QStringLiteral("HEIF: picture without area"));
    return opened;
}

QSize handleSize(const heif_image_handle* handle) {
    return QSize(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle));
}

// The smallest embedded thumbnail that stands in for the picture at
// `target`; none when the file has no such thumbnail.
Handle thumbnailFor(const heif_image_handle* primary, QSize displayed, QSize target) {
    const int count = heif_image_handle_get_number_of_thumbnails(primary);
    if (count <= 0) return nullptr;
    std::vector<heif_item_id> ids(static_cast<size_t>(count));
    const int listed = heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), count);
    Handle best;
    for (int i = 0; i < listed; ++i) {
        heif_image_handle* thumb = nullptr;
        if (heif_image_handle_get_thumbnail(primary, ids[size_t(i)], &thumb).code != heif_error_Ok)
            continue;
        Handle candidate(thumb);
        const QSize size = handleSize(thumb);
        const bool smaller =
            !best || qint64(size.width()) * size.height() <
                         qint64(handleSize(best.get()).width()) * handleSize(best.get()).height();
        if (heifThumbnailStandsIn(size, displayed, target) && smaller) best = std::move(candidate);
    }
    return best;
}

// The colour description of `handle`: its ICC profile, or an nclx box turned
// into one when its primaries are not sRGB's; empty for sRGB.
QByteArray colourProfile(const heif_image_handle* handle) {
    const size_t iccSize = heif_image_handle_get_raw_color_profile_size(handle);
    if (iccSize > 0) {
        QByteArray icc(qsizetype(iccSize), Qt::Uninitialized);
        if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code == heif_error_Ok)
            return icc;
        return {};
    }
    // libheif may hand over the box and an error together (unknown
    // primaries); the box is freed either way.
    heif_color_profile_nclx* raw = nullptr;
    const heif_error error = heif_image_handle_get_nclx_color_profile(handle, &raw);
    std::unique_ptr<heif_color_profile_nclx, NclxFree> nclx(raw);
    if (error.code != heif_error_Ok || !nclx) return {};
    const int primaries = nclx->color_primaries;
    // BT.709 primaries (sRGB's) or none given: sRGB.
    if (primaries == heif_color_primaries_ITU_R_BT_709_5 ||
        primaries == heif_color_primaries_unspecified)
        return {};
    // Tone curves of SDR pictures; the BT.709 family is shown as sRGB is.
    // HDR curves (PQ, HLG) have no meaning for an sRGB thumbnail: left alone.
    bool srgbCurve = false;
    double gamma = 0;
    switch (nclx->transfer_characteristics) {
        case heif_transfer_characteristic_ITU_R_BT_709_5:
        case heif_transfer_characteristic_unspecified:
        case heif_transfer_characteristic_ITU_R_BT_601_6:
        case heif_transfer_characteristic_IEC_61966_2_1:
        case heif_transfer_characteristic_ITU_R_BT_2020_2_10bit:
        case heif_transfer_characteristic_ITU_R_BT_2020_2_12bit:
            srgbCurve = true;
            break;
        case heif_transfer_characteristic_ITU_R_BT_470_6_System_M:
            gamma = 2.2;
            break;
        case heif_transfer_characteristic_ITU_R_BT_470_6_System_B_G:
            gamma = 2.8;
            break;
        case heif_transfer_characteristic_linear:
            gamma = 1.0;
            break;
        default:
            return {};
    }
    const SrgbConversion::Primaries p{nclx->color_primary_red_x,   nclx->color_primary_red_y,
                                      nclx->color_primary_green_x, nclx->color_primary_green_y,
                                      nclx->color_primary_blue_x,  nclx->color_primary_blue_y,
                                      nclx->color_primary_white_x, nclx->color_primary_white_y};
    return SrgbConversion::iccFromPrimaries(p, srgbCurve, gamma);
}

// One decoded row of interleaved RGB or RGBA into blue, green, red, 0xFF,
// transparent pixels laid on white.
void toBgrx(const uint8_t* in, uchar* out, int width, bool alpha, bool premultiplied) {
    for (int x = 0; x < width; ++x, out += 4) {
        if (!alpha) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
            in += 3;
        } else {
            QRgb p = qRgba(in[0], in[1], in[2], in[3]);
            if (!premultiplied) p = qPremultiply(p);
            const int rest = 255 - qAlpha(p);
            out[0] = uchar(std::min(qBlue(p) + rest, 255));
            out[1] = uchar(std::min(qGreen(p) + rest, 255));
            out[2] = uchar(std::min(qRed(p) + rest, 255));
            in += 4;
        }
        out[3] = 0xff;
    }
}

// Luma weights of the YCbCr matrices in use (H.273 matrix_coefficients),
// with the range of the samples.
struct YcbcrMatrix {
    double kr = 0.299, kb = 0.114;  // BT.601, libheif's choice when none is given
    bool fullRange = true;
};

std::optional<YcbcrMatrix> matrixOf(const heif_image* image) {
    YcbcrMatrix m;
    heif_color_profile_nclx* raw = nullptr;
    const heif_error error = heif_image_get_nclx_color_profile(image, &raw);
    std::unique_ptr<heif_color_profile_nclx, NclxFree> nclx(raw);  // freed even with an error
    if (error.code != heif_error_Ok || !nclx) return m;
    m.fullRange = nclx->full_range_flag != 0;
    switch (nclx->matrix_coefficients) {
        case heif_matrix_coefficients_ITU_R_BT_709_5:
            m.kr = 0.2126, m.kb = 0.0722;
            break;
        case heif_matrix_coefficients_unspecified:
        case heif_matrix_coefficients_ITU_R_BT_470_6_System_B_G:
        case heif_matrix_coefficients_ITU_R_BT_601_6:
            break;
        case heif_matrix_coefficients_ITU_R_BT_2020_2_non_constant_luminance:
            m.kr = 0.2627, m.kb = 0.0593;
            break;
        default:
            return std::nullopt;  // left to libheif's own conversion
    }
    return m;
}

// A decoded plane: its samples brought to 8 bits.
struct Plane {
    const uint8_t* data = nullptr;
    int stride = 0;
    int max = 255;  // the largest sample; above 8 bits samples are 16 wide
    int width = 0, height = 0;
    uchar at(int x, int y) const {
        if (max == 255) return data[size_t(y) * size_t(stride) + size_t(x)];
        uint16_t v = 0;
        std::memcpy(&v, data + size_t(y) * size_t(stride) + size_t(x) * 2, 2);
        return uchar((std::min<int>(v, max) * 255 + max / 2) / max);
    }
};

std::optional<Plane> planeOf(const heif_image* image, heif_channel channel) {
    Plane p;
    p.data = heif_image_get_plane_readonly(image, channel, &p.stride);
    const int bits = heif_image_get_bits_per_pixel_range(image, channel);
    p.width = heif_image_get_width(image, channel);
    p.height = heif_image_get_height(image, channel);
    if (!p.data || bits < 8 || bits > 16 || p.width < 1 || p.height < 1) return std::nullopt;
    p.max = (1 << bits) - 1;
    if (p.stride < p.width * (bits > 8 ? 2 : 1)) return std::nullopt;
    return p;
}

// A picture decoded in its own planes (YCbCr as coded, grey, or planar
// RGB) and scaled as such: the three planes are area-averaged together,
// chroma repeated over the luma pixels it covers, and only the scaled
// picture is turned into RGB. This spares libheif's conversion of every
// pixel and its full-size RGB copy. std::nullopt: a layout for the RGB road.
std::optional<QImage> scaledFromPlanes(const heif_image* image, QSize target,
                                       const SrgbConversionPtr& conversion) {
    const heif_colorspace space = heif_image_get_colorspace(image);
    const heif_chroma chroma = heif_image_get_chroma_format(image);
    const bool rgb = space == heif_colorspace_RGB && chroma == heif_chroma_444;
    const bool grey = space == heif_colorspace_monochrome;
    if (!rgb && !grey && space != heif_colorspace_YCbCr) return std::nullopt;
    const std::optional<YcbcrMatrix> matrix = rgb ? YcbcrMatrix{} : matrixOf(image);
    if (!matrix) return std::nullopt;
    const auto first = planeOf(image, rgb ? heif_channel_R : heif_channel_Y);
    if (!first) return std::nullopt;
    std::optional<Plane> second, third;
    if (!grey) {
        second = planeOf(image, rgb ? heif_channel_G : heif_channel_Cb);
        third = planeOf(image, rgb ? heif_channel_B : heif_channel_Cr);
        if (!second || !third) return std::nullopt;
    }
    const int width = first->width, height = first->height;
    // How many luma pixels across and down one chroma sample covers.
    const int sx = grey ? 1 : (width + second->width - 1) / second->width;
    const int sy = grey ? 1 : (height + second->height - 1) / second->height;
    if (!grey &&
        (sx > 2 || sy > 2 || third->width != second->width || third->height != second->height ||
         (width + sx - 1) / sx > second->width || (height + sy - 1) / sy > second->height))
        return std::nullopt;

    const QSize decoded(width, height);
    AreaScaler scaler(decoded, conversion ? conversionSize(decoded, target) : target);
    std::vector<uchar> row(size_t(width) * 4, 0xff);
    for (int y = 0; y < height; ++y) {
        uchar* q = row.data();
        for (int x = 0; x < width; ++x, q += 4) {
            q[0] = first->at(x, y);
            q[1] = grey ? 128 : second->at(x / sx, y / sy);
            q[2] = grey ? 128 : third->at(x / sx, y / sy);
        }
        scaler.pushRow(row.data());
    }
    QImage scaled = scaler.takeResult();
    if (scaled.isNull()) return std::nullopt;
    // The scaled planes into blue, green, red.
    const double kg = 1.0 - matrix->kr - matrix->kb;
    const double ys = matrix->fullRange ? 1.0 : 255.0 / 219.0;
    const double cs = matrix->fullRange ? 1.0 : 255.0 / 224.0;
    const double y0 = matrix->fullRange ? 0.0 : 16.0;
    const auto channel = [](double v) { return std::clamp(int(std::lround(v)), 0, 255); };
    for (int y = 0; y < scaled.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(scaled.scanLine(y));
        for (int x = 0; x < scaled.width(); ++x) {
            const QRgb p = line[x];
            const int a = qBlue(p), b = qGreen(p), c = qRed(p);  // first, second, third plane
            if (rgb) {
                line[x] = qRgb(a, b, c);
                continue;
            }
            const double luma = (a - y0) * ys, cb = (b - 128) * cs, cr = (c - 128) * cs;
            line[x] = qRgb(channel(luma + 2 * (1 - matrix->kr) * cr),
                           channel(luma - (2 * matrix->kb * (1 - matrix->kb) * cb +
                                           2 * matrix->kr * (1 - matrix->kr) * cr) /
                                              kg),
                           channel(luma + 2 * (1 - matrix->kb) * cb));
        }
    }
    if (!conversion) return scaled;
    QImage result = scaleToSrgb(scaled, target, conversion.get());
    if (result.isNull()) return std::nullopt;
    return result;
}

}  // namespace

bool looksLikeHeif(const QByteArray& head) {
    // An ISO media file: a "ftyp" box whose major brand, or one of the
    // compatible brands that follow it, names a HEIF or AVIF picture.
    if (head.size() < 12 || head.mid(4, 4) != "ftyp") return false;
    const qsizetype box = (qsizetype(quint8(head[0])) << 24) | (qsizetype(quint8(head[1])) << 16) |
                          (qsizetype(quint8(head[2])) << 8) | qsizetype(quint8(head[3]));
    static const char* const brands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx",
                                         "hevm", "hevs", "mif1", "msf1", "avif", "avis"};
    const qsizetype end = std::min(box, head.size());
    for (qsizetype at = 8; at + 4 <= end; at += at == 8 ? 8 : 4) {  // skip the minor version
        for (const char* brand : brands)
            if (head.mid(at, 4) == brand) return true;
    }
    return false;
}

Expected<HeifInfo> readHeifInfo(const PictureFile& file) {
    auto opened = openHeif(file);
    if (!opened) return unexpected(opened.error());
    const heif_image_handle* primary = opened->primary.get();
    HeifInfo info;
    info.displayed = opened->displayed;
    info.fileBytes = std::max<qint64>(file.size(), 0);
    info.alpha = heif_image_handle_has_alpha_channel(primary) != 0;
    const int bits = std::max(heif_image_handle_get_luma_bits_per_pixel(primary),
                              heif_image_handle_get_chroma_bits_per_pixel(primary));
    info.bytesPerSample = bits > 8 ? 2 : 1;
    const int count = heif_image_handle_get_number_of_thumbnails(primary);
    std::vector<heif_item_id> ids(size_t(std::max(count, 0)));
    const int listed = heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), count);
    for (int i = 0; i < listed; ++i) {
        heif_image_handle* thumb = nullptr;
        if (heif_image_handle_get_thumbnail(primary, ids[size_t(i)], &thumb).code != heif_error_Ok)
            continue;
        info.thumbnails.push_back(handleSize(thumb));
        heif_image_handle_release(thumb);
    }
    describeHeifCoding(file.head(64 << 10), info);
    return info;
}

Expected<QImage> decodeHeifScaled(const PictureFile& file, QSize target) {
    if (target.width() < 1 || target.height() < 1 || exceedsDecodeLimit(target))
        return fail(QStringLiteral("HEIF: target size out of range"));
    auto opened = openHeif(file);
    if (!opened) return unexpected(opened.error());
    const heif_image_handle* primary = opened->primary.get();
    Handle thumbnail = thumbnailFor(primary, opened->displayed, target);
    const heif_image_handle* chosen = thumbnail ? thumbnail.get() : primary;

    const bool alpha = heif_image_handle_has_alpha_channel(chosen) != 0;
    const bool premultiplied = heif_image_handle_is_premultiplied_alpha(chosen) != 0;
    std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
    if (!options) return fail(QStringLiteral("HEIF: out of memory"));
    options->convert_hdr_to_8bit = 1;
    QByteArray icc = colourProfile(chosen);
    if (icc.isEmpty() && chosen != primary) icc = colourProfile(primary);
    const SrgbConversionPtr conversion = SrgbConversion::forRgbPixels(icc);

    heif_image* raw = nullptr;
    if (!alpha) {
        // First in the planes as coded; transparency needs every pixel laid
        // on white before averaging and takes the RGB road at once.
        const heif_error error = heif_decode_image(chosen, &raw, heif_colorspace_undefined,
                                                   heif_chroma_undefined, options.get());
        std::unique_ptr<heif_image, ImageFree> planar(raw);
        if (error.code != heif_error_Ok) return heifFailure(error);
        if (auto scaled = scaledFromPlanes(raw, target, conversion)) return std::move(*scaled);
        raw = nullptr;
    }
    const heif_error error = heif_decode_image(
        chosen, &raw, heif_colorspace_RGB,
        alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());
    std::unique_ptr<heif_image, ImageFree> image(raw);
    if (error.code != heif_error_Ok) return heifFailure(error);
    const QSize decoded(heif_image_get_width(raw, heif_channel_interleaved),
                        heif_image_get_height(raw, heif_channel_interleaved));
    int stride = 0;
    const uint8_t* pixels = heif_image_get_plane_readonly(raw, heif_channel_interleaved, &stride);
    if (!pixels || decoded.width() < 1 || decoded.height() < 1 ||
        stride < decoded.width() * (alpha ? 4 : 3))
        return fail(QStringLiteral("HEIF: decoded picture without pixels"));

    SrgbRowScaler scaler(decoded, target, conversion);
    std::vector<uchar> row(size_t(decoded.width()) * 4);
    for (int y = 0; y < decoded.height(); ++y) {
        toBgrx(pixels + size_t(y) * size_t(stride), row.data(), decoded.width(), alpha,
               premultiplied);
        scaler.pushRow(row.data());
    }
    QImage result = scaler.takeResult();
    if (result.isNull()) return fail(QStringLiteral("HEIF: out of memory"));
    return result;
}

}  // namespace miniskop
