// Row-streamed PNG decoding to thumbnail size: every colour type and bit
// depth (with and without tRNS) against Qt's full decode scaled by the area
// scaler, gamma chunks, odd and enlarged sizes, interlaced pictures, the case
// left to the Qt path, and damaged files (truncated, flipped bits, absurd
// widths).
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <QBuffer>
#include <QImageReader>
#include <csetjmp>
#include <vector>

#include "AreaScaler.h"
#include "PngDecoder.h"
#include "QtDecoder.h"
#include "ThumbnailTestPictures.h"

namespace miniskop {
namespace {

struct PngRecipe {
    int width = 37;
    int height = 23;
    int colourType = PNG_COLOR_TYPE_RGB;
    int bitDepth = 8;
    bool interlaced = false;
    bool tRNS = false;  // palette: alpha per entry; grey/RGB: one key colour
    double gamma = 0;   // written as gAMA when not 0
    bool exif = false;
    unsigned seed = 1;
};

int channels(int colourType) {
    switch (colourType) {
        case PNG_COLOR_TYPE_GRAY:
            return 1;
        case PNG_COLOR_TYPE_GRAY_ALPHA:
            return 2;
        case PNG_COLOR_TYPE_RGB:
            return 3;
        case PNG_COLOR_TYPE_RGB_ALPHA:
            return 4;
        default:
            return 1;  // palette index
    }
}

// A sample in [0, max]: gradients with some noise, the key colour (sample 0
// everywhere) in a square, and a transparent stripe for alpha channels.
int sampleAt(const PngRecipe& s, int x, int y, int c, int max) {
    if (x >= s.width / 3 && x < s.width / 3 + 4 && y >= 2 && y < 6) return 0;
    const bool alphaChannel =
        (s.colourType & PNG_COLOR_MASK_ALPHA) && c == channels(s.colourType) - 1;
    if (alphaChannel) return y % 5 == 0 ? 0 : (x * 7 + y * 3) % (max + 1);
    const unsigned noise =
        (unsigned(x) * 2654435761u ^ unsigned(y + c * 17 + int(s.seed)) * 40503u) >> 7;
    const int level = int((unsigned(x * (c + 1) * 13 + y * 9) + noise % 23) % 256u);
    if (max == 65535) return level * 257 + int(noise % 256u) - (level == 255 ? 255 : 0);
    return std::max(level * max / 255, 1);  // 0 is the key colour's
}

std::vector<uchar> packedRow(const PngRecipe& s, int y) {
    const int n = channels(s.colourType), depth = s.bitDepth;
    const int max = s.colourType == PNG_COLOR_TYPE_PALETTE ? (1 << depth) - 1 : (1 << depth) - 1;
    std::vector<uchar> row((size_t(s.width) * n * depth + 7) / 8 + 1, 0);
    size_t bit = 0;
    for (int x = 0; x < s.width; ++x) {
        for (int c = 0; c < n; ++c, bit += size_t(depth)) {
            const int v = sampleAt(s, x, y, c, max);
            if (depth == 16) {
                row[bit / 8] = uchar(v >> 8);
                row[bit / 8 + 1] = uchar(v);
            } else if (depth == 8) {
                row[bit / 8] = uchar(v);
            } else {
                row[bit / 8] |= uchar(v << (8 - depth - int(bit % 8)));
            }
        }
    }
    return row;
}

void appendBytes(png_structp png, png_bytep data, size_t length) {
    static_cast<QByteArray*>(png_get_io_ptr(png))
        ->append(reinterpret_cast<const char*>(data), qsizetype(length));
}
void noFlush(png_structp) {}

// Kept free of objects with destructors: libpng leaves it by longjmp.
bool writeAll(png_structp png, png_infop info, const PngRecipe* s, png_bytep* rows,
              png_colorp palette, png_bytep alphas) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, png_uint_32(s->width), png_uint_32(s->height), s->bitDepth,
                 s->colourType, s->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    const int entries = 1 << s->bitDepth;
    if (s->colourType == PNG_COLOR_TYPE_PALETTE) {
        png_set_PLTE(png, info, palette, entries);
        if (s->tRNS) png_set_tRNS(png, info, alphas, entries, nullptr);
    } else if (s->tRNS) {
        png_color_16 key{};  // sample 0 in every channel
        png_set_tRNS(png, info, nullptr, 0, &key);
    }
    if (s->gamma > 0) png_set_gAMA(png, info, s->gamma);
    png_byte exif[] = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0};
    if (s->exif) png_set_eXIf_1(png, info, sizeof exif, exif);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
}

