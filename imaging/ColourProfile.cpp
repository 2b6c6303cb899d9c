// LittleCMS conversions of embedded profiles to sRGB. See ColourProfile.h.
#include "ColourProfile.h"

#include <lcms2.h>

#include <QHash>
#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace miniskop {

namespace {

// Real profiles stay far below this (large CMYK profiles are about 2 MB);
// anything larger is not taken.
constexpr qsizetype kMaxProfileBytes = qsizetype(8) << 20;
// Distinct profiles whose conversions are kept (a folder's photographs
// usually share one or two).
constexpr size_t kCachedProfiles = 16;

// lcms reports problems through a logger; a damaged profile is an everyday
// case here and is handled by the return values, so the messages are dropped.
void quietLogger(cmsContext, cmsUInt32Number, const char*) {}

cmsContext context() {
    static const cmsContext ctx = [] {
        cmsContext c = cmsCreateContext(nullptr, nullptr);
        cmsSetLogErrorHandlerTHR(c, quietLogger);
        return c;
    }();
    return ctx;
}

struct Profile {
    cmsHPROFILE handle = nullptr;
    explicit Profile(cmsHPROFILE h) : handle(h) {}
    ~Profile() {
        if (handle) cmsCloseProfile(handle);
    }
    Profile(const Profile&) = delete;
    Profile& operator=(const Profile&) = delete;
};

// Blue, green, red, x: one grey sample (the blue byte) with three bytes
// skipped, or three colour samples with one.
constexpr cmsUInt32Number kGreyInBgrx =
    COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(3);

cmsUInt32Number inputFormat(PixelModel model) {
    switch (model) {
        case PixelModel::Rgb:
            return TYPE_BGRA_8;
        case PixelModel::Grey:
            return kGreyInBgrx;
        case PixelModel::Cmyk:
            return TYPE_CMYK_8;
        case PixelModel::CmykInverted:
            return TYPE_CMYK_8_REV;
    }
    return TYPE_BGRA_8;
}

// The signatures are read as plain numbers: a damaged profile may hold any
// value, which is no valid value of lcms's enumerations.
bool modelMatches(cmsHPROFILE profile, PixelModel model) {
    const cmsUInt32Number space = cmsGetColorSpace(profile);
    switch (model) {
        case PixelModel::Rgb:
            return space == cmsSigRgbData;
        case PixelModel::Grey:
            return space == cmsSigGrayData;
        case PixelModel::Cmyk:
        case PixelModel::CmykInverted:
            return space == cmsSigCmykData;
    }
    return false;
}

bool usableClass(cmsHPROFILE profile) {
    const cmsUInt32Number c = cmsGetDeviceClass(profile);
    return c == cmsSigInputClass || c == cmsSigDisplayClass || c == cmsSigOutputClass ||
           c == cmsSigColorSpaceClass;
}

// True when the transform leaves every colour of a grid within one level of
// where it was: the profile is sRGB (or as good as), and converting would
// only cost time and add rounding.
bool actsLikeSrgb(cmsHTRANSFORM transform, PixelModel model) {
    if (model != PixelModel::Rgb && model != PixelModel::Grey) return false;
    std::vector<unsigned char> pixels;
    if (model == PixelModel::Grey) {
        for (int v = 0; v < 256; ++v) pixels.insert(pixels.end(), {uchar(v), 0, 0, 0xff});
    } else {
        constexpr int levels[] = {0, 1, 16, 48, 96, 128, 160, 208, 240, 254, 255};
        for (int b : levels)
            for (int g : levels)
                for (int r : levels)
                    pixels.insert(pixels.end(), {uchar(b), uchar(g), uchar(r), 0xff});
    }
    std::vector<unsigned char> out(pixels.size(), 0xff);
    cmsDoTransform(transform, pixels.data(), out.data(), cmsUInt32Number(pixels.size() / 4));
    for (size_t i = 0; i < pixels.size(); i += 4) {
        for (size_t c = 0; c < 3; ++c) {
            const int expected = model == PixelModel::Grey ? pixels[i] : pixels[i + c];
            if (std::abs(int(out[i + c]) - expected) > 1) return false;
        }
    }
    return true;
}

struct CacheEntry {
    size_t hash;
    PixelModel model;
    QByteArray icc;
    SrgbConversionPtr conversion;  // may be null: nothing to do
};

std::mutex cacheMutex;
std::vector<CacheEntry> cache;  // most recently used last

}  // namespace

SrgbConversion::SrgbConversion(void* transform, PixelModel model)
    : transform_(transform), model_(model) {}

SrgbConversion::~SrgbConversion() { cmsDeleteTransform(static_cast<cmsHTRANSFORM>(transform_)); }

