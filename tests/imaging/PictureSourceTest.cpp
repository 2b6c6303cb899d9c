// Picture decoding: every kind of file the program reads, with correct
// colours, EXIF orientation, reduced JPEG decoding that never falls short of
// the requested size, and damaged or disguised files.
#include <gtest/gtest.h>

#include <QImageReader>
#include <QTemporaryDir>

#include "DecodeLimit.h"
#include "ExifOrientation.h"
#include "JpegRows.h"
#include "PictureSource.h"
#include "ThumbnailTestPictures.h"

namespace miniskop {
namespace {

using testpics::channelDistance;

class PictureSourceTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return dir_.filePath(name); }

    // Opens and fully decodes, failing the test on error.
    QImage load(const QString& file) {
        auto source = PictureSource::open(file);
        EXPECT_TRUE(source.has_value()) << (source ? "" : source.error().message.toStdString());
        if (!source) return {};
        auto image = source->decode();
        EXPECT_TRUE(image.has_value()) << (image ? "" : image.error().message.toStdString());
        if (!image) return {};
        EXPECT_EQ(image->size(), source->naturalSize());
        EXPECT_EQ(image->format(), QImage::Format_RGB32);
        return *image;
    }

    bool fails(const QString& file) {
        auto source = PictureSource::open(file);
        return !source || !source->decode().has_value() ||
               !source->decodeScaledTo(QSize(10, 10)).has_value();
    }

    QTemporaryDir dir_;
};

