// Tests of the 24-bit pixel buffer: row layout, header, lifecycle, picture
// copies in and out, bilinear resampling, noise fill and the clipboard copy.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <limits>
#include <vector>

#include "cDIBSection.h"

namespace miniskop {
namespace {

// Byte c of pixel (x, y), y counted from the bottom as the memory is laid out.
uint8_t& byteAt(cDIBSection& b, int x, int yFromBottom, int c) {
    return b.DIBSectionBitsPtr()[yFromBottom * b.BytesPerScanLine() + 3 * x + c];
}

// Sets all three channels of pixel (x, y from the bottom) to blue, green, red.
void setPixel(cDIBSection& b, int x, int yFromBottom, uint8_t blue, uint8_t green, uint8_t red) {
    byteAt(b, x, yFromBottom, 0) = blue;
    byteAt(b, x, yFromBottom, 1) = green;
    byteAt(b, x, yFromBottom, 2) = red;
}

// The buffer's pixels as PaintPicture copies them out, top row first.
QImage paintedOut(const cDIBSection& b) {
    QImage out(b.Width(), b.Height(), QImage::Format_RGB32);
    out.fill(Qt::black);
    b.PaintPicture(out);
    return out;
}

// A buffer of one row (or one column) whose three channels carry `values`.
std::unique_ptr<cDIBSection> line(const std::vector<uint8_t>& values, bool vertical) {
    auto b = std::make_unique<cDIBSection>();
    const int n = static_cast<int>(values.size());
    EXPECT_TRUE(vertical ? b->Create(1, n) : b->Create(n, 1));
    for (int i = 0; i < n; ++i)
        setPixel(*b, vertical ? 0 : i, vertical ? i : 0, values[i], values[i], values[i]);
    return b;
}

TEST(cDIBSectionLayout, BytesPerScanLineRoundsRowsToFourBytes) {
    const struct {
        int width, bytes, pad;
    } cases[] = {{1, 4, 1},  {2, 8, 2},     {3, 12, 3},    {4, 12, 0},
                 {5, 16, 1}, {120, 360, 0}, {121, 364, 1}, {7, 24, 3}};
    for (const auto& c : cases) {
        cDIBSection b;
        ASSERT_TRUE(b.Create(c.width, 2)) << c.width;
        EXPECT_EQ(b.BytesPerScanLine(), c.bytes) << c.width;
        EXPECT_EQ(b.BytesPerScanLine() - 3 * b.Width(), c.pad) << c.width;
    }
}

TEST(cDIBSectionLayout, HeaderAfterCreate) {
    cDIBSection b;
    const BITMAPINFOHEADER& h = b.header();
    EXPECT_EQ(h.biSize, 0u);
    EXPECT_EQ(h.biWidth, 0);
    ASSERT_TRUE(b.Create(5, 3));
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 5);
    EXPECT_EQ(h.biHeight, 3);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, 24);
    EXPECT_EQ(h.biCompression, 0u);
    EXPECT_EQ(h.biSizeImage, 48u);
    EXPECT_EQ(h.biXPelsPerMeter, 0);
    EXPECT_EQ(h.biYPelsPerMeter, 0);
    EXPECT_EQ(h.biClrUsed, 0u);
    EXPECT_EQ(h.biClrImportant, 0u);
}

TEST(cDIBSectionLifecycle, HandlesAreSetExactlyWhilePixelsExist) {
    cDIBSection b;
    EXPECT_EQ(b.hdc(), 0u);
    EXPECT_EQ(b.hDib(), 0u);
    EXPECT_EQ(b.DIBSectionBitsPtr(), nullptr);

    b.ClearUp();  // on a new buffer: nothing to release
    EXPECT_EQ(b.hdc(), 0u);
    EXPECT_EQ(b.Width(), 0);

    ASSERT_TRUE(b.Create(4, 2));
    EXPECT_NE(b.hdc(), 0u);
    EXPECT_NE(b.hDib(), 0u);
    ASSERT_NE(b.DIBSectionBitsPtr(), nullptr);
    // New memory starts zeroed, padding included.
    for (int i = 0; i < b.BytesPerScanLine() * 2; ++i) EXPECT_EQ(b.DIBSectionBitsPtr()[i], 0);

    ASSERT_TRUE(b.Create(7, 9));  // releases the first memory
    EXPECT_EQ(b.Width(), 7);
    EXPECT_EQ(b.header().biSizeImage, 24u * 9u);

    b.ClearUp();
    b.ClearUp();
    EXPECT_EQ(b.hdc(), 0u);
    EXPECT_EQ(b.hDib(), 0u);
    EXPECT_EQ(b.DIBSectionBitsPtr(), nullptr);
    EXPECT_EQ(b.Width(), 7);  // the last size is still reported
    EXPECT_EQ(b.Height(), 9);
}

