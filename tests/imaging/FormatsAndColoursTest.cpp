// HEIC, AVIF, JPEG XL and TIFF against independent decoders, colours from
// embedded profiles against the picture's true colours and against
// ImageMagick's conversion, damaged profiles, the HEIF thumbnail rule and
// oversized headers. The pictures are made by the real encoders at test time.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "ExternalCodecs.h"
#include "PictureSource.h"
#include "ThumbnailSize.h"
#include "ThumbnailTestPictures.h"

namespace miniskop {
namespace {

using testcodecs::run;

const QString kIcc = QStringLiteral("/usr/share/color/icc");

class FormatsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QString missing =
            testcodecs::missingTools({"heif-enc", "heif-convert", "avifenc", "avifdec", "cjxl",
                                      "djxl", "convert", "tiffcp"});
        if (!missing.isEmpty())
            GTEST_SKIP() << "needs the Debian packages " << missing.toStdString();
        if (!QFile::exists(kIcc + "/colord/ProPhotoRGB.icc"))
            GTEST_SKIP() << "needs the Debian packages colord-data icc-profiles-free";
        photo_ = testpics::photoLike(240, 160, 7);
        ASSERT_TRUE(photo_.save(path("photo.png")));
        QImage alpha = photo_.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < alpha.height(); ++y)
            for (int x = 0; x < alpha.width(); ++x)
                alpha.setPixel(x, y,
                               (alpha.pixel(x, y) & 0xffffffu) | (quint32(x + y) % 256u << 24));
        ASSERT_TRUE(alpha.save(path("alpha.png")));
    }

    QString path(const QString& name) const { return dir_.filePath(name); }

    // The thumbnail of `file` within `bound` against `reference` as the
    // program shows it (laid on white, area-averaged to the same size).
    double psnrOf(const QString& file, const QImage& reference, float bound = 120) {
        auto source = PictureSource::open(path(file));
        EXPECT_TRUE(source.has_value()) << (source ? "" : source.error().message.toStdString());
        if (!source) return 0;
        EXPECT_EQ(source->naturalSize(), reference.size());
        const Expected<QSize> target =
            thumbnailSize(float(reference.width()), float(reference.height()), bound, false);
        auto thumb = source->decodeScaledTo(*target);
        EXPECT_TRUE(thumb.has_value()) << (thumb ? "" : thumb.error().message.toStdString());
        if (!thumb) return 0;
        return testpics::psnr(
            *thumb, testpics::referenceAreaAverage(testcodecs::onWhite(reference), *target));
    }

    QImage image(const QString& name) { return QImage(path(name)); }

    QTemporaryDir dir_;
    QImage photo_;
};