QByteArray encodePng(const PngRecipe& s) {
    QByteArray out;
    std::vector<std::vector<uchar>> rows;
    std::vector<png_bytep> pointers;
    for (int y = 0; y < s.height; ++y) rows.push_back(packedRow(s, y));
    for (auto& row : rows) pointers.push_back(row.data());
    std::vector<png_color> palette(256);
    std::vector<png_byte> alphas(256);
    for (int i = 0; i < 256; ++i) {
        palette[i] = {png_byte(i * 37), png_byte(255 - i * 11), png_byte(i * 5 + 40)};
        alphas[i] = png_byte(i % 3 == 0 ? 0 : (i * 53) % 256);
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, appendBytes, noFlush);
    const bool ok = writeAll(png, info, &s, pointers.data(), palette.data(), alphas.data());
    png_destroy_write_struct(&png, &info);
    return ok ? out : QByteArray();
}

// Qt's full decode, laid on white, scaled by the area scaler.
QImage qtReference(const QByteArray& bytes, QSize target) {
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer);
    QImage image = reader.read();
    if (image.isNull()) return {};
    return AreaScaler::scale(flattenOnWhite(image), target);
}

// Qt's reader garbles 16-bit RGB with a tRNS key colour (channels turn into
// alpha), so that layout is checked against Qt's decode of the same samples
// without tRNS, with the key square laid on white by hand.
QImage keyedReference(PngRecipe recipe, QSize target) {
    recipe.tRNS = false;
    QBuffer buffer;
    const QByteArray bytes = encodePng(recipe);
    buffer.setData(bytes);
    QImage image = flattenOnWhite(QImageReader(&buffer).read());
    for (int y = 2; y < 6; ++y)
        for (int x = recipe.width / 3; x < recipe.width / 3 + 4; ++x)
            image.setPixel(x, y, qRgb(255, 255, 255));
    return AreaScaler::scale(image, target);
}

int largestDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return 256;
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            worst = std::max(worst, testpics::channelDistance(a.pixel(x, y), b.pixel(x, y)));
    return worst;
}

// The PNG decoder's result for the file holding `bytes`.
Expected<std::optional<QImage>> decodeBytes(const QByteArray& bytes, QSize target) {
    auto file = testpics::pictureFileOf(bytes);
    if (!file) return unexpected(file.error());
    return decodePngScaled(*file, target);
}

QImage decoded(const QByteArray& bytes, QSize target) {
    auto result = decodeBytes(bytes, target);
    EXPECT_TRUE(result.has_value()) << (result ? "" : result.error().message.toStdString());
    if (!result || !*result) return {};
    EXPECT_EQ((*result)->format(), QImage::Format_RGB32);
    return **result;
}

TEST(PngDecoder, EveryLayoutMatchesQtDecodeScaled) {
    struct Layout {
        int type, depth;
        bool tRNS;
    };
    const Layout layouts[] = {
        {PNG_COLOR_TYPE_GRAY, 1, false},        {PNG_COLOR_TYPE_GRAY, 2, false},
        {PNG_COLOR_TYPE_GRAY, 4, false},        {PNG_COLOR_TYPE_GRAY, 8, false},
        {PNG_COLOR_TYPE_GRAY, 16, false},       {PNG_COLOR_TYPE_GRAY, 8, true},
        {PNG_COLOR_TYPE_GRAY, 16, true},        {PNG_COLOR_TYPE_GRAY, 2, true},
        {PNG_COLOR_TYPE_RGB, 8, false},         {PNG_COLOR_TYPE_RGB, 16, false},
        {PNG_COLOR_TYPE_RGB, 8, true},          {PNG_COLOR_TYPE_RGB, 16, true},
        {PNG_COLOR_TYPE_PALETTE, 1, false},     {PNG_COLOR_TYPE_PALETTE, 2, false},
        {PNG_COLOR_TYPE_PALETTE, 4, true},      {PNG_COLOR_TYPE_PALETTE, 8, false},
        {PNG_COLOR_TYPE_PALETTE, 8, true},      {PNG_COLOR_TYPE_GRAY_ALPHA, 8, false},
        {PNG_COLOR_TYPE_GRAY_ALPHA, 16, false}, {PNG_COLOR_TYPE_RGB_ALPHA, 8, false},
        {PNG_COLOR_TYPE_RGB_ALPHA, 16, false},
    };
    for (const Layout& layout : layouts) {
        PngRecipe recipe;
        recipe.colourType = layout.type;
        recipe.bitDepth = layout.depth;
        recipe.tRNS = layout.tRNS;
        SCOPED_TRACE(testing::Message() << "type " << layout.type << " depth " << layout.depth
                                        << " tRNS " << layout.tRNS);
        const QByteArray bytes = encodePng(recipe);
        ASSERT_FALSE(bytes.isEmpty());
        for (QSize target : {QSize(recipe.width, recipe.height), QSize(11, 7), QSize(50, 30)}) {
            SCOPED_TRACE(testing::Message() << target.width() << " x " << target.height());
            const QImage mine = decoded(bytes, target);
            const QImage theirs =
                layout.type == PNG_COLOR_TYPE_RGB && layout.depth == 16 && layout.tRNS
                    ? keyedReference(recipe, target)
                    : qtReference(bytes, target);
            ASSERT_EQ(mine.size(), target);
            EXPECT_LE(largestDifference(mine, theirs), 2);
        }
    }
}

