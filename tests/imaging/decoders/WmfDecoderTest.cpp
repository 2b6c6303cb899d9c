// Windows metafiles written byte by byte: placeable and plain files with a
// filled rectangle, their natural size at 96 dpi, reduced drawing, the
// (an)isotropic map modes, and damaged or hostile files that must fail
// without a crash.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <random>

#include "PictureSource.h"
#include "ThumbnailTestPictures.h"
#include "WmfDecoder.h"

namespace miniskop {
namespace {

using testpics::channelDistance;

// Builds a metafile: optional placeable header, window origin and extent,
// optionally a map mode (before or after the extent) and a viewport extent,
// a red brush, a null pen and one rectangle.
class WmfBuilder {
public:
    struct Frame {
        int left, top, right, bottom, unitsPerInch;
    };
    std::optional<Frame> placeable;
    std::optional<QSize> windowExtent;
    std::optional<int> mapMode;
    bool mapModeFirst = false;
    std::optional<QSize> viewportExtent;
    QRect rectangle{500, 250, 1000, 500};  // logical units
    QRgb brush = qRgb(255, 0, 0);

    QByteArray bytes() const {
        QByteArray b;
        if (placeable) {
            u32(b, 0x9AC6CDD7u), u16(b, 0);
            u16(b, placeable->left), u16(b, placeable->top), u16(b, placeable->right),
                u16(b, placeable->bottom), u16(b, placeable->unitsPerInch), u32(b, 0);
            quint16 sum = 0;
            for (int i = 0; i < 20; i += 2) sum ^= quint16(uchar(b[i]) | (uchar(b[i + 1]) << 8));
            u16(b, sum);
        }
        const qsizetype header = b.size();
        u16(b, 1), u16(b, 9), u16(b, 0x0300), u32(b, 0), u16(b, 2), u32(b, 0), u16(b, 0);
        record(b, 0x020B, {0, 0});  // SetWindowOrg(y, x)
        if (mapMode && mapModeFirst) record(b, 0x0103, {*mapMode});
        if (windowExtent) record(b, 0x020C, {windowExtent->height(), windowExtent->width()});
        if (mapMode && !mapModeFirst) record(b, 0x0103, {*mapMode});
        if (viewportExtent) record(b, 0x020E, {viewportExtent->height(), viewportExtent->width()});
        record(b, 0x02FC, {0, qRed(brush) | (qGreen(brush) << 8), qBlue(brush), 0});
        record(b, 0x012D, {0});              // select the brush
        record(b, 0x02FA, {5, 0, 0, 0, 0});  // null pen
        record(b, 0x012D, {1});
        const QRect& r = rectangle;
        record(b, 0x041B, {r.y() + r.height(), r.x() + r.width(), r.y(), r.x()});
        record(b, 0x0000, {});
        const quint32 words = quint32(b.size() - header) / 2;
        put32(b, header + 6, words);
        put32(b, header + 12, 8);  // largest record, in words
        return b;
    }

private:
    static void u16(QByteArray& b, int v) {
        b.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
    }
    static void u32(QByteArray& b, quint32 v) { u16(b, int(v & 0xffff)), u16(b, int(v >> 16)); }
    static void put32(QByteArray& b, qsizetype at, quint32 v) {
        for (int i = 0; i < 4; ++i) b[at + i] = char((v >> (8 * i)) & 0xff);
    }
    static void record(QByteArray& b, int function, std::initializer_list<int> params) {
        u32(b, quint32(3 + params.size()));
        u16(b, function);
        for (int p : params) u16(b, p);
    }
};

class WmfTest : public ::testing::Test {
protected:
    QString write(const QString& name, const QByteArray& bytes) {
        const QString file = dir_.filePath(name);
        EXPECT_TRUE(testpics::writeBytes(file, bytes));
        return file;
    }
    QTemporaryDir dir_;
};

TEST_F(WmfTest, PlaceableFileTakesItsFrameAtNinetySixDpi) {
    WmfBuilder wmf;
    wmf.placeable = WmfBuilder::Frame{0, 0, 2000, 1000, 1000};  // 2 x 1 inch
    const QString file = write("p.wmf", wmf.bytes());
    auto source = PictureSource::open(file);
    ASSERT_TRUE(source.has_value()) << source.error().message.toStdString();
    EXPECT_EQ(source->naturalSize(), QSize(192, 96));
    auto image = source->decode();
    ASSERT_TRUE(image.has_value());
    ASSERT_EQ(image->size(), QSize(192, 96));
    // The rectangle covers x 500..1500, y 250..750 of the 2000 x 1000 frame.
    EXPECT_EQ(image->pixel(96, 48), qRgb(255, 0, 0));
    EXPECT_EQ(image->pixel(60, 30), qRgb(255, 0, 0));
    EXPECT_EQ(image->pixel(10, 10), qRgb(255, 255, 255));
    EXPECT_EQ(image->pixel(180, 90), qRgb(255, 255, 255));
}

TEST_F(WmfTest, PlainFileTakesItsWindowExtentOrItsDrawing) {
    WmfBuilder wmf;
    wmf.windowExtent = QSize(2000, 1000);
    wmf.rectangle = QRect(505, 250, 1000, 500);
    auto withExtent = PictureSource::open(write("e.wmf", wmf.bytes()));
    ASSERT_TRUE(withExtent.has_value());
    EXPECT_EQ(withExtent->naturalSize(), QSize(2000, 1000));
    auto small = withExtent->decodeScaledTo(QSize(200, 100));
    ASSERT_TRUE(small.has_value());
    EXPECT_EQ(small->pixel(100, 50), qRgb(255, 0, 0));
    EXPECT_EQ(small->pixel(20, 20), qRgb(255, 255, 255));
    // The rectangle's edge falls inside pixel 50 of 200: averaged, not stepped.
    EXPECT_GT(channelDistance(small->pixel(50, 50), qRgb(255, 0, 0)), 40);
    EXPECT_GT(channelDistance(small->pixel(50, 50), qRgb(255, 255, 255)), 40);

    wmf.windowExtent.reset();
    auto drawing = PictureSource::open(write("d.wmf", wmf.bytes()));
    ASSERT_TRUE(drawing.has_value());
    EXPECT_NEAR(drawing->naturalSize().width(), 1000, 2);
    EXPECT_NEAR(drawing->naturalSize().height(), 500, 2);
    auto image = drawing->decode(QSize(100, 50));
    ASSERT_TRUE(image.has_value());
    EXPECT_GE(image->width(), 100);
    EXPECT_LT(image->width(), drawing->naturalSize().width());
    EXPECT_EQ(image->pixel(image->width() / 2, image->height() / 2), qRgb(255, 0, 0));
}

TEST_F(WmfTest, AnisotropicMappingFitsTheWindowToThePicture) {
    // MM_ISOTROPIC (7) and MM_ANISOTROPIC (8) map the window onto the
    // viewport; a map mode set after the window extent keeps it. Each way
    // of saying so draws what the file says without a map mode.
    struct Case {
        const char* name;
        int mapMode;
        bool first;
        std::optional<QSize> viewport;
    };
    const Case cases[] = {
        {"extent-then-mode", 8, false, {}},
        {"mode-then-extent", 8, true, {}},
        {"isotropic", 7, false, {}},
        {"with-viewport", 8, true, QSize(200, 100)},
        {"larger-viewport", 8, true, QSize(3000, 1500)},
    };
    for (bool placeable : {true, false}) {
        WmfBuilder plain;
        plain.windowExtent = QSize(2000, 1000);
        plain.rectangle = QRect(500, 250, 1000, 500);
        if (placeable) plain.placeable = WmfBuilder::Frame{0, 0, 2000, 1000, 1000};
        const QSize size = placeable ? QSize(192, 96) : QSize(200, 100);
        auto reference = PictureSource::open(write("plain.wmf", plain.bytes()));
        ASSERT_TRUE(reference.has_value());
        const Expected<QImage> expected = reference->decodeScaledTo(size);
        ASSERT_TRUE(expected.has_value());
        ASSERT_EQ(expected->pixel(size.width() / 2, size.height() / 2), qRgb(255, 0, 0));
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << (placeable ? " placeable" : " plain"));
            WmfBuilder wmf = plain;
            wmf.mapMode = c.mapMode;
            wmf.mapModeFirst = c.first;
            wmf.viewportExtent = c.viewport;
            auto source =
                PictureSource::open(write(QString::fromLatin1(c.name) + ".wmf", wmf.bytes()));
            ASSERT_TRUE(source.has_value()) << source.error().message.toStdString();
            EXPECT_EQ(source->naturalSize(), reference->naturalSize());
            const Expected<QImage> image = source->decodeScaledTo(size);
            ASSERT_TRUE(image.has_value()) << image.error().message.toStdString();
            EXPECT_GE(testpics::psnr(*image, *expected), 40.0);
        }
    }
}