TEST_F(FormatsTest, EachFormatDecodesAsAnIndependentDecoderDoes) {
    struct Case {
        QString file;
        QStringList encode;  // program and arguments; decoded by `decode` into ref.png
        QStringList decode;
        double atLeast;  // dB
        float bound = 120;
    };
    const QString im = QStringLiteral("convert");
    const Case cases[] = {
        {"p.heic",
         {"heif-enc", "-q", "90", "photo.png", "-o", "p.heic"},
         {"heif-convert", "p.heic"},
         45},
        {"a.heic",
         {"heif-enc", "-q", "90", "alpha.png", "-o", "a.heic"},
         {"heif-convert", "a.heic"},
         45},
        {"p.avif", {"avifenc", "-s", "10", "photo.png", "p.avif"}, {"avifdec", "p.avif"}, 45},
        // 10 bits, 4:2:0; six times smaller, as libavif interpolates chroma
        // where the program repeats it.
        {"p10.avif",
         {"avifenc", "-s", "10", "-d", "10", "-y", "420", "photo.png", "p10.avif"},
         {"avifdec", "p10.avif"},
         45,
         40},
        {"g.png", {im, "photo.png", "-colorspace", "Gray", "g.png"}, {im, "g.png"}, 45},
        {"g.heic",
         {"heif-enc", "-q", "90", "g.png", "-o", "g.heic"},
         {"heif-convert", "g.heic"},
         45},
        {"p.jxl", {"cjxl", "photo.png", "p.jxl", "-d", "1"}, {"djxl", "p.jxl"}, 45},
        // Twelve pixels across: the 1:8 stage (30 x 20) is enough.
        {"p.jxl", {}, {"djxl", "p.jxl"}, 36, 12},
        {"a.jxl", {"cjxl", "alpha.png", "a.jxl", "-d", "0"}, {"djxl", "a.jxl"}, 45},
        {"lzw.tif", {im, "photo.png", "-compress", "lzw", "lzw.tif"}, {im, "lzw.tif"}, 45},
        {"t16.tif",
         {im, "photo.png", "-define", "tiff:tile-geometry=64x48", "-depth", "16", "t16.tif"},
         {im, "t16.tif"},
         45},
        {"g4.tif",
         {im, "photo.png", "-colorspace", "Gray", "-depth", "4", "g4.tif"},
         {im, "g4.tif"},
         45},
        {"white.tif",
         {im, "photo.png", "-colorspace", "Gray", "-define", "quantum:polarity=min-is-white",
          "white.tif"},
         {im, "white.tif"},
         45},
        {"pal.tif",
         {im, "photo.png", "-colors", "50", "-type", "Palette", "pal.tif"},
         {im, "pal.tif"},
         45},
        {"cmyk.tif", {im, "photo.png", "-colorspace", "CMYK", "cmyk.tif"}, {im, "cmyk.tif"}, 40},
        {"rgba.tif", {im, "alpha.png", "-compress", "zip", "rgba.tif"}, {im, "rgba.tif"}, 45},
        {"jpeg.tif", {im, "photo.png", "-compress", "jpeg", "jpeg.tif"}, {im, "jpeg.tif"}, 40},
        {"turned.tif",
         {im, "photo.png", "-orient", "RightTop", "turned.tif"},
         {im, "turned.tif", "-auto-orient"},
         45},
        // Planes stored apart, by strips and by tiles, 8 and 16 bits.
        {"sep.tif", {"tiffcp", "-p", "separate", "lzw.tif", "sep.tif"}, {im, "sep.tif"}, 45},
        {"sep16.tif",
         {im, "photo.png", "-depth", "16", "-interlace", "plane", "-compress", "lzw", "sep16.tif"},
         {im, "sep16.tif"},
         45},
        {"sept.tif",
         {im, "photo.png", "-depth", "16", "-interlace", "plane", "-define",
          "tiff:tile-geometry=64x48", "sept.tif"},
         {im, "sept.tif"},
         45},
        {"g12.tif",
         {im, "photo.png", "-colorspace", "Gray", "-depth", "12", "g12.tif"},
         {im, "g12.tif"},
         45},
        // CIE L*a*b* relative to D65 (the white point ImageMagick names),
        // against the picture it was made of.
        {"lab.tif",
         {im, "photo.png", "-colorspace", "Lab", "-depth", "16", "lab.tif"},
         {im, "photo.png"},
         45},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.toStdString() + " within " + std::to_string(c.bound));
        const QStringList paths = {path("photo.png"), path("alpha.png"), path(c.file)};
        auto local = [&](QStringList args) {
            for (QString& a : args)
                if (a.contains('.') && !a.startsWith('-') && !a.contains('=')) a = path(a);
            return args;
        };
        if (!c.encode.isEmpty()) {
            const QStringList args = local(c.encode);
            ASSERT_EQ(run(args.first(), args.mid(1)), QString());
        }
        const QStringList args = local(c.decode) << path("ref.png");
        ASSERT_EQ(run(args.first(), args.mid(1)), QString());
        EXPECT_GE(psnrOf(c.file, image("ref.png"), c.bound), c.atLeast);
    }
}

TEST_F(FormatsTest, JpegXlOrientationTurnsThePicture) {
    const QImage stored = testpics::photoLike(60, 40, 3);
    ASSERT_TRUE(testpics::writeBytes(path("o.jxl"), testcodecs::jxlWithOrientation(stored, 6)));
    ASSERT_EQ(run("djxl", {path("o.jxl"), path("ref.png")}), QString());
    ASSERT_EQ(image("ref.png").size(), QSize(40, 60));
    EXPECT_GE(psnrOf("o.jxl", image("ref.png"), 60), 45);
}