TEST(cDIBSectionLifecycle, CreateRefusesEmptyNegativeAndOversizedBuffers) {
    const int kMax = std::numeric_limits<qint32>::max();
    const struct {
        qint32 w, h;
    } cases[] = {{0, 0},    {0, 5},    {5, 0},       {-3, 4},          {4, -3},
                 {kMax, 1}, {1, kMax}, {kMax, kMax}, {100000, 100000}, {715827882, 1}};
    for (const auto& c : cases) {
        cDIBSection b;
        ASSERT_TRUE(b.Create(2, 2));
        EXPECT_FALSE(b.Create(c.w, c.h)) << c.w << "x" << c.h;
        EXPECT_EQ(b.DIBSectionBitsPtr(), nullptr);
        EXPECT_EQ(b.hdc(), 0u);
        EXPECT_EQ(b.hDib(), 0u);
        EXPECT_EQ(b.Width(), c.w);  // the header reports the request
        EXPECT_EQ(b.Height(), c.h);
    }
}

TEST(cDIBSectionPictures, CreateFromPictureStoresBgrRowsBottomUp) {
    QImage picture(3, 2, QImage::Format_RGB32);
    picture.setPixel(0, 0, qRgb(10, 20, 30));
    picture.setPixel(1, 0, qRgb(40, 50, 60));
    picture.setPixel(2, 0, qRgb(70, 80, 90));
    picture.setPixel(0, 1, qRgb(1, 2, 3));
    picture.setPixel(1, 1, qRgb(4, 5, 6));
    picture.setPixel(2, 1, qRgb(7, 8, 9));
    cDIBSection b;
    b.CreateFromPicture(picture);
    ASSERT_NE(b.DIBSectionBitsPtr(), nullptr);
    ASSERT_EQ(b.BytesPerScanLine(), 12);
    const uint8_t expected[24] = {
        3,  2,  1,  6,  5,  4,  9,  8,  7,  0, 0, 0,  // bottom picture row
        30, 20, 10, 60, 50, 40, 90, 80, 70, 0, 0, 0};
    for (int i = 0; i < 24; ++i) EXPECT_EQ(b.DIBSectionBitsPtr()[i], expected[i]) << i;
    EXPECT_EQ(paintedOut(b).pixel(2, 0), qRgb(70, 80, 90));
}

TEST(cDIBSectionPictures, CreateFromPictureConvertsEveryFormat) {
    QImage source(5, 3, QImage::Format_ARGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) source.setPixel(x, y, qRgb(x * 50, y * 100, 200 - x * 40));
    for (QImage::Format f : {QImage::Format_RGB888, QImage::Format_BGR888, QImage::Format_RGB16,
                             QImage::Format_Indexed8, QImage::Format_RGBA64}) {
        const QImage picture = source.convertToFormat(f);
        cDIBSection b;
        b.CreateFromPicture(picture);
        ASSERT_EQ(b.Width(), 5);
        ASSERT_EQ(b.Height(), 3);
        const QImage back = paintedOut(b);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) {
                const QColor want = picture.pixelColor(x, y), got = back.pixelColor(x, y);
                EXPECT_NEAR(got.red(), want.red(), 1) << f << " " << x << "," << y;
                EXPECT_NEAR(got.green(), want.green(), 1);
                EXPECT_NEAR(got.blue(), want.blue(), 1);
            }
    }
}

TEST(cDIBSectionPictures, CreateFromNullPictureHoldsNoPixels) {
    cDIBSection b;
    ASSERT_TRUE(b.Create(3, 3));
    b.CreateFromPicture(QImage());
    EXPECT_EQ(b.DIBSectionBitsPtr(), nullptr);
    EXPECT_TRUE(paintedOut(b).isNull());
}

