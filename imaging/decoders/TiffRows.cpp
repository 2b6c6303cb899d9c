// TIFF rows of samples into pixels. See TiffRows.h.
#include "TiffRows.h"

#include <lcms2.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ColourProfile.h"

namespace miniskop {

namespace {

inline uchar scale16(uint32_t v) { return uchar((v * 255u + 32895u) >> 16); }

// Sample `index` of a row of `bits`-wide samples: 8 and 16 bits as libtiff
// hands them out (16 in the machine's byte order), other widths as a bit
// stream, first sample in the high bits.
inline uint32_t sampleAt(const uchar* row, size_t index, int bits) {
    if (bits == 8) return row[index];
    if (bits == 16) {
        uint16_t v = 0;
        std::memcpy(&v, row + index * 2, 2);
        return v;
    }
    const size_t bit = index * size_t(bits);
    const uchar* p = row + bit / 8;
    // Up to 16 bits starting anywhere in a byte lie within three bytes.
    const int used = int(bit % 8) + bits;
    uint32_t window = p[0];
    for (int b = 8; b < used; b += 8) window = (window << 8) | p[b / 8];
    const int width = (used + 7) / 8 * 8;
    return (window >> (width - used)) & ((1u << bits) - 1u);
}

// A sample of `bits` bits brought to 8 bits, rounded to the nearest level.
inline uchar to8(uint32_t v, int bits) {
    if (bits == 8) return uchar(v);
    if (bits == 16) return scale16(v);
    const uint32_t max = (1u << bits) - 1u;
    return uchar((v * 255u + max / 2) / max);
}

// CIE L*a*b* relative to D50, the white of the profile connection space, to
// sRGB relative to its own white: L* = 100 with no colour is white.
cmsHTRANSFORM labTransform() {
    static cmsHTRANSFORM transform = [] {
        cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
        cmsHPROFILE srgb = cmsCreate_sRGBProfile();
        cmsHTRANSFORM t = lab && srgb
                              ? cmsCreateTransform(lab, TYPE_Lab_FLT, srgb, TYPE_RGB_8,
                                                   INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE)
                              : nullptr;
        if (lab) cmsCloseProfile(lab);
        if (srgb) cmsCloseProfile(srgb);
        return t;
    }();
    return transform;
}

// Reads sample `c` (by sample index) of pixel `x` from the rows handed to
// TiffRowConverter::convert.
class TiffSamples {
public:
    TiffSamples(const TiffLayout& l, const std::vector<int>& planes, const uchar* const* rows)
        : l_(l), rows_(rows) {
        for (size_t i = 0; i < planes.size(); ++i)
            if (planes[i] < kMaxPlanes) rowOf_[planes[i]] = int(i);
    }
    uint32_t operator()(int c, int x) const {
        if (l_.planar) return sampleAt(rows_[rowOf_[c]], size_t(x), l_.bits);
        return sampleAt(rows_[0], size_t(x) * l_.samples + size_t(c), l_.bits);
    }

private:
    static constexpr int kMaxPlanes = 8;
    const TiffLayout& l_;
    const uchar* const* rows_;
    int rowOf_[kMaxPlanes] = {};
};

inline uchar over(int c, int a, bool associated) {
    // Unassociated alpha is multiplied in first (as libtiff's RGBA reader
    // does); laid on white, a premultiplied channel c with alpha a becomes
    // c + (255 - a).
    if (!associated) c = (c * a + 127) / 255;
    return uchar(std::min(c + 255 - a, 255));
}

}  // namespace

bool tiffLabAvailable() { return labTransform() != nullptr; }

std::vector<int> tiffPlanesRead(const TiffLayout& l) {
    if (!l.planar) return {0};
    std::vector<int> planes;
    for (int c = 0; c < l.colours; ++c) planes.push_back(c);
    if (l.alpha >= 0) planes.push_back(l.alpha);
    return planes;
}

uint64_t tiffRowBytes(const TiffLayout& l, uint64_t pixels) {
    const uint64_t perPixel = l.planar ? 1 : l.samples;
    return (pixels * perPixel * l.bits + 7) / 8;
}

TiffRowConverter::TiffRowConverter(const TiffLayout& layout, int width,
                                   const SrgbConversion* cmykProfile)
    : l_(layout), width_(width), cmykProfile_(cmykProfile), planes_(tiffPlanesRead(layout)) {
    switch (l_.photometric) {
        case PHOTOMETRIC_MINISWHITE:
        case PHOTOMETRIC_MINISBLACK:
            model_ = Model::Grey;
            break;
        case PHOTOMETRIC_SEPARATED:
            model_ = Model::Cmyk;
            break;
        default:  // RGB, palette and Lab become RGB
            model_ = Model::Rgb;
            break;
    }
    const bool mapped = l_.photometric == PHOTOMETRIC_PALETTE ||
                        l_.photometric == PHOTOMETRIC_CIELAB ||
                        l_.photometric == PHOTOMETRIC_ICCLAB;
    direct_ = !l_.planar && l_.bits == 8 && !mapped;
    stride_ = (model_ == Model::Grey ? 1 : model_ == Model::Rgb ? 3 : 4) + (l_.alpha >= 0);
    if (!direct_) unpacked_.resize(size_t(width_) * size_t(stride_));
    if (model_ == Model::Cmyk && cmykProfile_) cmyk_.resize(size_t(width_) * 4);
    if (mapped && l_.photometric != PHOTOMETRIC_PALETTE) {
        lab_.resize(size_t(width_) * 3);
        rgb_.resize(size_t(width_) * 3);
        prepareWhite();
    }
}

void TiffRowConverter::convert(const uchar* const* rows, uchar* bgrx) {
    if (direct_) {
        finish(rows[0], l_.samples, l_.alpha, l_.photometric == PHOTOMETRIC_MINISWHITE, bgrx);
        return;
    }
    if (!lab_.empty()) {
        labToRgb(rows);
    } else {
        unpack(rows);
    }
    finish(unpacked_.data(), stride_, l_.alpha >= 0 ? stride_ - 1 : -1, false, bgrx);
}

void TiffRowConverter::prepareWhite() {
    // Lab relative to another white (ImageMagick writes D65's) is taken back
    // to XYZ of that white, adapted to D50 by the Bradford transform, and
    // made Lab of D50 again.
    const cmsCIEXYZ* d50 = cmsD50_XYZ();
    if (!(l_.whiteX > 0 && l_.whiteY > 0 && l_.whiteX + l_.whiteY < 1)) return;
    const cmsCIExyY xyY{l_.whiteX, l_.whiteY, 1.0};
    cmsCIEXYZ white;
    cmsxyY2XYZ(&white, &xyY);
    if (std::abs(white.X - d50->X) < 1e-3 && std::abs(white.Z - d50->Z) < 1e-3) return;
    // The adaptation is linear: its columns are the adapted unit vectors.
    for (int column = 0; column < 3; ++column) {
        const cmsCIEXYZ unit{column == 0 ? 1.0 : 0.0, column == 1 ? 1.0 : 0.0,
                             column == 2 ? 1.0 : 0.0};
        cmsCIEXYZ adapted;
        if (!cmsAdaptToIlluminant(&adapted, &white, d50, &unit)) return;
        toD50_[column] = adapted.X, toD50_[3 + column] = adapted.Y;
        toD50_[6 + column] = adapted.Z;
    }
    whiteXyz_[0] = white.X, whiteXyz_[1] = white.Y, whiteXyz_[2] = white.Z;
    adapt_ = true;
}

void TiffRowConverter::unpack(const uchar* const* rows) {
    const TiffSamples sample(l_, planes_, rows);
    const int bits = l_.bits;
    const bool white = l_.photometric == PHOTOMETRIC_MINISWHITE;
    uchar* out = unpacked_.data();
    for (int x = 0; x < width_; ++x, out += stride_) {
        if (l_.photometric == PHOTOMETRIC_PALETTE) {
            const uint32_t index = sample(0, x);
            const QRgb p = index < l_.palette.size() ? l_.palette[index] : qRgb(0, 0, 0);
            out[0] = uchar(qRed(p)), out[1] = uchar(qGreen(p)), out[2] = uchar(qBlue(p));
        } else {
            for (int c = 0; c < l_.colours; ++c) {
                const uchar v = to8(sample(c, x), bits);
                out[c] = white ? uchar(255 - v) : v;
            }
        }
        if (l_.alpha >= 0) out[stride_ - 1] = to8(sample(l_.alpha, x), bits);
    }
}

void TiffRowConverter::labToRgb(const uchar* const* rows) {
    const TiffSamples sample(l_, planes_, rows);
    const int bits = l_.bits;
    // CIELab stores a* and b* as signed numbers, ICCLab offset by half their
    // range; 16-bit values take 256 steps a unit, 8-bit ones one step.
    // ICCLab's 16-bit L* reaches 100 at 0xFF00.
    const bool icc = l_.photometric == PHOTOMETRIC_ICCLAB;
    const double lightTop = icc && bits == 16 ? 65280.0 : double((1u << bits) - 1u);
    const double unit = bits == 16 ? 256.0 : 1.0;
    const int64_t half = int64_t(1) << (bits - 1);
    float* lab = lab_.data();
    for (int x = 0; x < width_; ++x, lab += 3) {
        lab[0] = float(sample(0, x) * 100.0 / lightTop);
        for (int c = 1; c < 3; ++c) {
            const int64_t v = sample(c, x);
            const int64_t centred = icc ? v - half : (v >= half ? v - 2 * half : v);
            lab[c] = float(double(centred) / unit);
        }
        if (adapt_) {
            const cmsCIEXYZ white{whiteXyz_[0], whiteXyz_[1], whiteXyz_[2]};
            const cmsCIELab own{lab[0], lab[1], lab[2]};
            cmsCIEXYZ xyz;
            cmsLab2XYZ(&white, &xyz, &own);
            const double* m = toD50_;
            const cmsCIEXYZ d50{m[0] * xyz.X + m[1] * xyz.Y + m[2] * xyz.Z,
                                m[3] * xyz.X + m[4] * xyz.Y + m[5] * xyz.Z,
                                m[6] * xyz.X + m[7] * xyz.Y + m[8] * xyz.Z};
            cmsCIELab pcs;
            cmsXYZ2Lab(cmsD50_XYZ(), &pcs, &d50);
            lab[0] = float(pcs.L), lab[1] = float(pcs.a), lab[2] = float(pcs.b);
        }
    }
    cmsDoTransform(labTransform(), lab_.data(), rgb_.data(), cmsUInt32Number(width_));
    uchar* out = unpacked_.data();
    for (int x = 0; x < width_; ++x, out += stride_) {
        std::memcpy(out, &rgb_[size_t(x) * 3], 3);
        if (l_.alpha >= 0) out[3] = to8(sample(l_.alpha, x), bits);
    }
}

void TiffRowConverter::finish(const uchar* s, int stride, int alpha, bool invert, uchar* bgrx) {
    if (model_ == Model::Cmyk && cmykProfile_) {
        for (int x = 0; x < width_; ++x)
            std::memcpy(&cmyk_[size_t(x) * 4], s + size_t(x) * stride, 4);
        cmykProfile_->convertCmyk(cmyk_.data(), bgrx, size_t(width_));
    }
    uchar* out = bgrx;
    for (int x = 0; x < width_; ++x, s += stride, out += 4) {
        int r = 0, g = 0, b = 0;
        switch (model_) {
            case Model::Grey:
                r = g = b = invert ? 255 - s[0] : s[0];
                break;
            case Model::Rgb:
                r = s[0], g = s[1], b = s[2];
                break;
            case Model::Cmyk:
                if (cmykProfile_) {
                    r = out[2], g = out[1], b = out[0];
                } else {
                    // libtiff's ink arithmetic, which Qt's reader used before.
                    const int k = 255 - s[3];
                    r = (255 - s[0]) * k / 255;
                    g = (255 - s[1]) * k / 255;
                    b = (255 - s[2]) * k / 255;
                }
                break;
        }
        if (alpha >= 0) {
            const int a = s[alpha];
            r = over(r, a, l_.associated), g = over(g, a, l_.associated);
            b = over(b, a, l_.associated);
        }
        out[0] = uchar(b);
        out[1] = uchar(g);
        out[2] = uchar(r);
        out[3] = 0xff;
    }
}

}  // namespace miniskop
