// The pixel half of the TIFF decoder: what a page holds (TiffLayout), and the
// turning of its rows of samples, as libtiff hands them out, into blue,
// green, red, x pixels. Samples of any width from 1 to 16 bits, interleaved
// in one row or stored apart in one plane each; grey of either polarity,
// palette, RGB, CMYK (through its profile, else by plain ink arithmetic) and
// CIE L*a*b* (relative to the white the file names, D50 when it names none,
// adapted to sRGB's white through LittleCMS, so that white stays white);
// an alpha channel is laid on white. Every pixel of a row is written.
#pragma once

#include <QByteArray>
#include <QRgb>
#include <QSize>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace miniskop {

class SrgbConversion;

// What the first page holds, as far as the decoder reads it.
struct TiffLayout {
    QSize stored;
    int orientation = 1;
    uint16_t photometric = 0;
    uint16_t bits = 0;        // per sample, 1 to 16
    uint16_t samples = 1;     // per pixel, extra samples included
    int colours = 1;          // colour samples: 1 grey or palette, 3 RGB or Lab, 4 CMYK
    int alpha = -1;           // sample index of the alpha channel, or -1
    bool associated = false;  // alpha already multiplied into the colours
    bool planar = false;      // every sample in a plane of its own
    bool tiled = false;
    uint32_t tileWidth = 0, tileHeight = 0;
    std::vector<QRgb> palette;      // 2^bits entries for a palette picture
    double whiteX = 0, whiteY = 0;  // CIE xy of the white L*a*b* is relative to
    QByteArray icc;
    bool streamable = false;  // a layout this decoder reads
};

// True when CIE L*a*b* pictures can be converted (LittleCMS made the
// conversion).
bool tiffLabAvailable();

// The planes a row is read from: the one interleaved plane, or for planar
// pictures those of the colour samples and the alpha channel (by sample
// index; the alpha channel follows the colours); other extra samples are
// never read.
std::vector<int> tiffPlanesRead(const TiffLayout& layout);

// Bytes of `pixels` samples of one plane (planar) or of every sample of
// `pixels` pixels (interleaved), each row starting on a byte.
uint64_t tiffRowBytes(const TiffLayout& layout, uint64_t pixels);

// Turns rows of one page into pixels. Not for use by several threads at once.
class TiffRowConverter {
public:
    // `cmykProfile` (may be null) converts CMYK pixels to sRGB.
    TiffRowConverter(const TiffLayout& layout, int width, const SrgbConversion* cmykProfile);

    // `rows` holds one row per plane of tiffPlanesRead(), in that order;
    // `bgrx` receives the row's width pixels of 4 bytes.
    void convert(const uchar* const* rows, uchar* bgrx);

private:
    enum class Model { Grey, Rgb, Cmyk };
    void unpack(const uchar* const* rows);
    void prepareWhite();
    void labToRgb(const uchar* const* rows);
    void finish(const uchar* samples, int stride, int alpha, bool invert, uchar* bgrx);

    const TiffLayout& l_;
    int width_;
    const SrgbConversion* cmykProfile_;
    std::vector<int> planes_;  // tiffPlanesRead()
    Model model_ = Model::Rgb;
    bool direct_ = false;  // 8-bit interleaved samples are used as they come
    int stride_ = 0;       // samples per pixel in unpacked_
    std::vector<uchar> unpacked_;
    std::vector<uchar> cmyk_;
    std::vector<float> lab_;
    std::vector<uchar> rgb_;
    bool adapt_ = false;       // L*a*b* relative to another white than D50
    double toD50_[9] = {};     // that white's XYZ to D50's (Bradford)
    double whiteXyz_[3] = {};  // that white as XYZ
};

}  // namespace miniskop