// The same file through Qt's own JPEG reader, as an independent reference.
QImage qtJpeg(const QString& file) {
    QImageReader reader(file, "jpeg");
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

// Four quadrants of plain colours.
QImage quadrants(int size, QRgb a, QRgb b, QRgb c, QRgb d) {
    QImage image(size, size, QImage::Format_RGB32);
    const int h = size / 2;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            image.setPixel(x, y, y < h ? (x < h ? a : b) : (x < h ? c : d));
    return image;
}

void expectQuadrants(const QImage& image, QRgb a, QRgb b, QRgb c, QRgb d, int tolerance) {
    const int q = image.width() / 4, r = image.width() * 3 / 4;
    EXPECT_LE(channelDistance(image.pixel(q, q), a), tolerance);
    EXPECT_LE(channelDistance(image.pixel(r, q), b), tolerance);
    EXPECT_LE(channelDistance(image.pixel(q, r), c), tolerance);
    EXPECT_LE(channelDistance(image.pixel(r, r), d), tolerance);
}

TEST_F(PictureSourceTest, JpegInColourGreyAndProgressive) {
    const QImage photo = testpics::photoLike(96, 64, 11);
    ASSERT_TRUE(testpics::writeJpeg(path("c.jpg"), photo));
    EXPECT_GE(testpics::psnr(load(path("c.jpg")), qtJpeg(path("c.jpg"))), 45.0);

    testpics::JpegOptions progressive;
    progressive.progressive = true;
    ASSERT_TRUE(testpics::writeJpeg(path("p.jpg"), photo, progressive));
    EXPECT_GE(testpics::psnr(load(path("p.jpg")), qtJpeg(path("p.jpg"))), 45.0);

    testpics::JpegOptions grey;
    grey.kind = testpics::JpegKind::Grey;
    ASSERT_TRUE(testpics::writeJpeg(path("g.jpg"), photo, grey));
    const QImage g = load(path("g.jpg"));
    ASSERT_EQ(g.size(), photo.size());
    for (QPoint p : {QPoint(3, 3), QPoint(50, 20), QPoint(90, 60)}) {
        const QRgb px = g.pixel(p);
        EXPECT_TRUE(qRed(px) == qGreen(px) && qGreen(px) == qBlue(px));
        EXPECT_NEAR(qRed(px), qGray(photo.pixel(p)), 24);
    }
}

TEST_F(PictureSourceTest, CmykAndYcckJpegGiveTheRightColours) {
    const QRgb red = qRgb(230, 20, 20), green = qRgb(30, 160, 60), blue = qRgb(40, 60, 200),
               grey = qRgb(128, 128, 128);
    const QImage picture = quadrants(64, red, green, blue, grey);
    for (auto kind : {testpics::JpegKind::Cmyk, testpics::JpegKind::Ycck}) {
        testpics::JpegOptions options;
        options.kind = kind;
        ASSERT_TRUE(testpics::writeJpeg(path("k.jpg"), picture, options));
        expectQuadrants(load(path("k.jpg")), red, green, blue, grey, 10);
        // The reduced decoding converts the same way.
        auto source = PictureSource::open(path("k.jpg"));
        ASSERT_TRUE(source.has_value());
        auto small = source->decodeScaledTo(QSize(8, 8));
        ASSERT_TRUE(small.has_value());
        expectQuadrants(*small, red, green, blue, grey, 10);
    }
}

TEST_F(PictureSourceTest, PngSixteenBitAndTransparencyLaidOnWhite) {
    QImage deep(40, 20, QImage::Format_RGBA64);
    deep.fill(QColor::fromRgba64(65535, 32768, 0, 65535));
    for (int y = 0; y < 20; ++y)
        for (int x = 20; x < 40; ++x) deep.setPixelColor(x, y, QColor::fromRgba64(0, 0, 65535, 0));
    ASSERT_TRUE(deep.save(path("deep.png")));
    ASSERT_EQ(uchar(testpics::readBytes(path("deep.png")).at(24)), 16);  // bit depth
    const QImage d = load(path("deep.png"));
    EXPECT_LE(channelDistance(d.pixel(5, 5), qRgb(255, 128, 0)), 1);
    EXPECT_EQ(d.pixel(30, 5), qRgb(255, 255, 255));  // transparent: white, not blue

    QImage half(10, 10, QImage::Format_ARGB32);
    half.fill(qRgba(255, 0, 0, 128));
    ASSERT_TRUE(half.save(path("half.png")));
    EXPECT_LE(channelDistance(load(path("half.png")).pixel(4, 4), qRgb(255, 127, 127)), 1);
}

TEST_F(PictureSourceTest, BmpDecodesExactly) {
    const QImage photo = testpics::photoLike(33, 21, 5);
    ASSERT_TRUE(photo.save(path("b.bmp"), "BMP"));
    EXPECT_EQ(load(path("b.bmp")), photo);
}

// A two-frame GIF with a 4-colour palette, every code a literal.
QByteArray twoFrameGif(int w, int h) {
    QByteArray b("GIF89a");
    auto u16 = [&](int v) { b.append(char(v & 0xff)).append(char(v >> 8)); };
    u16(w), u16(h);
    b.append(char(0x91)).append(char(0)).append(char(0));
    const uchar palette[12] = {255, 0, 0, 0, 0, 255, 0, 255, 0, 255, 255, 255};
    b.append(reinterpret_cast<const char*>(palette), 12);
    for (int frame = 0; frame < 2; ++frame) {
        b.append(char(0x2C));
        u16(0), u16(0), u16(w), u16(h);
        b.append(char(0)).append(char(2));  // no local palette; LZW minimum code size 2
        // Clear after every two literals keeps every code 3 bits wide.
        std::vector<int> codes;
        for (int i = 0; i < w * h; ++i) {
            if (i % 2 == 0) codes.push_back(4);
            const int x = i % w, y = i / w;
            codes.push_back(frame == 1 ? 2 : (x < w / 2 ? 0 : 1) + (y < h / 2 ? 0 : 0));
        }
        codes.push_back(5);
        QByteArray data;
        unsigned bits = 0, count = 0;
        for (int c : codes) {
            bits |= unsigned(c) << count;
            count += 3;
            while (count >= 8) data.append(char(bits & 0xff)), bits >>= 8, count -= 8;
        }
        if (count > 0) data.append(char(bits & 0xff));
        for (qsizetype at = 0; at < data.size(); at += 255) {
            const qsizetype n = std::min<qsizetype>(255, data.size() - at);
            b.append(char(n)).append(data.mid(at, n));
        }
        b.append(char(0));
    }
    b.append(char(0x3B));
    return b;
}

TEST_F(PictureSourceTest, GifGivesItsFirstFrame) {
    ASSERT_TRUE(testpics::writeBytes(path("a.gif"), twoFrameGif(16, 8)));
    const QImage g = load(path("a.gif"));
    ASSERT_EQ(g.size(), QSize(16, 8));
    EXPECT_EQ(g.pixel(2, 2), qRgb(255, 0, 0));
    EXPECT_EQ(g.pixel(13, 5), qRgb(0, 0, 255));
}

TEST_F(PictureSourceTest, FilesAreToldByContentNotByName) {
    const QImage photo = testpics::photoLike(30, 20, 2);
    ASSERT_TRUE(photo.save(path("png-named.jpg"), "PNG"));
    ASSERT_TRUE(testpics::writeJpeg(path("jpeg-named.bmp"), photo));
    EXPECT_EQ(load(path("png-named.jpg")), photo);
    EXPECT_GE(testpics::psnr(load(path("jpeg-named.bmp")), qtJpeg(path("jpeg-named.bmp"))), 45.0);
}

TEST_F(PictureSourceTest, ExifOrientationSixTurnsThePictureUpright) {
    // Stored 40 x 20: left half red, right half blue, green mark top left.
    QImage stored = quadrants(40, qRgb(220, 0, 0), qRgb(0, 0, 220), 0, 0).copy(0, 0, 40, 20);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) stored.setPixel(x, y, qRgb(0, 220, 0));
    for (bool bigEndian : {false, true}) {
        testpics::JpegOptions options;
        options.app1 = testpics::exifWithOrientation(6, bigEndian);
        ASSERT_TRUE(testpics::writeJpeg(path("o.jpg"), stored, options));
        auto source = PictureSource::open(path("o.jpg"));
        ASSERT_TRUE(source.has_value());
        EXPECT_EQ(source->naturalSize(), QSize(20, 40));
        const QImage shown = load(path("o.jpg"));
        ASSERT_EQ(shown.size(), QSize(20, 40));
        // Turned a quarter clockwise: the stored top left is now top right.
        EXPECT_LE(channelDistance(shown.pixel(17, 2), qRgb(0, 220, 0)), 30);
        EXPECT_LE(channelDistance(shown.pixel(5, 12), qRgb(220, 0, 0)), 30);
        EXPECT_LE(channelDistance(shown.pixel(10, 32), qRgb(0, 0, 220)), 30);
        auto thumb = source->decodeScaledTo(QSize(10, 20));
        ASSERT_TRUE(thumb.has_value());
        EXPECT_LE(channelDistance(thumb->pixel(5, 15), qRgb(0, 0, 220)), 30);
    }
}

