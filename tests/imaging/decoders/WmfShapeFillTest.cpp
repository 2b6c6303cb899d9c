// Filled shapes in metafiles written byte by byte: ellipse, pie, chord,
// rounded rectangle and polygon with a solid brush, under a null pen and
// under the default pen, in placeable and plain files. Pixels inside each
// shape must carry the brush, pixels outside (but inside its bounding box)
// the white background. Also enormous shapes, which must stay cheap.
#include <gtest/gtest.h>

#include <QFile>
#include <cmath>
#include <optional>
#include <random>
#include <vector>

#include "ThumbnailTestPictures.h"
#include "WmfDecoder.h"

namespace miniskop {
namespace {

using testpics::channelDistance;

constexpr QRgb kBrush = qRgb(30, 140, 60);
constexpr QRgb kWhite = qRgb(255, 255, 255);

// A metafile of 2000 x 1000 logical units: window origin and extent, a solid
// brush, optionally a null pen, then the shape records.
class ShapeFile {
public:
    bool placeable = false;
    QSize frame{2000, 1000};  // placeable frame at unitsPerInch
    int unitsPerInch = 1000;
    bool nullPen = false;
    std::optional<int> penStyle;  // a black pen of this style instead of the default
    int penWidth = 0;             // of that pen, in logical units
    bool windowExtent = true;
    std::vector<QByteArray> shapes;

    void add(int function, const std::vector<int>& params) {
        shapes.push_back(record(function, params));
    }