TEST(cDIBSectionPictures, BlockTransfersClipToBothSides) {
    QImage picture(4, 4, QImage::Format_RGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) picture.setPixel(x, y, qRgb(x * 10, y * 10, 99));
    cDIBSection b;
    ASSERT_TRUE(b.Create(3, 3));
    // Source window (2,1) 3x3 reaches past the picture's right edge.
    b.LoadPictureBlt(picture, 2, 1);
    QImage back = paintedOut(b);
    EXPECT_EQ(back.pixel(0, 0), qRgb(20, 10, 99));
    EXPECT_EQ(back.pixel(1, 2), qRgb(30, 30, 99));
    EXPECT_EQ(back.pixel(2, 0), qRgb(0, 0, 0));  // nothing to copy: left as it was

    for (QImage::Format f : {QImage::Format_RGB32, QImage::Format_RGB888, QImage::Format_BGR888,
                             QImage::Format_Grayscale16}) {
        QImage dest(4, 2, f);
        dest.fill(Qt::white);
        b.PaintPicture(dest, 2, -1);  // only the buffer's 2x2 lower-left part lands
        EXPECT_EQ(dest.pixelColor(1, 0), QColor(Qt::white)) << f;
        if (f == QImage::Format_Grayscale16) continue;
        EXPECT_EQ(dest.pixel(2, 0), qRgb(20, 20, 99)) << f;
        EXPECT_EQ(dest.pixel(3, 1), qRgb(30, 30, 99)) << f;
    }
}

TEST(cDIBSectionResample, SameSizeCopiesThePixels) {
    cDIBSection b;
    ASSERT_TRUE(b.Create(5, 3));
    b.RandomiseBits(true);
    const auto copy = b.Resample(3, 5);
    ASSERT_NE(copy, nullptr);
    ASSERT_NE(copy->DIBSectionBitsPtr(), b.DIBSectionBitsPtr());
    EXPECT_EQ(paintedOut(*copy), paintedOut(b));
}

TEST(cDIBSectionResample, InterpolatesWithHalvesToEven) {
    const struct {
        std::vector<uint8_t> source;
        int size;
        std::vector<uint8_t> expected;
    } cases[] = {
        {{0, 5, 10}, 4, {0, 2, 5, 8}},      // R(2.5) = 2, R(7.5) = 8
        {{1, 2, 3}, 4, {1, 2, 2, 2}},       // R(1.5) = 2, R(2.5) = 2
        {{0, 10, 20, 30, 40}, 2, {0, 20}},  // shrinking: xScale 2
        {{0, 255}, 3, {0, 85, 170}},        // xScale 1/3, single precision
        {{7}, 3, {7, 7, 7}},                // 1 pixel: the neighbour is the pixel itself
        {{200, 100}, 1, {200}},
    };
    for (const auto& c : cases) {
        for (bool vertical : {false, true}) {
            const auto src = line(c.source, vertical);
            const int n = static_cast<int>(c.expected.size());
            const auto out = vertical ? src->Resample(n, 1) : src->Resample(1, n);
            ASSERT_NE(out, nullptr);
            for (int i = 0; i < n; ++i)
                for (int ch = 0; ch < 3; ++ch)
                    EXPECT_EQ(byteAt(*out, vertical ? 0 : i, vertical ? i : 0, ch), c.expected[i])
                        << "vertical " << vertical << " index " << i << " size " << c.size;
        }
    }
}

TEST(cDIBSectionResample, VerticalResultsAreRoundedBeforeTheHorizontalStep) {
    // 3x3 to 4x4: target (1,1) sits midway between (0,0), (1,0), (0,1), (1,1).
    cDIBSection b;
    ASSERT_TRUE(b.Create(3, 3));
    setPixel(b, 0, 0, 1, 10, 0);
    setPixel(b, 0, 1, 2, 10, 0);
    setPixel(b, 1, 0, 3, 30, 0);
    setPixel(b, 1, 1, 4, 31, 0);
    const auto out = b.Resample(4, 4);
    ASSERT_NE(out, nullptr);
    // blue: left R(1.5) = 2, right R(3.5) = 4, then 3 (the plain mean 2.5 would give 2);
    // green: left 10, right R(30.5) = 30, then 20.
    EXPECT_EQ(byteAt(*out, 1, 1, 0), 3);
    EXPECT_EQ(byteAt(*out, 1, 1, 1), 20);
    EXPECT_EQ(byteAt(*out, 0, 0, 0), 1);
}