TEST(PngDecoder, TransparencyIsLaidOnWhite) {
    PngRecipe recipe;
    recipe.colourType = PNG_COLOR_TYPE_RGB;
    recipe.tRNS = true;  // the key square (sample 0) turns transparent
    const QImage out = decoded(encodePng(recipe), QSize(recipe.width, recipe.height));
    EXPECT_EQ(out.pixel(recipe.width / 3 + 1, 3), qRgb(255, 255, 255));

    recipe.colourType = PNG_COLOR_TYPE_RGB_ALPHA;
    recipe.tRNS = false;
    const QImage rgba = decoded(encodePng(recipe), QSize(recipe.width, recipe.height));
    EXPECT_EQ(rgba.pixel(8, 10), qRgb(255, 255, 255));  // rows y % 5 == 0 have alpha 0
}

TEST(PngDecoder, GammaChunkLeavesSamplesAsStored) {
    PngRecipe recipe;
    recipe.gamma = 1.0 / 1.8;
    const QByteArray bytes = encodePng(recipe);
    PngRecipe plain;
    const QSize size(recipe.width, recipe.height);
    EXPECT_EQ(decoded(bytes, size), decoded(encodePng(plain), size));
    EXPECT_LE(largestDifference(decoded(bytes, size), qtReference(bytes, size)), 2);
}

TEST(PngDecoder, OddAndEnlargedSizesAgreeWithTheScaler) {
    const QSize cases[][2] = {
        {QSize(1, 1), QSize(1, 1)},     {QSize(1, 1), QSize(120, 120)},
        {QSize(1, 57), QSize(1, 20)},   {QSize(57, 1), QSize(120, 3)},
        {QSize(40, 9), QSize(120, 27)}, {QSize(300, 2), QSize(120, 1)},
    };
    for (const auto& c : cases) {
        PngRecipe recipe;
        recipe.width = c[0].width();
        recipe.height = c[0].height();
        recipe.colourType = PNG_COLOR_TYPE_RGB_ALPHA;
        SCOPED_TRACE(testing::Message() << recipe.width << " x " << recipe.height);
        const QByteArray bytes = encodePng(recipe);
        const QImage mine = decoded(bytes, c[1]);
        ASSERT_EQ(mine.size(), c[1]);
        EXPECT_LE(largestDifference(mine, qtReference(bytes, c[1])), 1);
    }
}

TEST(PngDecoder, InterlacedPicturesGiveThePlainPicturesPixels) {
    // Adam7 sends the even rows over six passes and the odd rows last; every
    // row must still reach the scaler whole and in order.
    struct Case {
        int type, depth, width, height;
    };
    const Case cases[] = {
        {PNG_COLOR_TYPE_RGB, 8, 37, 23},      {PNG_COLOR_TYPE_RGB_ALPHA, 16, 37, 23},
        {PNG_COLOR_TYPE_PALETTE, 2, 19, 30},  {PNG_COLOR_TYPE_GRAY, 16, 9, 9},
        {PNG_COLOR_TYPE_GRAY_ALPHA, 8, 1, 1}, {PNG_COLOR_TYPE_RGB, 8, 1, 12},
        {PNG_COLOR_TYPE_RGB, 8, 12, 1},       {PNG_COLOR_TYPE_RGB_ALPHA, 8, 5, 2},
    };
    for (const Case& c : cases) {
        PngRecipe recipe;
        recipe.colourType = c.type;
        recipe.bitDepth = c.depth;
        recipe.width = c.width;
        recipe.height = c.height;
        SCOPED_TRACE(testing::Message() << "type " << c.type << " depth " << c.depth << ", "
                                        << c.width << " x " << c.height);
        const QByteArray plain = encodePng(recipe);
        recipe.interlaced = true;
        const QByteArray interlaced = encodePng(recipe);
        for (QSize target : {QSize(c.width, c.height), QSize(3, 2), QSize(40, 50)}) {
            const QImage expected = decoded(plain, target);
            ASSERT_EQ(expected.size(), target);
            EXPECT_EQ(decoded(interlaced, target), expected);
        }
    }
}

