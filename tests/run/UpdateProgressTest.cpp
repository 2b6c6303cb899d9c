// The progress bar: percentage, bar width, text position and colour, checked
// on a recording surface (exact numbers). The pixels the window's surface
// shows are checked with that surface in tests/ui.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace miniskop