TEST(cDIBSectionResample, LargeEnlargementStaysInsideTheSource) {
    cDIBSection b;
    ASSERT_TRUE(b.Create(2, 2));
    setPixel(b, 0, 0, 0, 0, 0);
    setPixel(b, 1, 0, 255, 255, 255);
    setPixel(b, 0, 1, 0, 0, 0);
    setPixel(b, 1, 1, 255, 255, 255);
    const auto out = b.Resample(1001, 999);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->Width(), 999);
    EXPECT_EQ(out->Height(), 1001);
    // Columns rise monotonically from black to white across the top row.
    int previous = -1;
    for (int x = 0; x < 999; ++x) {
        const int v = byteAt(*out, x, 1000, 1);
        EXPECT_GE(v, previous);
        previous = v;
    }
    EXPECT_EQ(byteAt(*out, 0, 1000, 1), 0);
    EXPECT_NEAR(byteAt(*out, 499, 1000, 1), 127, 1);  // 255 * 499 / 999
    EXPECT_EQ(previous, 255);                         // R(255 * 998 / 999)
}

TEST(cDIBSectionResample, RefusesWithoutPixelsOrSize) {
    cDIBSection empty;
    EXPECT_EQ(empty.Resample(2, 2), nullptr);
    cDIBSection b;
    ASSERT_TRUE(b.Create(2, 2));
    EXPECT_EQ(b.Resample(0, 2), nullptr);
    EXPECT_EQ(b.Resample(2, -1), nullptr);
}

TEST(cDIBSectionNoise, FillsPixelsAndLeavesRowPadding) {
    for (bool gray : {true, false}) {
        cDIBSection b;
        ASSERT_TRUE(b.Create(5, 7));  // 15 bytes of pixels, 1 byte of padding per row
        std::fill_n(b.DIBSectionBitsPtr(), 16 * 7, uint8_t{0xAB});
        b.RandomiseBits(gray);
        int distinct = 0;
        for (int y = 0; y < 7; ++y) {
            EXPECT_EQ(b.DIBSectionBitsPtr()[y * 16 + 15], 0xAB) << "padding of row " << y;
            for (int x = 0; x < 5; ++x) {
                if (gray) {
                    EXPECT_EQ(byteAt(b, x, y, 0), byteAt(b, x, y, 1));
                    EXPECT_EQ(byteAt(b, x, y, 1), byteAt(b, x, y, 2));
                } else {
                    EXPECT_EQ(byteAt(b, x, y, 0), 0);
                }
                distinct += byteAt(b, x, y, 1) != byteAt(b, 0, 0, 1);
            }
        }
        EXPECT_GT(distinct, 0) << "35 equal random values";
    }
    cDIBSection empty;
    empty.RandomiseBits();  // no memory: nothing happens
}

TEST(cDIBSectionClipboard, DefaultShowsNotYetAvailable) {
    QStringList shown;
    cDIBSection b([&](const QString& text) { shown << text; });
    ASSERT_TRUE(b.Create(2, 2));
    EXPECT_FALSE(b.CopyToClipboard());
    EXPECT_EQ(shown, QStringList{QStringLiteral("Noch nicht verfügbar!")});

    cDIBSection silent;  // without a message function the message is dropped
    EXPECT_FALSE(silent.CopyToClipboard(true));
}

TEST(cDIBSectionClipboard, BitmapCopyPutsThePictureOnTheClipboard) {
    QStringList shown;
    cDIBSection b([&](const QString& text) { shown << text; });
    EXPECT_FALSE(b.CopyToClipboard(false));  // no pixels yet

    QImage picture(3, 2, QImage::Format_RGB32);
    picture.fill(qRgb(0, 0, 255));
    picture.setPixel(2, 0, qRgb(255, 0, 0));
    b.CreateFromPicture(picture);
    ASSERT_TRUE(b.CopyToClipboard(false));
    const QImage pasted = QGuiApplication::clipboard()->image();
    ASSERT_EQ(pasted.size(), QSize(3, 2));
    EXPECT_EQ(pasted.pixel(2, 0), qRgb(255, 0, 0));
    EXPECT_EQ(pasted.pixel(0, 1), qRgb(0, 0, 255));
    EXPECT_TRUE(shown.isEmpty());
}

}  // namespace
}  // namespace miniskop
