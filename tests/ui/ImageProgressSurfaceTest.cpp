// The window's progress surface: the bar and its text as pixels, drawn by
// UpdateProgress into the image the progress box shows.
#include <gtest/gtest.h>

#include <QImage>

#include "ImageProgressSurface.h"
#include "UpdateProgress.h"

namespace miniskop {
namespace {

// Pixels of the image surface.
bool isBar(QRgb p) {
    return qAbs(qRed(p) - 187) <= 2 && qAbs(qGreen(p) - 156) <= 2 && qAbs(qBlue(p) - 91) <= 2;
}
bool isBackground(QRgb p) { return qRed(p) == 0xF0 && qGreen(p) == 0xF0 && qBlue(p) == 0xF0; }

int barWidthInRow(const QImage& img, int y) {
    int x = 0;
    while (x < img.width() && isBar(img.pixel(x, y))) ++x;
    return x;
}

TEST(ImageProgressSurfaceTest, BarPixelsAndTextColour) {
    ImageProgressSurface box(300, 24);

    UpdateProgress(box, 0, 0, 100, true);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 300; ++x) ASSERT_TRUE(isBackground(box.image().pixel(x, y)));

    // 1 of 3: 33 %, bar round(3 * 33) = 99 pixels over the full height; the
    // text sits right of the bar, so some dark text pixels lie beyond it.
    UpdateProgress(box, 1, 1, 3, true);
    EXPECT_EQ(barWidthInRow(box.image(), 0), 99);
    EXPECT_EQ(barWidthInRow(box.image(), 23), 99);
    EXPECT_TRUE(isBackground(box.image().pixel(99, 0)));
    int dark = 0;
    for (int y = 0; y < 24; ++y)
        for (int x = 99; x < 300; ++x) dark += qGray(box.image().pixel(x, y)) < 100;
    EXPECT_GT(dark, 0);

    // 100 %: the whole row is bar, the text is white on it.
    UpdateProgress(box, 100, 1, 100, true);
    EXPECT_EQ(barWidthInRow(box.image(), 0), 300);
    int light = 0;
    dark = 0;
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 300; ++x) {
            const QRgb p = box.image().pixel(x, y);
            light += qGray(p) > 230;
            dark += qGray(p) < 60;
        }
    }
    EXPECT_GT(light, 0);
    EXPECT_EQ(dark, 0);
}

TEST(ImageProgressSurfaceTest, BarWidthInPixels) {
    const struct {
        int boxWidth;
        qint32 value, maximum;
        int barWidth;
    } cases[] = {{200, 1, 3, 66},  {200, 2, 3, 134}, {200, 1, 8, 26}, {200, 1, 1, 200},
                 {50, 1, 100, 0},  {50, 3, 100, 2},  {50, 5, 100, 2}, {50, 7, 100, 4},
                 {200, 1, 201, 0}, {200, 9, 3, 200}, {200, 0, 3, 66}};
    for (const auto& c : cases) {
        ImageProgressSurface box(c.boxWidth, 16);
        UpdateProgress(box, c.value, 1, c.maximum, true);
        EXPECT_EQ(barWidthInRow(box.image(), 0), c.barWidth)
            << c.value << " of " << c.maximum << " in " << c.boxWidth;
        EXPECT_EQ(barWidthInRow(box.image(), 15), c.barWidth);
    }
}

TEST(ImageProgressSurfaceTest, ZeroPercentShowsTextWithoutBar) {
    ImageProgressSurface box(120, 20);
    UpdateProgress(box, 1, 1, 201, true);
    EXPECT_EQ(barWidthInRow(box.image(), 0), 0);
    int dark = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 120; ++x) dark += qGray(box.image().pixel(x, y)) < 100;
    EXPECT_GT(dark, 0);
}

}  // namespace
}  // namespace miniskop