TEST_F(FormatsTest, AnEmbeddedHeifThumbnailIsUsedFromTwiceTheTargetSize) {
    // The thumbnail shows another picture than the primary image, so the
    // result tells which of the two was decoded.
    const QImage blue = testpics::plain(240, 160, qRgb(20, 40, 220));
    const QImage red = testpics::plain(240, 160, qRgb(220, 30, 20));
    const QByteArray heif = testcodecs::heifWithThumbnail(red, blue, 80);  // thumbnail 80 x 52
    ASSERT_FALSE(heif.isEmpty());
    ASSERT_TRUE(testpics::writeBytes(path("t.heic"), heif));
    auto source = PictureSource::open(path("t.heic"));
    ASSERT_TRUE(source.has_value());
    EXPECT_EQ(source->naturalSize(), QSize(240, 160));
    struct Row {
        QSize target;
        bool thumbnail;
    };
    for (const Row& row : {Row{QSize(30, 20), true}, Row{QSize(40, 26), true},
                           Row{QSize(41, 27), false}, Row{QSize(240, 160), false}}) {
        SCOPED_TRACE(row.target.width());
        auto thumb = source->decodeScaledTo(row.target);
        ASSERT_TRUE(thumb.has_value());
        ASSERT_EQ(thumb->size(), row.target);
        const QRgb centre = thumb->pixel(row.target.width() / 2, row.target.height() / 2);
        EXPECT_EQ(qBlue(centre) > qRed(centre), row.thumbnail);
    }
}

TEST_F(FormatsTest, WideGamutPicturesShowTheirTrueColours) {
    // The photograph converted into ProPhoto RGB and stored with that
    // profile in every container: each must come back to its sRGB colours.
    ASSERT_EQ(run("convert", {path("photo.png"), "-profile", kIcc + "/colord/sRGB.icc", "-profile",
                              kIcc + "/colord/ProPhotoRGB.icc", path("pp.png")}),
              QString());
    const QStringList makers[] = {
        {"convert", "pp.png", "-quality", "95", "pp.jpg"},
        {"convert", "pp.png", "pp.tif"},
        {"convert", "pp.png", "-define", "webp:lossless=true", "pp.webp"},
        {"heif-enc", "-q", "95", "pp.png", "-o", "pp.heic"},
        {"avifenc", "-s", "10", "pp.png", "pp.avif"},
        {"cjxl", "pp.png", "pp.jxl", "-d", "0.5"},
        {"cjxl", "pp.png", "pp-lossless.jxl", "-d", "0"},
    };
    for (const QStringList& maker : makers) {
        QStringList args = maker.mid(1);
        for (QString& a : args)
            if (a.startsWith("pp")) a = path(a);
        ASSERT_EQ(run(maker.first(), args), QString());
    }
    for (const char* file : {"pp.png", "pp.jpg", "pp.tif", "pp.webp", "pp.heic", "pp.avif",
                             "pp.jxl", "pp-lossless.jxl"}) {
        SCOPED_TRACE(file);
        EXPECT_GE(psnrOf(file, photo_), 34);
    }
    // The same pixels taken as sRGB are far off: the test means something.
    const QSize target(120, 80);
    EXPECT_LT(testpics::psnr(testpics::referenceAreaAverage(QImage(path("pp.png")), target),
                             testpics::referenceAreaAverage(photo_, target)),
              26);
}

TEST_F(FormatsTest, GreyAndCmykProfilesConvertAsImageMagickDoes) {
    const QString profile = path("tinted.icc");
    ASSERT_TRUE(testpics::writeBytes(profile, testcodecs::tintedCmykProfile()));
    const QString srgb = kIcc + "/colord/sRGB.icc";
    ASSERT_EQ(run("convert", {path("photo.png"), "-colorspace", "CMYK", path("plain.jpg")}),
              QString());
    ASSERT_EQ(run("convert", {path("plain.jpg"), "-profile", profile, path("cmyk.jpg")}),
              QString());
    ASSERT_EQ(run("convert", {path("cmyk.jpg"), "-profile", srgb, path("cmyk-ref.png")}),
              QString());
    ASSERT_EQ(run("convert", {path("photo.png"), "-colorspace", "Gray", path("g.jpg")}), QString());
    ASSERT_EQ(
        run("convert", {path("g.jpg"), "-profile", kIcc + "/Gray-CIE_L.icc", path("grey.jpg")}),
        QString());
    ASSERT_EQ(run("convert", {path("grey.jpg"), "-profile", srgb, path("grey-ref.png")}),
              QString());
    EXPECT_GE(psnrOf("cmyk.jpg", image("cmyk-ref.png")), 36);
    EXPECT_GE(psnrOf("grey.jpg", image("grey-ref.png")), 36);
    // Without their profiles the same pixels come out clearly otherwise.
    EXPECT_LT(psnrOf("plain.jpg", image("cmyk-ref.png")), 28);
    EXPECT_LT(psnrOf("g.jpg", image("grey-ref.png")), 33);
}