TEST(ExifOrientation, AllEightTransformsPlaceTheCornerPixels) {
    QImage stored(3, 2, QImage::Format_RGB32);
    for (int i = 0; i < 6; ++i) stored.setPixel(i % 3, i / 3, qRgb(i, 0, 0));
    // Where stored (0,0) and (1,0) are shown, per orientation.
    const QPoint expected[9][2] = {{},
                                   {{0, 0}, {1, 0}},
                                   {{2, 0}, {1, 0}},
                                   {{2, 1}, {1, 1}},
                                   {{0, 1}, {1, 1}},
                                   {{0, 0}, {0, 1}},
                                   {{1, 0}, {1, 1}},
                                   {{1, 2}, {1, 1}},
                                   {{0, 2}, {0, 1}}};
    for (int o = 1; o <= 8; ++o) {
        const QImage shown = applyOrientation(stored, o);
        EXPECT_EQ(shown.size(), o >= 5 ? QSize(2, 3) : QSize(3, 2)) << o;
        EXPECT_EQ(qRed(shown.pixel(expected[o][0])), 0) << o;
        EXPECT_EQ(qRed(shown.pixel(expected[o][1])), 1) << o;
    }
}

TEST(ExifOrientation, MalformedSegmentsMeanNoTurn) {
    const QByteArray good = testpics::exifWithOrientation(8);
    auto read = [](const QByteArray& b) {
        return exifOrientation(reinterpret_cast<const unsigned char*>(b.constData()),
                               std::size_t(b.size()));
    };
    EXPECT_EQ(read(good), 8);
    EXPECT_EQ(read(testpics::exifWithOrientation(9)), 1);  // out of range
    for (int cut = 0; cut < 26; ++cut) EXPECT_EQ(read(good.left(cut)), 1) << cut;
    QByteArray farOffset = good;
    farOffset[10] = char(0xF0);  // first IFD far outside the segment
    EXPECT_EQ(read(farOffset), 1);
    QByteArray manyEntries = good;
    manyEntries[14] = char(0xFF), manyEntries[15] = char(0xFF);
    manyEntries[16] = 0;  // first entry is no longer the orientation
    EXPECT_EQ(read(manyEntries), 1);
    EXPECT_EQ(read(QByteArray("JFIF\0\0II*\0", 10)), 1);
    EXPECT_EQ(exifOrientation(nullptr, 100), 1);
}

