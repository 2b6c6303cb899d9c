// ThumbnailCanvas::resize: the thumbnail of generated photo-like pictures against the
// same picture decoded whole and area-averaged, for JPEG (reduced decoding)
// and other formats; EXIF-turned JPEGs; and many threads at once.
#include <gtest/gtest.h>

#include <QImageReader>
#include <QTemporaryDir>
#include <iostream>
#include <thread>

#include "AreaScaler.h"
#include "ThumbnailCanvas.h"
#include "ThumbnailSize.h"
#include "ThumbnailTestPictures.h"

namespace miniskop {
namespace {

QImage decodeWhole(const QString& file) {
    QImageReader reader(file);
    reader.setAutoTransform(true);
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

struct Thumb {
    QImage image;
    QSize naturalSize;
};

// What the run's resize draws into picThumb, and the natural size it read.
Expected<Thumb> render(const QString& file, float bound, bool enlarge) {
    ThumbnailCanvas canvas;
    const Status drawn = canvas.resize(file, bound, enlarge);
    if (!drawn) return unexpected(drawn.error());
    return Thumb{canvas.picThumb.image, QSize(canvas.picSource.width, canvas.picSource.height)};
}

struct QualityCase {
    int width, height;
    float bound;
    bool enlarge;
    bool progressive;
    int quality;
};

class ThumbnailQuality : public ::testing::TestWithParam<QualityCase> {};

TEST_P(ThumbnailQuality, MatchesTheWholePictureAreaAveraged) {
    const QualityCase c = GetParam();
    QTemporaryDir dir;
    const QString file = dir.filePath("photo.jpg");
    testpics::JpegOptions options;
    options.progressive = c.progressive;
    options.quality = c.quality;
    ASSERT_TRUE(testpics::writeJpeg(file, testpics::photoLike(c.width, c.height, unsigned(c.width)),
                                    options));
    auto thumb = render(file, c.bound, c.enlarge);
    ASSERT_TRUE(thumb.has_value()) << thumb.error().message.toStdString();
    EXPECT_EQ(thumb->naturalSize, QSize(c.width, c.height));
    const auto size = thumbnailSize(float(c.width), float(c.height), c.bound, c.enlarge);
    ASSERT_TRUE(size.has_value());
    ASSERT_EQ(thumb->image.size(), *size);
    EXPECT_EQ(thumb->image.format(), QImage::Format_RGB32);

    const QImage whole = decodeWhole(file);
    const QImage reference = c.enlarge && c.width < c.bound && c.height < c.bound
                                 ? AreaScaler::scale(whole, *size)
                                 : testpics::referenceAreaAverage(whole, *size);
    const double db = testpics::psnr(thumb->image, reference);
    std::cout << "  " << c.width << "x" << c.height << " -> " << size->width() << "x"
              << size->height() << ": " << db << " dB\n";
    EXPECT_GE(db, 36.0);
}

INSTANTIATE_TEST_SUITE_P(Cases, ThumbnailQuality,
                         ::testing::Values(QualityCase{1000, 750, 120, false, false, 90},
                                           QualityCase{750, 1000, 120, false, true, 90},
                                           QualityCase{1601, 901, 120, false, false, 80},
                                           QualityCase{333, 257, 120, false, false, 95},
                                           QualityCase{250, 190, 120, false, false, 95},
                                           QualityCase{2000, 1500, 300, false, false, 90},
                                           QualityCase{90, 60, 120, true, false, 95}));

TEST(ThumbnailRender, OtherFormatsAndTurnedJpegs) {
    QTemporaryDir dir;
    const QImage photo = testpics::photoLike(640, 480, 77);
    ASSERT_TRUE(photo.save(dir.filePath("p.png")));
    auto png = render(dir.filePath("p.png"), 120, false);
    ASSERT_TRUE(png.has_value());
    ASSERT_EQ(png->image.size(), QSize(120, 90));
    EXPECT_GE(testpics::psnr(png->image, testpics::referenceAreaAverage(photo, QSize(120, 90))),
              36.0);

    testpics::JpegOptions turned;
    turned.app1 = testpics::exifWithOrientation(8);
    ASSERT_TRUE(testpics::writeJpeg(dir.filePath("t.jpg"), photo, turned));
    auto jpg = render(dir.filePath("t.jpg"), 120, false);
    ASSERT_TRUE(jpg.has_value());
    EXPECT_EQ(jpg->naturalSize, QSize(480, 640));
    ASSERT_EQ(jpg->image.size(), QSize(90, 120));
    const QImage reference =
        testpics::referenceAreaAverage(decodeWhole(dir.filePath("t.jpg")), QSize(90, 120));
    EXPECT_GE(testpics::psnr(jpg->image, reference), 36.0);
}

TEST(ThumbnailRender, FailuresAreReported) {
    QTemporaryDir dir;
    ASSERT_TRUE(testpics::photoLike(64, 48, 1).save(dir.filePath("p.png")));
    EXPECT_FALSE(render(dir.filePath("p.png"), 0, false).has_value());
    EXPECT_FALSE(render(dir.filePath("p.png"), -3, true).has_value());
    EXPECT_FALSE(render(dir.filePath("none.jpg"), 120, false).has_value());
    ASSERT_TRUE(testpics::writeBytes(dir.filePath("bad.jpg"), "\xFF\xD8\xFF\xE0garbage"));
    EXPECT_FALSE(render(dir.filePath("bad.jpg"), 120, false).has_value());
}

TEST(ThumbnailRender, ManyThreadsAtOnceGiveTheSamePictures) {
    QTemporaryDir dir;
    QStringList files;
    for (int i = 0; i < 6; ++i) {
        const QString file =
            dir.filePath(QStringLiteral("p%1.%2").arg(i).arg(i % 2 ? "jpg" : "png"));
        const QImage photo = testpics::photoLike(300 + 40 * i, 200 + 10 * i, unsigned(i));
        ASSERT_TRUE(i % 2 ? testpics::writeJpeg(file, photo) : photo.save(file, "PNG"));
        files << file;
    }
    std::vector<QImage> expected;
    for (const QString& file : files) expected.push_back(render(file, 100, false)->image);

    std::vector<std::vector<QImage>> results(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 3; ++round)
                for (const QString& file : files) {
                    auto thumb = render(file, 100, false);
                    results[size_t(t)].push_back(thumb ? thumb->image : QImage());
                }
        });
    }
    for (auto& thread : threads) thread.join();
    for (const auto& perThread : results)
        for (size_t i = 0; i < perThread.size(); ++i)
            EXPECT_EQ(perThread[i], expected[i % files.size()]) << i;
}

}  // namespace
}  // namespace miniskop