TEST_F(FormatsTest, ADamagedOrUnfittingProfileLeavesThePictureAsItIs) {
    ASSERT_TRUE(testpics::writeJpeg(path("plain.jpg"), photo_));
    const QByteArray jpeg = testpics::readBytes(path("plain.jpg"));
    QFile greyProfile(kIcc + "/Gray.icc"), wideProfile(kIcc + "/colord/ProPhotoRGB.icc");
    ASSERT_TRUE(greyProfile.open(QIODevice::ReadOnly) && wideProfile.open(QIODevice::ReadOnly));
    const QByteArray wide = wideProfile.readAll();
    const QByteArray profiles[] = {
        QByteArray(3000, '\x5a'),                 // no profile at all
        wide.left(300),                           // cut inside its tag table
        greyProfile.readAll(),                    // a grey profile on colour pixels
        QByteArray(wide).replace(16, 4, "CMYK"),  // claims another colour space
    };
    auto source = PictureSource::open(path("plain.jpg"));
    ASSERT_TRUE(source.has_value());
    const QImage expected = *source->decodeScaledTo(QSize(60, 40));
    for (const QByteArray& icc : profiles) {
        SCOPED_TRACE(icc.size());
        // One APP2 segment right after the start-of-image marker.
        QByteArray segment = QByteArray("ICC_PROFILE\0\x01\x01", 14) + icc;
        const int length = int(segment.size()) + 2;
        segment.prepend(char(length & 0xff)).prepend(char(length >> 8)).prepend("\xFF\xE2");
        ASSERT_TRUE(
            testpics::writeBytes(path("profiled.jpg"), jpeg.left(2) + segment + jpeg.mid(2)));
        auto profiled = PictureSource::open(path("profiled.jpg"));
        ASSERT_TRUE(profiled.has_value());
        auto thumb = profiled->decodeScaledTo(QSize(60, 40));
        ASSERT_TRUE(thumb.has_value());
        EXPECT_EQ(*thumb, expected);
    }
}

TEST_F(FormatsTest, ATiffWhoseDataEndsEarlyFails) {
    // Planes stored apart, their directory intact, the last plane's strip
    // moved to where the file ends before it does: no picture with made-up
    // rows, in whichever order the planes are read.
    ASSERT_EQ(run("convert", {path("photo.png"), "-depth", "16", "-interlace", "plane", "-define",
                              "tiff:rows-per-strip=1000", path("p.tif")}),
              QString());
    QByteArray tiff = testpics::readBytes(path("p.tif"));
    ASSERT_TRUE(tiff.startsWith("II*"));
    const auto u16 = [&](qsizetype at) {
        return quint16(uchar(tiff[at]) | uchar(tiff[at + 1]) << 8);
    };
    const auto u32 = [&](qsizetype at) { return quint32(u16(at)) | quint32(u16(at + 2)) << 16; };
    const qsizetype directory = u32(4);
    qsizetype offsets = -1;
    for (int i = 0; i < u16(directory); ++i) {
        const qsizetype entry = directory + 2 + 12 * i;
        if (u16(entry) == 273 && u32(entry + 4) == 3) offsets = u32(entry + 8);  // StripOffsets
    }
    ASSERT_GT(offsets, 0);
    const quint32 late = quint32(tiff.size() - 100);
    for (int b = 0; b < 4; ++b) tiff[offsets + 8 + b] = char((late >> (8 * b)) & 0xff);
    ASSERT_TRUE(testpics::writeBytes(path("short.tif"), tiff));
    auto source = PictureSource::open(path("short.tif"));
    ASSERT_TRUE(source.has_value());
    EXPECT_FALSE(source->decodeScaledTo(QSize(120, 80)).has_value());
    EXPECT_FALSE(source->decode().has_value());
}

}  // namespace
}  // namespace miniskop