TEST_F(PictureSourceTest, ReducedJpegDecodingNeverFallsShort) {
    ASSERT_TRUE(testpics::writeJpeg(path("big.jpg"), testpics::photoLike(1000, 750, 4)));
    auto source = PictureSource::open(path("big.jpg"));
    ASSERT_TRUE(source.has_value());
    for (QSize want : {QSize(120, 90), QSize(126, 1), QSize(1, 94), QSize(0, 0), QSize(250, 10),
                       QSize(999, 749), QSize(1000, 750), QSize(2000, 1500)}) {
        auto image = source->decode(want);
        ASSERT_TRUE(image.has_value());
        EXPECT_GE(image->width(), std::min(std::max(want.width(), 1), 1000));
        EXPECT_GE(image->height(), std::min(std::max(want.height(), 1), 750));
        EXPECT_LE(image->width(), 1000);
    }
    EXPECT_EQ(source->decode(QSize(120, 90))->size(), QSize(125, 94));   // 1/8
    EXPECT_EQ(source->decode(QSize(126, 90))->size(), QSize(250, 188));  // 2/8
    EXPECT_EQ(source->decode()->size(), QSize(1000, 750));
    EXPECT_EQ(jpegScaleFor(QSize(1000, 750), QSize(625, 1)), 5);
    EXPECT_EQ(jpegScaleFor(QSize(1000, 750), QSize(626, 1)), 6);
}

TEST_F(PictureSourceTest, DamagedEmptyAndDisguisedFilesFail) {
    ASSERT_TRUE(testpics::writeJpeg(path("ok.jpg"), testpics::photoLike(200, 150, 9)));
    const QByteArray jpeg = testpics::readBytes(path("ok.jpg"));
    ASSERT_TRUE(testpics::writeBytes(path("empty.jpg"), QByteArray()));
    ASSERT_TRUE(testpics::writeBytes(path("text.gif"), "just some words\n"));
    ASSERT_TRUE(
        testpics::writeBytes(path("header-only.jpg"), jpeg.left(jpeg.indexOf("\xFF\xDA") + 20)));
    ASSERT_TRUE(testpics::writeBytes(path("cut-header.jpg"), jpeg.left(60)));
    ASSERT_TRUE(testpics::writeBytes(path("cut-data.jpg"), jpeg.left(jpeg.size() * 2 / 3)));
    testpics::JpegOptions progressive;
    progressive.progressive = true;
    ASSERT_TRUE(
        testpics::writeJpeg(path("ok-p.jpg"), testpics::photoLike(200, 150, 9), progressive));
    const QByteArray pjpeg = testpics::readBytes(path("ok-p.jpg"));
    ASSERT_TRUE(testpics::writeBytes(path("cut-p.jpg"), pjpeg.left(pjpeg.size() / 2)));
    ASSERT_TRUE(testpics::writeBytes(path("soi-garbage.jpg"),
                                     QByteArray("\xFF\xD8\xFF") + QByteArray(300, '\x11')));
    QByteArray png;
    {
        ASSERT_TRUE(testpics::photoLike(50, 50, 1).save(path("ok.png")));
        png = testpics::readBytes(path("ok.png"));
    }
    ASSERT_TRUE(testpics::writeBytes(path("cut.png"), png.left(png.size() / 3)));
    for (const char* name :
         {"empty.jpg", "text.gif", "header-only.jpg", "cut-header.jpg", "cut-data.jpg", "cut-p.jpg",
          "soi-garbage.jpg", "cut.png", "missing.bmp"})
        EXPECT_TRUE(fails(path(name))) << name;
}

