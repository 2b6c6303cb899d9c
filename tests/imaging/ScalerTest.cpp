// The resampler: exact area averages when shrinking (whole and fractional
// ratios), bilinear interpolation when enlarging, colour preservation, and
// agreement with a two-dimensional reference average.
#include <gtest/gtest.h>

#include "AreaScaler.h"
#include "ThumbnailTestPictures.h"

namespace miniskop {
namespace {

using testpics::channelDistance;

QImage greyRow(std::initializer_list<int> values) {
    QImage image(int(values.size()), 1, QImage::Format_RGB32);
    int x = 0;
    for (int v : values) image.setPixel(x++, 0, qRgb(v, v, v));
    return image;
}

TEST(Scaler, EqualSizeCopiesThePixels) {
    const QImage source = testpics::photoLike(31, 17, 1);
    const QImage out = AreaScaler::scale(source, source.size());
    ASSERT_EQ(out.size(), source.size());
    EXPECT_EQ(out.format(), QImage::Format_RGB32);
    EXPECT_EQ(out, source);
}

TEST(Scaler, ShrinkingAveragesTheCoveredArea) {
    // Whole ratio: 2 x 2 blocks.
    QImage source(4, 2, QImage::Format_RGB32);
    const int values[2][4] = {{0, 100, 200, 40}, {20, 80, 60, 100}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) source.setPixel(x, y, qRgb(values[y][x], 0, 255));
    const QImage half = AreaScaler::scale(source, QSize(2, 1));
    EXPECT_EQ(qRed(half.pixel(0, 0)), 50);
    EXPECT_EQ(qRed(half.pixel(1, 0)), 100);
    EXPECT_EQ(qBlue(half.pixel(1, 0)), 255);

    // Fractional ratio 3 -> 2: the middle pixel is shared half and half.
    const QImage two = AreaScaler::scale(greyRow({0, 90, 180}), QSize(2, 1));
    EXPECT_EQ(qRed(two.pixel(0, 0)), 30);
    EXPECT_EQ(qRed(two.pixel(1, 0)), 150);
}

TEST(Scaler, EnlargingInterpolatesBetweenNeighbours) {
    const QImage four = AreaScaler::scale(greyRow({0, 200}), QSize(4, 1));
    EXPECT_EQ(qRed(four.pixel(0, 0)), 0);  // edges hold the outer pixels
    EXPECT_EQ(qRed(four.pixel(1, 0)), 50);
    EXPECT_EQ(qRed(four.pixel(2, 0)), 150);
    EXPECT_EQ(qRed(four.pixel(3, 0)), 200);

    const QImage dot = AreaScaler::scale(testpics::plain(1, 1, qRgb(12, 34, 56)), QSize(120, 120));
    EXPECT_EQ(dot.pixel(0, 0), qRgb(12, 34, 56));
    EXPECT_EQ(dot.pixel(119, 119), qRgb(12, 34, 56));
}

TEST(Scaler, KeepsAPlainColourAtAnySize) {
    const QRgb colour = qRgb(201, 7, 99);
    for (QSize from : {QSize(37, 23), QSize(7, 5), QSize(40, 10)}) {
        for (QSize to : {QSize(5, 3), QSize(50, 31), QSize(10, 40), QSize(1, 1)}) {
            const QImage out =
                AreaScaler::scale(testpics::plain(from.width(), from.height(), colour), to);
            ASSERT_EQ(out.size(), to);
            for (int y = 0; y < to.height(); ++y)
                for (int x = 0; x < to.width(); ++x)
                    ASSERT_EQ(out.pixel(x, y), colour)
                        << from.width() << "x" << from.height() << " -> " << x << "," << y;
        }
    }
}

TEST(Scaler, AgreesWithTheReferenceAreaAverage) {
    const QImage source = testpics::photoLike(203, 151, 7);
    for (QSize to : {QSize(120, 89), QSize(25, 19), QSize(200, 3), QSize(1, 1)}) {
        const QImage ours = AreaScaler::scale(source, to);
        const QImage reference = testpics::referenceAreaAverage(source, to);
        int worst = 0;
        for (int y = 0; y < to.height(); ++y)
            for (int x = 0; x < to.width(); ++x)
                worst = std::max(worst, channelDistance(ours.pixel(x, y), reference.pixel(x, y)));
        EXPECT_LE(worst, 1) << to.width() << "x" << to.height();
    }
}

TEST(Scaler, StreamedRowsGiveTheSameResultAndMissingRowsAreCounted) {
    const QImage source = testpics::photoLike(64, 48, 3);
    AreaScaler scaler(source.size(), QSize(10, 7));
    for (int y = 0; y < 47; ++y) scaler.pushRow(source.constScanLine(y));
    EXPECT_EQ(scaler.rowsMissing(), 1);
    scaler.pushRow(source.constScanLine(47));
    EXPECT_EQ(scaler.rowsMissing(), 0);
    scaler.pushRow(source.constScanLine(0));  // surplus rows are ignored
    EXPECT_EQ(scaler.takeResult(), AreaScaler::scale(source, QSize(10, 7)));
}

TEST(Scaler, ConvertsOtherFormatsAndRefusesEmptyInput) {
    QImage indexed =
        testpics::plain(8, 8, qRgb(10, 20, 30)).convertToFormat(QImage::Format_Indexed8);
    const QImage out = AreaScaler::scale(indexed, QSize(3, 3));
    EXPECT_EQ(out.format(), QImage::Format_RGB32);
    EXPECT_EQ(out.pixel(1, 1), qRgb(10, 20, 30));
    EXPECT_TRUE(AreaScaler::scale(QImage(), QSize(3, 3)).isNull());
    EXPECT_TRUE(AreaScaler::scale(indexed, QSize(0, 3)).isNull());
}

}  // namespace
}  // namespace miniskop
