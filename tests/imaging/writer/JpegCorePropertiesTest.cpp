// Tests of the encoder record layer: the record's defaults, how the DIB fields
// describe the source (row order, padding, channel order), the output's
// subsampling, and the result codes of records that cannot be encoded.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <functional>
#include <vector>

#include "JpegCoreProperties.h"
#include "JpegMarkers.h"

namespace miniskop {
namespace {

// A record set up by jpegInit and released when the test ends.
struct Record {
    JPEG_CORE_PROPERTIES p{};
    Record() { EXPECT_EQ(jpegInit(&p), JR_OK); }
    ~Record() { jpegFree(&p); }
};

// Pixel rows of `width` three-byte pixels followed by `pad` bytes of 0xFF.
struct Rows {
    int width, height, pad;
    std::vector<uint8_t> bytes;
    Rows(int w, int h, int padding)
        : width(w), height(h), pad(padding), bytes(static_cast<size_t>((3 * w + padding) * h)) {
        for (int y = 0; y < h; ++y)
            std::fill_n(bytes.begin() + (y + 1) * (3 * w + pad) - pad, pad, uint8_t{0xFF});
    }
    void set(int x, int row, uint8_t c0, uint8_t c1, uint8_t c2) {
        uint8_t* p = &bytes[static_cast<size_t>(row * (3 * width + pad) + 3 * x)];
        p[0] = c0;
        p[1] = c1;
        p[2] = c2;
    }
    void describe(JPEG_CORE_PROPERTIES& r, bool bottomUp, const QByteArray& file) const {
        r.DIBWidth = width;
        r.DIBHeight = bottomUp ? -height : height;
        r.DIBBytes = bytes.data();
        r.DIBPadBytes = pad;
        r.JPGFile = file.constData();
        r.JPGWidth = width;
        r.JPGHeight = height;
    }
};

TEST(JpegCoreProperties, InitSetsDefaultsAndFreeReleasesTheState) {
    JPEG_CORE_PROPERTIES r{};
    ASSERT_EQ(jpegInit(&r), JR_OK);
    EXPECT_EQ(r.DIBChannels, 3);
    EXPECT_EQ(r.DIBColor, JC_BGR);
    EXPECT_EQ(r.JPGChannels, 3);
    EXPECT_EQ(r.JPGColor, JC_YCBCR);
    EXPECT_EQ(r.JPGSubSampling, JS_NONE);
    EXPECT_EQ(r.jquality, 75);
    EXPECT_NE(r.state, nullptr);
    EXPECT_EQ(jpegFree(&r), JR_OK);
    EXPECT_EQ(r.state, nullptr);
    EXPECT_EQ(jpegFree(&r), JR_OK);  // a second free does nothing
    EXPECT_EQ(jpegWrite(&r, JFILE_WRITEWHOLEIMAGE), JR_INVALID_RECORD);

    EXPECT_EQ(jpegInit(nullptr), JR_INVALID_RECORD);
    EXPECT_EQ(jpegWrite(nullptr, JFILE_WRITEWHOLEIMAGE), JR_INVALID_RECORD);
    EXPECT_EQ(jpegFree(nullptr), JR_INVALID_RECORD);
}

TEST(JpegCoreProperties, RowOrderPaddingAndChannelOrderFollowTheRecord) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // 9 x 8 pixels (1 byte of padding per row, filled with 0xFF): the first
    // four rows in memory hold (0, 0, 255), the others (255, 0, 0).
    Rows rows(9, 8, 1);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 9; ++x) y < 4 ? rows.set(x, y, 0, 0, 255) : rows.set(x, y, 255, 0, 0);

    const struct {
        bool bottomUp;
        JpegColor color;
        QRgb top, bottom;
    } cases[] = {
        {true, JC_BGR, qRgb(0, 0, 255), qRgb(255, 0, 0)},   // first memory row is the bottom
        {false, JC_BGR, qRgb(255, 0, 0), qRgb(0, 0, 255)},  // first memory row is the top
        {false, JC_RGB, qRgb(0, 0, 255), qRgb(255, 0, 0)},
    };
    int n = 0;
    for (const auto& c : cases) {
        const QString path = dir.filePath(QStringLiteral("order%1.jpg").arg(n++));
        const QByteArray file = QFile::encodeName(path);
        Record r;
        rows.describe(r.p, c.bottomUp, file);
        r.p.DIBColor = c.color;
        r.p.jquality = 95;
        ASSERT_EQ(jpegWrite(&r.p, JFILE_WRITEWHOLEIMAGE), JR_OK);
        const QImage decoded(path);
        ASSERT_EQ(decoded.size(), QSize(9, 8));
        for (int x : {0, 8}) {  // the padding must not bleed into the last column
            const QRgb top = decoded.pixel(x, 0), bottom = decoded.pixel(x, 7);
            EXPECT_NEAR(qRed(top), qRed(c.top), 40) << n << " x " << x;
            EXPECT_NEAR(qBlue(top), qBlue(c.top), 40) << n << " x " << x;
            EXPECT_NEAR(qRed(bottom), qRed(c.bottom), 40) << n << " x " << x;
            EXPECT_NEAR(qBlue(bottom), qBlue(c.bottom), 40) << n << " x " << x;
            EXPECT_LT(qGreen(top), 40) << n << " x " << x;
        }
    }
}