TEST_F(PictureSourceTest, HugeDeclaredSizesAreRefused) {
    // A JPEG whose frame header claims 60000 x 60000.
    ASSERT_TRUE(testpics::writeJpeg(path("ok.jpg"), testpics::photoLike(16, 16, 1)));
    QByteArray jpeg = testpics::readBytes(path("ok.jpg"));
    const qsizetype sof = jpeg.indexOf("\xFF\xC0");
    ASSERT_GT(sof, 0);
    jpeg[sof + 5] = char(0xEA), jpeg[sof + 6] = char(0x60);  // height 60000
    jpeg[sof + 7] = char(0xEA), jpeg[sof + 8] = char(0x60);  // width 60000
    ASSERT_TRUE(testpics::writeBytes(path("huge.jpg"), jpeg));
    auto source = PictureSource::open(path("huge.jpg"));
    ASSERT_TRUE(source.has_value());
    EXPECT_EQ(source->naturalSize(), QSize(60000, 60000));
    EXPECT_FALSE(source->decode().has_value());  // 14 GB of pixels: refused up front
    EXPECT_FALSE(source->decodeScaledTo(QSize(120, 120)).has_value());  // no data behind it

    // Bitmap headers claiming the same, and the largest sides a header can
    // hold, whose bytes no 64-bit product of sides and depth holds.
    for (const quint32 side : {60000u, 0x7fffffffu}) {
        SCOPED_TRACE(side);
        QByteArray bmp("BM");
        auto u32 = [&](quint32 v) {
            for (int i = 0; i < 4; ++i) bmp.append(char((v >> (8 * i)) & 0xff));
        };
        u32(54 + 64), u32(0), u32(54), u32(40), u32(side), u32(side);
        bmp.append(char(1)).append(char(0)).append(char(24)).append(char(0));
        u32(0), u32(0), u32(2835), u32(2835), u32(0), u32(0);
        bmp.append(QByteArray(64, '\x7f'));
        ASSERT_TRUE(testpics::writeBytes(path("huge.bmp"), bmp));
        EXPECT_TRUE(fails(path("huge.bmp")));
    }
}

// What decoding holds, not the pixel count, decides: under a limit of 4 MB,
// pictures of 1.2 megapixels (4.8 MB at 32 bits) that are read a few rows at
// a time are made, one that holds every coefficient is refused with both
// amounts, before anything is decoded.
TEST_F(PictureSourceTest, MemoryNotPixelCountDecidesARefusal) {
    const QImage picture = testpics::plain(1200, 1000, qRgb(90, 140, 200));
    ASSERT_TRUE(picture.convertToFormat(QImage::Format_RGBX64).save(path("deep.png")));
    ASSERT_TRUE(picture.save(path("strips.tif")));
    ASSERT_TRUE(picture.save(path("rows.bmp")));
    ASSERT_TRUE(testpics::writeJpeg(path("plain.jpg"), picture));
    testpics::JpegOptions progressive;
    progressive.progressive = true;
    progressive.fullChroma = true;  // 6 bytes a pixel of coefficients
    ASSERT_TRUE(testpics::writeJpeg(path("progressive.jpg"), picture, progressive));

    const qint64 before = decodeLimit();
    const qint64 limit = qint64(4) << 20;
    setDecodeLimit(limit);
    for (const char* name :
         {"deep.png", "strips.tif", "rows.bmp", "plain.jpg", "progressive.jpg"}) {
        SCOPED_TRACE(name);
        auto source = PictureSource::open(path(name));
        ASSERT_TRUE(source.has_value()) << source.error().message.toStdString();
        const auto thumbnail = source->decodeScaledTo(QSize(120, 100));
        if (QByteArray(name) != "progressive.jpg") {
            EXPECT_TRUE(thumbnail.has_value()) << thumbnail.error().message.toStdString();
            EXPECT_LT(source->decodeBytes(QSize(120, 100)), limit);
            continue;
        }
        ASSERT_FALSE(thumbnail.has_value());
        const Failure& refusal = thumbnail.error();
        EXPECT_GE(refusal.neededBytes, qint64(1200) * 1000 * 6);
        EXPECT_EQ(refusal.allowedBytes, limit);
        EXPECT_TRUE(refusal.message.startsWith(QStringLiteral("zu groß: braucht ")))
            << refusal.message.toStdString();
    }
    setDecodeLimit(before);
}

}  // namespace
}  // namespace miniskop