TEST_F(WmfTest, DamagedAndAbsurdFilesFail) {
    WmfBuilder wmf;
    wmf.placeable = WmfBuilder::Frame{0, 0, 2000, 1000, 1000};
    const QByteArray good = wmf.bytes();
    std::vector<std::pair<const char*, QByteArray>> bad;
    bad.emplace_back("cut", good.left(good.size() - 10));
    bad.emplace_back("no-records", good.left(22 + 18));
    QByteArray zeroRecord = good;
    zeroRecord[40] = 0, zeroRecord[41] = 0;  // first record's size
    bad.emplace_back("zero-size-record", zeroRecord);
    QByteArray hugeRecord = good;
    hugeRecord[42] = char(0x7f);
    bad.emplace_back("huge-record", hugeRecord);
    QByteArray smallMax = good;
    smallMax[22 + 12] = 4;  // announced largest record is smaller than a real one
    bad.emplace_back("max-record", smallMax);
    WmfBuilder noInch = wmf;
    noInch.placeable->unitsPerInch = 0;
    bad.emplace_back("no-inch", noInch.bytes());
    WmfBuilder giant = wmf;
    giant.placeable = WmfBuilder::Frame{0, 0, 30000, 30000, 1};  // 30000 inches
    bad.emplace_back("giant", giant.bytes());
    QByteArray version = good;
    version[22 + 4] = 7;
    bad.emplace_back("bad-version", version);
    for (const auto& [name, bytes] : bad) {
        const QString file = write(QString::fromLatin1(name) + ".wmf", bytes);
        auto source = PictureSource::open(file);
        EXPECT_TRUE(!source || !source->decode(QSize(50, 50))) << name;
    }
}

TEST_F(WmfTest, RandomDamageNeverCrashes) {
    WmfBuilder wmf;
    wmf.placeable = WmfBuilder::Frame{0, 0, 2000, 1000, 1000};
    const QByteArray good = wmf.bytes();
    std::mt19937 rng(1234);
    int decoded = 0;
    for (int round = 0; round < 150; ++round) {
        QByteArray bytes = good;
        const int flips = 1 + int(rng() % 4);
        for (int i = 0; i < flips; ++i) bytes[qsizetype(rng() % bytes.size())] = char(rng());
        auto source = PictureSource::open(write("f.wmf", bytes));
        if (!source) continue;
        auto image = source->decode(QSize(40, 20));
        if (image) {
            ++decoded;
            EXPECT_FALSE(image->isNull());
        }
    }
    EXPECT_GT(decoded, 0);  // harmless changes still decode
}

}  // namespace
}  // namespace miniskop
