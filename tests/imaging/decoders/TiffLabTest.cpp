// CIE L*a*b* TIFFs written byte by byte: white stays white and known
// colours come out as sRGB has them, whether the file names no white point
// (D50, as Photoshop writes them) or D65's (as ImageMagick writes them).
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>
#include <optional>
#include <vector>

#include "PictureSource.h"
#include "ThumbnailTestPictures.h"

namespace miniskop {
namespace {

struct Lab {
    double l, a, b;
};

// An uncompressed 8-bit CIELab TIFF, one pixel a colour in a row, with the
// white point tag when `white` (CIE xy) is given.
QByteArray labTiff(const std::vector<Lab>& colours,
                   std::optional<std::pair<double, double>> white) {
    QByteArray pixels;
    for (const Lab& c : colours) {
        pixels.append(char(std::lround(c.l * 255.0 / 100.0)));
        pixels.append(char(std::lround(c.a)));  // signed
        pixels.append(char(std::lround(c.b)));
    }
    struct Entry {
        quint16 tag, type;
        quint32 count, value;
    };
    std::vector<Entry> entries = {
        {256, 3, 1, quint32(colours.size())},  // width
        {257, 3, 1, 1},                        // height
        {258, 3, 3, 0},                        // bits per sample: 8, 8, 8 (below)
        {259, 3, 1, 1},                        // no compression
        {262, 3, 1, 8},                        // CIELab
        {273, 4, 1, 0},                        // strip offset (below)
        {277, 3, 1, 3},                        // samples per pixel
        {278, 3, 1, 1},                        // rows per strip
        {279, 4, 1, quint32(pixels.size())},   // strip bytes
    };
    if (white) entries.push_back({318, 5, 2, 0});  // white point: two rationals (below)
    const quint32 extra = 8 + 2 + quint32(entries.size()) * 12 + 4;  // after the directory
    const quint32 bits = extra, whitePoint = extra + 6, data = extra + 6 + 16;
    QByteArray out("II*\0", 4);
    auto u16 = [&out](quint32 v) { out.append(char(v & 0xff)).append(char((v >> 8) & 0xff)); };
    auto u32 = [&](quint32 v) { u16(v & 0xffff), u16(v >> 16); };
    u32(8);
    u16(quint32(entries.size()));
    for (Entry e : entries) {
        if (e.tag == 258) e.value = bits;
        if (e.tag == 273) e.value = data;
        if (e.tag == 318) e.value = whitePoint;
        u16(e.tag), u16(e.type), u32(e.count);
        if (e.type == 3 && e.count == 1) {
            u16(e.value), u16(0);
        } else {
            u32(e.value);
        }
    }
    u32(0);
    u16(8), u16(8), u16(8);
    for (double v : {white ? white->first : 0.0, white ? white->second : 0.0})
        u32(quint32(std::lround(v * 1000000))), u32(1000000);
    return out + pixels;
}

TEST(TiffLab, WhiteStaysWhiteAndColoursAreSrgbs) {
    // sRGB's white, grey 128, red and blue as L*a*b* relative to D50 and to
    // D65 (the same colours: Bradford-adapted, as LittleCMS does).
    struct Case {
        const char* name;
        std::optional<std::pair<double, double>> white;
        std::vector<Lab> colours;
    };
    const Case cases[] = {
        {"no white point (D50)",
         {},
         {{100, 0, 0}, {53.59, 0, 0}, {54.29, 80.81, 69.89}, {29.57, 68.30, -112.03}}},
        {"D65",
         std::pair{0.3127, 0.3290},
         {{100, 0, 0}, {53.59, 0, 0}, {53.24, 80.09, 67.20}, {32.30, 79.19, -107.86}}},
    };
    const QRgb expected[] = {qRgb(255, 255, 255), qRgb(128, 128, 128), qRgb(255, 0, 0),
                             qRgb(0, 0, 255)};
    QTemporaryDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString name = dir.filePath("lab.tif");
        ASSERT_TRUE(testpics::writeBytes(name, labTiff(c.colours, c.white)));
        auto source = PictureSource::open(name);
        ASSERT_TRUE(source.has_value()) << source.error().message.toStdString();
        const Expected<QImage> image = source->decodeScaledTo(QSize(4, 1));
        ASSERT_TRUE(image.has_value()) << image.error().message.toStdString();
        for (int x = 0; x < 4; ++x) {
            // Eight bits of L*, a* and b* are good to a few levels of sRGB.
            EXPECT_LE(testpics::channelDistance(image->pixel(x, 0), expected[x]), 3)
                << "colour " << x << ": " << qRed(image->pixel(x, 0)) << ","
                << qGreen(image->pixel(x, 0)) << "," << qBlue(image->pixel(x, 0));
        }
    }
}

}  // namespace
}  // namespace miniskop