TEST(JpegCoreProperties, SubsamplingFollowsTheRecord) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Rows rows(16, 16, 0);
    const struct {
        JpegColor color;
        qint32 channels;
        JpegSubsampling subsampling;
        std::vector<int> sampling;
    } cases[] = {
        {JC_YCBCR, 3, JS_411, {0x22, 0x11, 0x11}},  // 4:2:0
        {JC_YCBCR, 3, JS_422, {0x21, 0x11, 0x11}},
        {JC_YCBCR, 3, JS_NONE, {0x11, 0x11, 0x11}},  // the default
        {JC_GRAY, 1, JS_NONE, {0x11}},
    };
    int n = 0;
    for (const auto& c : cases) {
        const QString path = dir.filePath(QStringLiteral("s%1.jpg").arg(n++));
        const QByteArray file = QFile::encodeName(path);
        Record r;
        rows.describe(r.p, true, file);
        r.p.JPGColor = c.color;
        r.p.JPGChannels = c.channels;
        r.p.JPGSubSampling = c.subsampling;
        ASSERT_EQ(jpegWrite(&r.p, JFILE_WRITEWHOLEIMAGE), JR_OK) << n;
        const auto header = testing::readJpegHeader(path);
        EXPECT_EQ(header.sampling, c.sampling) << n;
        EXPECT_EQ(header.width, 16);
        EXPECT_EQ(header.quant0First, 8) << "quality 75 from jpegInit";
    }
}

TEST(JpegCoreProperties, RecordsThatCannotBeEncodedWriteNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("nichts.jpg"));
    const QByteArray file = QFile::encodeName(path);
    const QByteArray missingFolder = QFile::encodeName(dir.filePath(QStringLiteral("x/y.jpg")));
    Rows rows(4, 4, 0);

    const struct {
        const char* what;
        std::function<void(JPEG_CORE_PROPERTIES&)> change;
        qint32 mode;
        qint32 result;
    } cases[] = {
        {"no pixels", [](auto& r) { r.DIBBytes = nullptr; }, 8, JR_BAD_SOURCE},
        {"zero width", [](auto& r) { r.DIBWidth = r.JPGWidth = 0; }, 8, JR_BAD_SOURCE},
        {"zero height", [](auto& r) { r.DIBHeight = r.JPGHeight = 0; }, 8, JR_BAD_SOURCE},
        {"negative padding", [](auto& r) { r.DIBPadBytes = -1; }, 8, JR_BAD_SOURCE},
        {"other output size", [](auto& r) { r.JPGWidth = 8; }, 8, JR_BAD_SOURCE},
        {"four channels", [](auto& r) { r.DIBChannels = 4; }, 8, JR_BAD_SOURCE},
        {"unknown subsampling", [](auto& r) { r.JPGSubSampling = 7; }, 8, JR_BAD_SOURCE},
        {"pitch too large", [](auto& r) { r.DIBPadBytes = 0x7FFFFFF0; }, 8, JR_BAD_SOURCE},
        {"other mode", [](auto&) {}, 1, JR_INVALID_RECORD},
        {"quality out of range", [](auto& r) { r.jquality = 101; }, 8, JR_ENCODE_FAILED},
        {"no file name", [](auto& r) { r.JPGFile = nullptr; }, 8, JR_FILE_FAILED},
        {"empty file name", [](auto& r) { r.JPGFile = ""; }, 8, JR_FILE_FAILED},
        {"missing folder", [&](auto& r) { r.JPGFile = missingFolder.constData(); }, 8,
         JR_FILE_FAILED},
    };
    for (const auto& c : cases) {
        Record r;
        rows.describe(r.p, true, file);
        c.change(r.p);
        EXPECT_EQ(jpegWrite(&r.p, c.mode), c.result) << c.what;
        EXPECT_FALSE(QFile::exists(path)) << c.what;
    }
    EXPECT_FALSE(QFile::exists(QString::fromUtf8(missingFolder)));
}

}  // namespace
}  // namespace miniskop
