// The progress bar: percentage, bar width, text position and colour, checked
// both on a recording surface (exact numbers) and on the image surface (pixels).
#include <gtest/gtest.h>

#include <QFont>
#include <QImage>
#include <vector>

#include "ProgressSurface.h"
#include "UpdateProgress.h"

namespace miniskop {
namespace {

// Records what UpdateProgress asks of the surface; text is a fixed 20 wide
// and 10 high.
class RecordingSurface : public ProgressSurface {
public:
    explicit RecordingSurface(double width, double height = 20) : w_(width), h_(height) {}
    double ScaleWidth() const override { return w_; }
    double ScaleHeight() const override { return h_; }
    double TextWidth(const QString&) const override { return 20; }
    double TextHeight(const QString&) const override { return 10; }
    void Cls() override {
        ++clears;
        bars.clear();
        texts.clear();
    }
    void LineFilled(double x1, double y1, double x2, double y2, QColor color) override {
        bars.push_back({x1, y1, x2, y2, color});
    }
    void Print(const QString& text) override {
        texts.push_back({text, CurrentX, CurrentY, ForeColor});
    }

    struct Bar {
        double x1, y1, x2, y2;
        QColor color;
    };
    struct Text {
        QString text;
        double x, y;
        QColor color;
    };
    int clears = 0;
    std::vector<Bar> bars;
    std::vector<Text> texts;

private:
    double w_, h_;
};

TEST(ProgressPercent, AgainstMaximumAlone) {
    struct Case {
        qint32 value, minimum, maximum;
        qint16 percent;
    } cases[] = {
        {1, 1, 3, 33},      {2, 1, 3, 67},     {1, 1, 8, 13},           {1, 1, 1, 100},
        {1, 1, 201, 0},     {1, 1, 200, 1},    {0, 1, 3, 33},           {9, 1, 3, 100},
        {5, 1, 0, 100},     {5, 1, -4, 100},   {0, 0, 100, 0},          {50, 10, 5, 100},
        {100, 1, 100, 100}, {1, 1, 100000, 0}, {99999, 1, 100000, 100},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(progressPercent(c.value, c.minimum, c.maximum), c.percent)
            << c.value << " of " << c.maximum << " (min " << c.minimum << ")";
    }
}

TEST(UpdateProgressDrawing, NothingDrawnForValueZeroOrLess) {
    RecordingSurface box(200);
    UpdateProgress(box, 0, 0, 100, true);
    EXPECT_TRUE(box.AutoRedraw);
    EXPECT_EQ(box.clears, 1);
    EXPECT_TRUE(box.bars.empty());
    EXPECT_TRUE(box.texts.empty());

    // Maximum below 1: the value is clamped to it and nothing is drawn.
    UpdateProgress(box, 5, 1, 0, true);
    EXPECT_EQ(box.clears, 2);
    EXPECT_TRUE(box.bars.empty());
    EXPECT_TRUE(box.texts.empty());
}

TEST(UpdateProgressDrawing, BarWidthRoundsHalvesToEven) {
    RecordingSurface box(50);
    const struct {
        qint32 value;
        double width;
    } cases[] = {{1, 0}, {3, 2}, {5, 2}, {7, 4}, {50, 25}, {100, 50}};
    for (const auto& c : cases) {
        UpdateProgress(box, c.value, 1, 100, false);
        ASSERT_EQ(box.bars.size(), 1u);
        EXPECT_EQ(box.bars[0].x1, 0);
        EXPECT_EQ(box.bars[0].y1, 0);
        EXPECT_EQ(box.bars[0].x2, c.width) << "p=" << c.value;
        EXPECT_EQ(box.bars[0].y2, 20);
        EXPECT_EQ(box.bars[0].color, QColor(187, 156, 91));
        EXPECT_TRUE(box.texts.empty());
    }
}

TEST(UpdateProgressDrawing, TextCentredAndWhiteOnceTheBarReachesIt) {
    RecordingSurface box(100);  // text 20 wide: it starts at x = 40
    UpdateProgress(box, 39, 1, 100, true);
    ASSERT_EQ(box.texts.size(), 1u);
    EXPECT_EQ(box.texts[0].text, QStringLiteral("39 %"));
    EXPECT_EQ(box.texts[0].x, 40);
    EXPECT_EQ(box.texts[0].y, 5);
    EXPECT_EQ(box.texts[0].color, QColor(Qt::black));

    UpdateProgress(box, 40, 1, 100, true);
    ASSERT_EQ(box.texts.size(), 1u);
    EXPECT_EQ(box.texts[0].color, QColor(Qt::white));

    // 1 of 201: "0 %" beside a bar of width 0.
    UpdateProgress(box, 1, 1, 201, true);
    ASSERT_EQ(box.bars.size(), 1u);
    EXPECT_EQ(box.bars[0].x2, 0);
    ASSERT_EQ(box.texts.size(), 1u);
    EXPECT_EQ(box.texts[0].text, QStringLiteral("0 %"));
    EXPECT_EQ(box.texts[0].color, QColor(Qt::black));
}

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