TEST(PngDecoder, LeavesExifPicturesToTheCaller) {
    PngRecipe recipe;
    recipe.exif = true;
    auto exif = decodeBytes(encodePng(recipe), QSize(10, 10));
    ASSERT_TRUE(exif.has_value());
    EXPECT_FALSE(exif->has_value());
    EXPECT_FALSE(looksLikePng(QByteArray("GIF89a\0\0", 8)));
    EXPECT_TRUE(looksLikePng(encodePng(PngRecipe{}).left(8)));
}

TEST(PngDecoder, ReadsThroughTheDescriptorWithoutMovingIt) {
    PngRecipe recipe;
    recipe.width = 400;
    recipe.height = 300;  // noisy rows: far more than one read-ahead buffer
    const QByteArray bytes = encodePng(recipe);
    ASSERT_GT(bytes.size(), 70 * 1024);
    auto file = testpics::pictureFileOf(bytes);
    ASSERT_TRUE(file.has_value());
    ASSERT_EQ(::lseek(file->descriptor(), 5, SEEK_SET), 5);
    auto fromFile = decodePngScaled(*file, QSize(120, 90));
    EXPECT_EQ(::lseek(file->descriptor(), 0, SEEK_CUR), 5);
    ASSERT_TRUE(fromFile.has_value() && fromFile->has_value());
    EXPECT_EQ(**fromFile, decoded(bytes, QSize(120, 90)));
}

TEST(PngDecoder, DamagedFilesFailCleanly) {
    PngRecipe recipe;
    recipe.colourType = PNG_COLOR_TYPE_RGB_ALPHA;
    const QByteArray bytes = encodePng(recipe);
    const qsizetype imageEnd = bytes.lastIndexOf("IEND") - 4;  // before IEND's length field
    for (qsizetype n = 0; n < imageEnd; n += (n < 64 ? 1 : 7)) {
        SCOPED_TRACE(n);
        EXPECT_FALSE(decodeBytes(bytes.left(n), QSize(10, 10)).has_value());
    }
    // Flipped bits in the compressed data: the chunk checksum no longer fits.
    QByteArray flipped = bytes;
    const qsizetype idat = bytes.indexOf("IDAT");
    flipped[idat + 20] = char(flipped[idat + 20] ^ 0x5a);
    auto broken = decodeBytes(flipped, QSize(10, 10));
    ASSERT_FALSE(broken.has_value());
    EXPECT_TRUE(broken.error().message.startsWith(QStringLiteral("PNG: ")));
    EXPECT_FALSE(decodeBytes(bytes, QSize(0, 10)).has_value());
}

quint32 crc32Of(const QByteArray& data) {
    quint32 crc = 0xffffffffu;
    for (char ch : data) {
        crc ^= quint8(ch);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray chunk(const char* type, const QByteArray& body) {
    QByteArray out;
    const auto be32 = [&out](quint32 v) {
        for (int shift = 24; shift >= 0; shift -= 8) out.append(char((v >> shift) & 0xff));
    };
    be32(quint32(body.size()));
    const QByteArray typed = QByteArray(type) + body;
    out.append(typed);
    be32(crc32Of(typed));
    return out;
}

TEST(PngDecoder, RefusesAbsurdWidthsBeforeAllocating) {
    QByteArray ihdr;
    for (quint32 v : {0x7fffffffu, 1u})
        for (int shift = 24; shift >= 0; shift -= 8) ihdr.append(char((v >> shift) & 0xff));
    ihdr.append(QByteArray("\x08\x06\x00\x00\x00", 5));  // 8-bit RGBA, not interlaced
    const QByteArray file = QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr) +
                            chunk("IDAT", QByteArray("\x78\x9c\x03\x00\x00\x00\x00\x01", 8)) +
                            chunk("IEND", {});
    auto result = decodeBytes(file, QSize(120, 1));
    ASSERT_FALSE(result.has_value());
    EXPECT_TRUE(result.error().message.contains(QStringLiteral("too wide")));
}

}  // namespace
}  // namespace miniskop