    QByteArray bytes() const {
        QByteArray b;
        if (placeable) {  // by default 192 x 96 pixels
            put(b, 0xCDD7), put(b, 0x9AC6), put(b, 0);
            for (int v : {0, 0, frame.width(), frame.height(), unitsPerInch, 0, 0}) put(b, v);
            quint16 sum = 0;
            for (int i = 0; i < 20; i += 2) sum ^= quint16(uchar(b[i]) | (uchar(b[i + 1]) << 8));
            put(b, sum);
        }
        const qsizetype header = b.size();
        for (int v : {1, 9, 0x0300, 0, 0, 2, 0, 0, 0}) put(b, v);
        QByteArray body = record(0x020B, {0, 0});                // SetWindowOrg(y, x)
        if (windowExtent) body += record(0x020C, {1000, 2000});  // SetWindowExt(y, x)
        body += record(0x02FC, {0, qRed(kBrush) | (qGreen(kBrush) << 8), qBlue(kBrush), 0});
        body += record(0x012D, {0});  // select the brush
        if (nullPen) body += record(0x02FA, {5, 0, 0, 0, 0}) + record(0x012D, {1});
        if (penStyle) body += record(0x02FA, {*penStyle, penWidth, 0, 0, 0}) + record(0x012D, {1});
        for (const QByteArray& shape : shapes) body += shape;
        body += record(0x0000, {});
        b += body;
        int largest = 0;
        for (qsizetype at = header + 18; at < b.size();) {
            const int words = uchar(b[at]) | (uchar(b[at + 1]) << 8);
            largest = std::max(largest, words);
            at += 2 * words;
        }
        set32(b, header + 6, quint32(b.size() - header) / 2);
        set32(b, header + 12, quint32(largest));
        return b;
    }

private:
    static void put(QByteArray& b, int v) {
        b.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
    }
    static void set32(QByteArray& b, qsizetype at, quint32 v) {
        for (int i = 0; i < 4; ++i) b[at + i] = char((v >> (8 * i)) & 0xff);
    }
    static QByteArray record(int function, const std::vector<int>& params) {
        QByteArray r;
        const int words = 3 + int(params.size());
        put(r, words & 0xffff), put(r, words >> 16), put(r, function);
        for (int p : params) put(r, p);
        return r;
    }
};

// A shape record and logical points that must come out inside and outside.
struct ShapeCase {
    const char* name;
    int function;
    std::vector<int> params;
    std::vector<QPoint> inside, outside;
    QPoint edge;  // a point of the outline
};

// All shapes sit in the box (400, 200)-(1600, 800); "outside" points lie in
// that box too, so a shape drawn as its box fails.
std::vector<ShapeCase> shapeCases() {
    return {
        {"ellipse",
         0x0418,
         {800, 1600, 200, 400},
         {{1000, 500}, {500, 500}, {1000, 250}, {1300, 650}},
         {{450, 230}, {1560, 770}, {1550, 240}},
         {400, 500}},
        // From the east point counterclockwise to the north point: the
        // upper right quarter.
        {"pie",
         0x081A,
         {200, 1000, 500, 1600, 800, 1600, 200, 400},
         {{1250, 380}, {1100, 300}, {1450, 450}},
         {{750, 380}, {1250, 620}, {750, 620}, {1550, 240}},
         {1300, 500}},
        // Same ends: only the part beyond the line from east to north.
        {"chord",
         0x0830,
         {200, 1000, 500, 1600, 800, 1600, 200, 400},
         {{1380, 310}, {1500, 400}},
         {{1150, 450}, {1000, 500}, {750, 380}, {1250, 620}},
         {1300, 350}},
        // Corner ellipses 600 x 300.
        {"roundrect",
         0x061C,
         {300, 600, 800, 1600, 200, 400},
         {{1000, 500}, {1000, 220}, {420, 500}, {1580, 500}},
         {{415, 212}, {1585, 212}, {415, 788}, {1585, 788}},
         {1000, 200}},
        {"polygon",
         0x0324,
         {3, 400, 800, 1000, 200, 1600, 800},
         {{1000, 600}, {700, 750}},
         {{450, 250}, {1550, 250}},
         {400, 800}},
        // One ring through the player's own polygon construction.
        {"polypolygon",
         0x0538,
         {1, 3, 400, 800, 1000, 200, 1600, 800},
         {{1000, 600}, {700, 750}},
         {{450, 250}, {1550, 250}},
         {400, 800}},
    };
}

class WmfShapeFillTest : public ::testing::Test {
protected:
    // Draws the file at 200 x 100 (plain) or 192 x 96 (placeable) pixels.
    QImage draw(const ShapeFile& file) {
        auto picture = testpics::pictureFileOf(file.bytes());
        EXPECT_TRUE(picture.has_value());
        if (!picture) return QImage();
        auto image = decodeWmf(*picture, QSize(200, 100));
        EXPECT_TRUE(image.has_value()) << image.error().message.toStdString();
        return image ? *image : QImage();
    }
    static QRgb at(const QImage& image, QPoint logical) {
        return image.pixel(logical.x() * image.width() / 2000, logical.y() * image.height() / 1000);
    }
    // Whether a dark pixel lies within two pixels of the logical point.
    static bool darkNear(const QImage& image, QPoint logical) {
        const int cx = logical.x() * image.width() / 2000, cy = logical.y() * image.height() / 1000;
        for (int y = cy - 2; y <= cy + 2; ++y)
            for (int x = cx - 2; x <= cx + 2; ++x)
                if (image.valid(x, y) && channelDistance(image.pixel(x, y), qRgb(0, 0, 0)) < 60)
                    return true;
        return false;
    }
};

TEST_F(WmfShapeFillTest, ShapesAreFilledWithTheBrushUnderEitherPen) {
    for (const ShapeCase& shape : shapeCases()) {
        for (bool placeable : {false, true}) {
            for (bool nullPen : {true, false}) {
                ShapeFile file;
                file.placeable = placeable;
                file.nullPen = nullPen;
                file.add(shape.function, shape.params);
                const QImage image = draw(file);
                ASSERT_FALSE(image.isNull());
                const std::string where = std::string(shape.name) +
                                          (placeable ? " placeable" : " plain") +
                                          (nullPen ? " null pen" : " default pen");
                EXPECT_EQ(image.size(), placeable ? QSize(192, 96) : QSize(200, 100)) << where;
                for (const QPoint& p : shape.inside)
                    EXPECT_LE(channelDistance(at(image, p), kBrush), 8)
                        << where << " inside " << p.x() << "," << p.y();
                for (const QPoint& p : shape.outside)
                    EXPECT_EQ(at(image, p), kWhite)
                        << where << " outside " << p.x() << "," << p.y();
                EXPECT_EQ(darkNear(image, shape.edge), !nullPen) << where << " outline";
            }
        }
    }
}

TEST_F(WmfShapeFillTest, ArcsWithEqualEndsTakeTheWholeEllipse) {
    for (int function : {0x081A, 0x0830}) {  // pie, chord
        ShapeFile file;
        file.nullPen = true;
        file.add(function, {500, 1600, 500, 1600, 800, 1600, 200, 400});
        const QImage image = draw(file);
        ASSERT_FALSE(image.isNull());
        for (QPoint p : {QPoint(1000, 500), QPoint(600, 400), QPoint(1400, 400), QPoint(600, 600),
                         QPoint(1400, 600)})
            EXPECT_LE(channelDistance(at(image, p), kBrush), 8) << function << " " << p.x();
        EXPECT_EQ(at(image, {450, 230}), kWhite) << function;
    }
}

TEST_F(WmfShapeFillTest, SeveralShapesKeepTheirOwnAreas) {
    // Small shapes side by side, and one whose corner ellipses exceed it.
    ShapeFile file;
    file.nullPen = true;
    file.add(0x0418, {300, 300, 100, 100});                        // ellipse
    file.add(0x081A, {200, 1300, 200, 900, 300, 1300, 100, 900});  // pie, lower half
    file.add(0x061C, {9000, 9000, 900, 1900, 500, 1100});          // roundrect, oversized corners
    const QImage image = draw(file);
    ASSERT_FALSE(image.isNull());
    EXPECT_LE(channelDistance(at(image, {200, 200}), kBrush), 8);
    EXPECT_EQ(at(image, {110, 110}), kWhite);
    EXPECT_EQ(at(image, {1100, 150}), kWhite);  // upper half of the pie's circle
    EXPECT_LE(channelDistance(at(image, {1100, 260}), kBrush), 8);
    // Corners larger than the rectangle round it to an ellipse.
    EXPECT_LE(channelDistance(at(image, {1500, 700}), kBrush), 8);
    EXPECT_EQ(at(image, {1130, 530}), kWhite);
    EXPECT_EQ(at(image, {1870, 870}), kWhite);
}

TEST_F(WmfShapeFillTest, DashedOutlinesGoRoundTheFill) {
    for (bool placeable : {false, true}) {
        ShapeFile file;
        file.placeable = placeable;
        file.penStyle = 1;  // dashes
        file.add(0x0418, {800, 1600, 200, 400});
        file.add(0x0830, {50, 1800, 950, 1800, 950, 1950, 50, 1650});  // right half
        const QImage image = draw(file);
        ASSERT_FALSE(image.isNull());
        EXPECT_LE(channelDistance(at(image, {1000, 500}), kBrush), 8);
        EXPECT_LE(channelDistance(at(image, {1850, 500}), kBrush), 8);
        EXPECT_EQ(at(image, {1700, 500}), kWhite);
        int dark = 0;  // points along the ellipse's left half with an outline near
        for (int k = -40; k <= 40; ++k) {
            const double t = 3.14159265 + k * 0.02;
            const QPoint p(int(1000 + 600 * std::cos(t)), int(500 + 300 * std::sin(t)));
            if (darkNear(image, p)) ++dark;
        }
        EXPECT_GT(dark, 20) << placeable;
    }
}

TEST_F(WmfShapeFillTest, ArcEndsFarOutsideTheirBoxKeepTheirDirection) {
    // Pie in the box (400, 200)-(1600, 800) from the ray through (7000, -500),
    // a shallow one above east, to the ray through (1000, -5000), north.
    ShapeFile file;
    file.nullPen = true;
    file.add(0x081A, {-5000, 1000, -500, 7000, 800, 1600, 200, 400});
    const QImage image = draw(file);
    ASSERT_FALSE(image.isNull());
    EXPECT_LE(channelDistance(at(image, {1312, 410}), kBrush), 8);  // 30 degrees up
    EXPECT_LE(channelDistance(at(image, {1100, 280}), kBrush), 8);
    EXPECT_EQ(at(image, {1450, 470}), kWhite);  // below the shallow ray
    EXPECT_EQ(at(image, {800, 400}), kWhite);

    // Without a window extent the drawing's extent gives the size: it lies
    // within the box, the far points do not count.
    file.windowExtent = false;
    auto picture = testpics::pictureFileOf(file.bytes());
    ASSERT_TRUE(picture.has_value());
    const Expected<WmfInfo> info = readWmfInfo(*picture);
    ASSERT_TRUE(info.has_value());
    EXPECT_GT(info->displayed.width(), 500);
    EXPECT_LE(info->displayed.width(), 1210);
    EXPECT_GT(info->displayed.height(), 150);
    EXPECT_LE(info->displayed.height(), 610);
}

TEST_F(WmfShapeFillTest, EnormousShapesCoverThePictureAndStayCheap) {
    for (int function : {0x0418, 0x081A, 0x0830, 0x061C}) {
        for (bool nullPen : {true, false}) {
            ShapeFile file;
            file.placeable = true;
            file.frame = QSize(20, 10);  // 1920 x 960 pixels, drawn at 200 x 100
            file.unitsPerInch = 1;
            file.nullPen = nullPen;
            // An ellipse box of 64000 units (640000 pixels) around the
            // picture; the arcs run from the west through the south (the
            // picture) to the east, the corners are as large as allowed.
            switch (function) {
                case 0x0418:
                    file.add(function, {32000, 32000, -32000, -32000});
                    break;
                case 0x061C:
                    file.add(function, {-1, -1, 32000, 32000, -32000, -32000});
                    break;
                default:
                    file.add(function, {0, 32000, 0, -32000, 32000, 32000, -32000, -32000});
            }
            const QImage image = draw(file);
            ASSERT_FALSE(image.isNull()) << function;
            EXPECT_EQ(image.size(), QSize(200, 100));
            for (QPoint p : {QPoint(100, 100), QPoint(1000, 500), QPoint(1900, 900)})
                EXPECT_LE(channelDistance(at(image, p), kBrush), 8) << function << " " << p.x();
        }
    }
}

// A pen wider than the picture (a few bytes in a file) once had the device
// stamp a pen-sized brush gigabytes large along every line. Such a pen is
// drawn narrowed (here it still covers the small picture): the drawing
// finishes and the pen still shows.
TEST_F(WmfShapeFillTest, AbsurdlyWidePensAreDrawnNarrowed) {
    for (int function : {0x0418, 0x0324, 0x0325}) {  // ellipse, polygon, polyline
        ShapeFile file;
        file.penStyle = 0;  // solid black
        file.penWidth = 60000;
        if (function == 0x0418)
            file.add(function, {900, 1900, 100, 100});
        else
            file.add(function, {3, 100, 900, 1000, 100, 1900, 900});
        const QImage image = draw(file);
        ASSERT_FALSE(image.isNull()) << function;
        EXPECT_TRUE(darkNear(image, {1000, 100})) << function << ": the pen is drawn";
    }
}

TEST_F(WmfShapeFillTest, DamagedShapeRecordsNeverCrash) {
    ShapeFile file;
    file.placeable = true;
    for (const ShapeCase& shape : shapeCases()) file.add(shape.function, shape.params);
    const QByteArray good = file.bytes();
    const qsizetype shapesFrom = 22 + 18 + 5 * 2 + 5 * 2 + 7 * 2 + 4 * 2;  // after the brush
    std::mt19937 rng(99);
    int decoded = 0;
    for (int round = 0; round < 120; ++round) {
        QByteArray bytes = good;
        // Overwrite parameter words with arbitrary and extreme values.
        for (int i = 0; i < 6; ++i) {
            const qsizetype at = shapesFrom + qsizetype(rng() % (bytes.size() - shapesFrom - 8));
            const int kinds[] = {0, -1, 32767, -32768, int(rng())};
            const int v = kinds[rng() % 5];
            bytes[at] = char(v & 0xff);
            bytes[at + 1] = char((v >> 8) & 0xff);
        }
        auto picture = testpics::pictureFileOf(bytes);
        ASSERT_TRUE(picture.has_value());
        const Expected<QImage> image = decodeWmf(*picture, QSize(200, 100));
        if (image) {
            ++decoded;
            EXPECT_FALSE(image->isNull());
        }
    }
    EXPECT_GT(decoded, 20);  // damaged parameters often still play
}

}  // namespace
}  // namespace miniskop