SrgbConversionPtr SrgbConversion::fromIcc(const QByteArray& icc, PixelModel model) {
    if (icc.isEmpty() || icc.size() > kMaxProfileBytes) return nullptr;
    const size_t hash = qHash(icc);
    {
        std::lock_guard lock(cacheMutex);
        for (auto it = cache.begin(); it != cache.end(); ++it) {
            if (it->hash != hash || it->model != model || it->icc != icc) continue;
            CacheEntry entry = std::move(*it);
            cache.erase(it);
            cache.push_back(std::move(entry));
            return cache.back().conversion;
        }
    }

    SrgbConversionPtr conversion;
    const Profile source(
        cmsOpenProfileFromMemTHR(context(), icc.constData(), cmsUInt32Number(icc.size())));
    if (source.handle && modelMatches(source.handle, model) && usableClass(source.handle)) {
        const Profile srgb(cmsCreate_sRGBProfileTHR(context()));
        cmsHTRANSFORM transform =
            srgb.handle
                ? cmsCreateTransformTHR(context(), source.handle, inputFormat(model), srgb.handle,
                                        TYPE_BGRA_8, INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE)
                : nullptr;
        if (transform && actsLikeSrgb(transform, model)) {
            cmsDeleteTransform(transform);
            transform = nullptr;
        }
        if (transform) conversion.reset(new SrgbConversion(transform, model));
    }

    std::lock_guard lock(cacheMutex);
    if (cache.size() >= kCachedProfiles) cache.erase(cache.begin());
    cache.push_back(CacheEntry{hash, model, icc, conversion});
    return conversion;
}

SrgbConversionPtr SrgbConversion::forRgbPixels(const QByteArray& icc) {
    // The data colour space sits at bytes 16 to 19 of the profile header.
    if (icc.size() < 128) return nullptr;
    const QByteArray space = icc.mid(16, 4);
    if (space == "RGB ") return fromIcc(icc, PixelModel::Rgb);
    if (space == "GRAY") return fromIcc(icc, PixelModel::Grey);
    return nullptr;
}

QByteArray SrgbConversion::iccFromPrimaries(const Primaries& p, bool srgbCurve, double gamma) {
    const double values[] = {p.redX,  p.redY,  p.greenX, p.greenY,
                             p.blueX, p.blueY, p.whiteX, p.whiteY};
    for (double v : values)
        if (!(v > 0.0 && v < 1.0)) return {};
    if (!srgbCurve && !(gamma > 0.1 && gamma < 10.0)) return {};
    const cmsCIExyY white{p.whiteX, p.whiteY, 1.0};
    const cmsCIExyYTRIPLE primaries{
        {p.redX, p.redY, 1.0}, {p.greenX, p.greenY, 1.0}, {p.blueX, p.blueY, 1.0}};
    // IEC 61966-2-1: a linear segment near black, then a 2.4 power.
    const double srgbParameters[] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    cmsToneCurve* curve = srgbCurve ? cmsBuildParametricToneCurve(context(), 4, srgbParameters)
                                    : cmsBuildGamma(context(), gamma);
    if (!curve) return {};
    cmsToneCurve* curves[3] = {curve, curve, curve};
    const Profile profile(cmsCreateRGBProfileTHR(context(), &white, &primaries, curves));
    cmsFreeToneCurve(curve);
    if (!profile.handle) return {};
    cmsUInt32Number size = 0;
    if (!cmsSaveProfileToMem(profile.handle, nullptr, &size) || size == 0) return {};
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    if (!cmsSaveProfileToMem(profile.handle, bytes.data(), &size)) return {};
    return bytes;
}

void SrgbConversion::convertInPlace(unsigned char* bgrx, std::size_t count) const {
    // Pixel by pixel, input and output of the same size: lcms reads each
    // pixel before it writes it, so one buffer serves both.
    cmsDoTransform(static_cast<cmsHTRANSFORM>(transform_), bgrx, bgrx, cmsUInt32Number(count));
}

void SrgbConversion::convertCmyk(const unsigned char* cmyk, unsigned char* bgrx,
                                 std::size_t count) const {
    for (std::size_t i = 0; i < count; ++i) bgrx[4 * i + 3] = 0xff;
    cmsDoTransform(static_cast<cmsHTRANSFORM>(transform_), cmyk, bgrx, cmsUInt32Number(count));
}

void SrgbConversion::convertImage(QImage& image) const {
    if (image.isNull() || image.format() != QImage::Format_RGB32) return;
    for (int y = 0; y < image.height(); ++y)
        convertInPlace(image.scanLine(y), size_t(image.width()));
}

QSize conversionSize(QSize source, QSize target) { return (target * 4).boundedTo(source); }

QImage scaleToSrgb(const QImage& image, QSize target, const SrgbConversion* conversion) {
    if (!conversion) return AreaScaler::scale(image, target);
    QImage reduced = AreaScaler::scale(image, conversionSize(image.size(), target));
    if (reduced.isNull()) return reduced;
    conversion->convertImage(reduced);
    return AreaScaler::scale(reduced, target);
}

SrgbRowScaler::SrgbRowScaler(QSize source, QSize target, SrgbConversionPtr conversion)
    : target_(target),
      conversion_(std::move(conversion)),
      scaler_(source, conversion_ ? conversionSize(source, target) : target) {}

qint64 SrgbRowScaler::bytesHeld(QSize source, QSize target, bool converts) {
    if (!converts) return AreaScaler::bytesHeld(source, target);
    const QSize between = conversionSize(source, target);
    return AreaScaler::bytesHeld(source, between) + AreaScaler::bytesHeld(between, target);
}

QImage SrgbRowScaler::takeResult() {
    QImage image = scaler_.takeResult();
    if (!conversion_ || image.isNull()) return image;
    conversion_->convertImage(image);
    return AreaScaler::scale(image, target_);
}

}  // namespace miniskop
