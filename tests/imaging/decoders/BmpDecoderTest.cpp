// BMP kinds the image-rs corpus lacks, made here byte by byte and compared
// pixel by pixel with ImageMagick's reading: rows read in several bands
// both ways up, RLE8 codes that skip rows across bands and end early, an
// OS/2 palette that stops short of its pixel data, OS/2 2.x and V2 headers.
// Broken files (cut short, absurd sizes, bad masks) fail with a reason.
// Icons, against the colours they are made of: the entry chosen, and the
// AND mask against 32-bit alpha.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <vector>

#include "ExternalCodecs.h"
#include "PictureSource.h"
#include "ThumbnailTestPictures.h"

namespace miniskop {
namespace {

void put16(QByteArray& b, quint32 v) { b.append(char(v & 0xff)).append(char((v >> 8) & 0xff)); }
void put32(QByteArray& b, quint32 v) { put16(b, v & 0xffff), put16(b, v >> 16); }

struct Bmp {
    int headerSize = 40;
    int width = 0, height = 0;  // height < 0: top-down
    int bits = 24;
    int compression = 0;
    std::vector<quint32> masks;  // in a V2+ header, else after a 40-byte one
    std::vector<QRgb> palette;
    int gap = 0;  // bytes between the palette and the pixel data
    QByteArray data;
};

QByteArray file(const Bmp& s) {
    QByteArray h;
    put32(h, quint32(s.headerSize));
    if (s.headerSize == 12) {
        put16(h, quint32(s.width)), put16(h, quint32(s.height)), put16(h, 1), put16(h, s.bits);
    } else {
        put32(h, quint32(s.width)), put32(h, quint32(s.height)), put16(h, 1), put16(h, s.bits);
        put32(h, quint32(s.compression)), put32(h, quint32(s.data.size()));
        put32(h, 2835), put32(h, 2835), put32(h, quint32(s.palette.size())), put32(h, 0);
        for (quint32 m : s.masks) put32(h, m);  // in the header from V2 on
        h.resize(std::max<qsizetype>(s.headerSize, h.size()), '\0');
        if (s.headerSize < 40) h.truncate(s.headerSize);  // OS/2 2.x
    }
    for (QRgb c : s.palette) {
        h.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c)));
        if (s.headerSize != 12) h.append('\0');
    }
    h.append(QByteArray(s.gap, '\x55'));
    QByteArray out("BM");
    put32(out, quint32(14 + h.size() + s.data.size())), put32(out, 0);
    put32(out, quint32(14 + h.size()));
    return out + h + s.data;
}

// Plain rows of `bits`-wide values, stored bottom-up unless `topDown`.
QByteArray rows(int width, int height, int bits, bool topDown,
                const std::function<quint32(int, int)>& value) {
    QByteArray out;
    for (int i = 0; i < height; ++i) {
        const int y = topDown ? i : height - 1 - i;
        QByteArray row((width * bits + 31) / 32 * 4, '\0');
        for (int x = 0; x < width; ++x) {
            const quint32 v = value(x, y);
            if (bits < 8)
                row[x * bits / 8] = char(row[x * bits / 8] | (v << (8 - bits - x * bits % 8)));
            else
                for (int k = 0; k < bits / 8; ++k) row[x * bits / 8 + k] = char(v >> (8 * k));
        }
        out += row;
    }
    return out;
}

std::vector<QRgb> palette(int n) {
    std::vector<QRgb> p{qRgb(0, 0, 0)};  // what ImageMagick gives skipped RLE pixels too
    for (int i = 1; i < n; ++i) p.push_back(qRgb(i * 37 % 256, i * 91 % 256, 255 - i * 13 % 256));
    return p;
}

// RLE8, bottom-up, 2000 wide (bands of 32 rows): runs and literal pixels,
// rows left out by early ends of line, a delta from row 12 across a band to
// row 53, and the end of the picture at row 90 of 100.
QByteArray rle8() {
    QByteArray c;
    for (int r = 0; r < 91; ++r) {
        if (r == 90) return c.append('\0').append('\1');
        if (r > 12 && r < 53) continue;
        if (r % 7 == 3) {
            c.append('\0').append('\0');
            continue;
        }
        c.append('\0').append('\5');  // five literal pixels, padded
        for (int i = 0; i < 5; ++i) c.append(char(1 + (r + i) % 9));
        c.append('\0');
        for (int x = 5; x < (r == 12 ? 300 : 2000); x += 200)
            c.append(char(std::min(200, 2000 - x))).append(char(1 + (x / 200 + r) % 9));
        if (r == 12)
            c.append('\0').append('\2').append('\5').append('\x29');
        else
            c.append('\0').append('\0');
    }
    return c;
}

// Where two pictures differ by more than `tolerance` in a channel: their
// sizes, or the first such pixel.
std::string difference(const QImage& a, const QImage& b, int tolerance = 0) {
    if (a.size() != b.size())
        return QStringLiteral("%1x%2 vs %3x%4")
            .arg(a.width())
            .arg(a.height())
            .arg(b.width())
            .arg(b.height())
            .toStdString();
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (testpics::channelDistance(a.pixel(x, y), b.pixel(x, y)) > tolerance)
                return QStringLiteral("at %1,%2: %3 vs %4")
                    .arg(x)
                    .arg(y)
                    .arg(a.pixel(x, y), 8, 16)
                    .arg(b.pixel(x, y), 8, 16)
                    .toStdString();
    return {};
}

class BmpDecoderTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

TEST_F(BmpDecoderTest, HandMadeKindsMatchImageMagick) {
    if (const QString missing = testcodecs::missingTools({"convert"}); !missing.isEmpty())
        GTEST_SKIP() << "needs the Debian package " << missing.toStdString();
    const auto colour = [](int x, int y) { return quint32(x * 7 + y * 3) % 251u * 0x10101u ^ x; };
    const auto index = [](int n) { return [n](int x, int y) { return quint32(x / 3 + y) % n; }; };
    const struct {
        const char* name;
        Bmp bmp;
    } cases[] = {
        {"24 bits, bottom-up, bands",
         {40, 2000, 100, 24, 0, {}, {}, 0, rows(2000, 100, 24, false, colour)}},
        {"8 bits, top-down, bands",
         {40, 2000, -70, 8, 0, {}, palette(200), 0, rows(2000, 70, 8, true, index(200))}},
        {"RLE8 skipping rows across bands", {40, 2000, 100, 8, 1, {}, palette(10), 0, rle8()}},
        {"OS/2 1.x, short palette, gap",
         {12, 61, 37, 8, 0, {}, palette(20), 9, rows(61, 37, 8, false, index(20))}},
        {"OS/2 2.x of 16 bytes, 4 bits",
         {16, 45, 30, 4, 0, {}, palette(16), 0, rows(45, 30, 4, false, index(16))}},
        {"1 bit, odd width", {40, 19, 9, 1, 0, {}, palette(2), 0, rows(19, 9, 1, false, index(2))}},
        {"V2, 5-6-5 bit fields, top-down",
         {52,
          33,
          -21,
          16,
          3,
          {0xf800, 0x7e0, 0x1f},
          {},
          0,
          rows(33, 21, 16, true,
               [](int x, int y) { return quint32(x * 1999 + y * 7919) & 0xffff; })}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(testpics::writeBytes(path("p.bmp"), file(c.bmp)));
        // ImageMagick warns of an end of file after some RLE codes (exit
        // status 1), yet writes the picture.
        QFile::remove(path("im.ppm"));
        const QString im =
            testcodecs::run("convert", {path("p.bmp"), "-depth", "8", "PPM:" + path("im.ppm")});
        const QImage reference(path("im.ppm"));
        ASSERT_FALSE(reference.isNull()) << im.toStdString();
        auto source = PictureSource::open(path("p.bmp"));
        ASSERT_TRUE(source.has_value()) << source.error().message.toStdString();
        auto image = source->decode();
        ASSERT_TRUE(image.has_value()) << image.error().message.toStdString();
        // ImageMagick widens 5 and 6 bits by repeating them, we round.
        EXPECT_EQ(difference(*image, reference, c.bmp.bits == 16 ? 1 : 0), "");
    }
}

TEST_F(BmpDecoderTest, BrokenFilesFailWithAReason) {
    const QByteArray oneBit =
        file({40, 64, 64, 1, 0, {}, palette(2), 0, rows(64, 64, 1, false, [](int x, int y) {
                  return quint32(x ^ y) & 1;
              })});
    const QByteArray rle = file({40, 300, 40, 8, 1, {}, palette(4), 0, rle8().left(200)});
    const struct {
        const char* name;
        QByteArray bytes;
        const char* reason;
    } cases[] = {
        {"1 bit, cut short", oneBit.left(oneBit.size() - 20), "file ends early"},
        {"RLE8 without its end", rle, "file ends early"},
        {"16000 x 16000 with 100 bytes",
         file({40, 16000, 16000, 24, 0, {}, {}, 0, QByteArray(100, 'x')}), "file ends early"},
        {"RLE8 16000 x 16000, one end of line",
         file({40, 16000, 16000, 8, 1, {}, palette(2), 0, QByteArray(2, '\0')}), "file ends early"},
        {"zero width", file({40, 0, 10, 24, 0, {}, {}, 0, QByteArray(40, 'x')}),
         "picture without area"},
        {"negative width", file({40, -5, 10, 24, 0, {}, {}, 0, QByteArray(400, 'x')}),
         "picture without area"},
        {"unknown header", file({100, 4, 4, 24, 0, {}, {}, 0, QByteArray(48, 'x')}),
         "unknown header size 100"},
        {"masks with holes",
         file({40, 4, 4, 16, 3, {0xf00f, 0xf0, 0xf00}, {}, 0, QByteArray(32, 'x')}),
         "not contiguous"},
        {"RLE8 at 24 bits", file({40, 4, 4, 24, 1, {}, {}, 0, QByteArray(48, 'x')}),
         "compression 1 at 24 bits"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(testpics::writeBytes(path("b.bmp"), c.bytes));
        auto source = PictureSource::open(path("b.bmp"));
        QString reason = source ? QString() : source.error().message;
        if (source) {
            auto thumb = source->decodeScaledTo(QSize(10, 10));
            ASSERT_FALSE(thumb.has_value());
            reason = thumb.error().message;
        }
        EXPECT_TRUE(reason.startsWith("BMP: ")) << reason.toStdString();
        EXPECT_TRUE(reason.contains(c.reason)) << reason.toStdString();
    }
}

// An icon or cursor directory over bitmap entries (a DIB whose height
// counts its AND mask) or PNG ones; the directory's own depth is 0.
QByteArray icon(int type, const std::vector<QByteArray>& entries) {
    QByteArray dir, data;
    put16(dir, 0), put16(dir, quint32(type)), put16(dir, quint32(entries.size()));
    for (const QByteArray& e : entries) {
        dir.append(char(16)).append(char(16)).append(QByteArray(6, '\0'));
        put32(dir, quint32(e.size()));
        put32(dir, quint32(6 + 16 * entries.size() + data.size()));
        data += e;
    }
    return dir + data;
}

// A bitmap entry of one colour (alpha in the high byte at 32 bits) whose
// mask is `mask(x, y)`.
QByteArray entry(int size, int bits, QRgb argb, const std::function<quint32(int, int)>& mask) {
    const bool indexed = bits <= 8;
    const auto colour = [&](int, int) { return indexed ? 1u : quint32(argb); };
    return file({40,
                 size,
                 2 * size,
                 bits,
                 0,
                 {},
                 indexed ? std::vector<QRgb>{0, argb} : std::vector<QRgb>{},
                 0,
                 rows(size, size, bits, false, colour) + rows(size, size, 1, false, mask)})
        .mid(14);
}

TEST_F(BmpDecoderTest, IconsTakeTheLargestDeepestEntryAndTheirMask) {
    const QRgb red = qRgb(200, 0, 0), green = qRgb(0, 160, 0), blue = qRgb(0, 0, 220);
    const auto none = [](int, int) { return 0u; };
    const auto leftHalf = [](int x, int) { return x < 8 ? 1u : 0u; };
    const QByteArray masked24 = entry(16, 24, green, leftHalf);
    const struct {
        const char* name;
        QByteArray bytes;
        QSize size;
        QRgb left, right;  // at (2, 8) and (13, 8) of the 16 x 16 picture
    } cases[] = {
        {"largest, then deepest",
         icon(1, {entry(16, 32, red, none), entry(32, 4, green, none), entry(32, 32, blue, none),
                  entry(32, 8, red, none)}),
         QSize(32, 32), blue, blue},
        {"cursor, 1 bit, masked", icon(2, {entry(16, 1, green, leftHalf)}), QSize(16, 16),
         qRgb(255, 255, 255), green},
        {"32 bits without alpha: the mask counts",
         icon(1, {entry(16, 32, qRgba(0, 0, 220, 0), leftHalf)}), QSize(16, 16),
         qRgb(255, 255, 255), blue},
        {"32 bits with alpha: the mask does not",
         icon(1, {entry(16, 32, blue | 0xff000000u, leftHalf).left(40 + 1024 + 10)}), QSize(16, 16),
         blue, blue},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(testpics::writeBytes(path("i.ico"), c.bytes));
        auto source = PictureSource::open(path("i.ico"));
        ASSERT_TRUE(source.has_value()) << source.error().message.toStdString();
        EXPECT_EQ(source->naturalSize(), c.size);
        auto image = source->decodeScaledTo(QSize(16, 16));
        ASSERT_TRUE(image.has_value()) << image.error().message.toStdString();
        EXPECT_EQ(image->pixel(2, 8), c.left);
        EXPECT_EQ(image->pixel(13, 8), c.right);
    }
    // A mask cut short fails where it counts.
    ASSERT_TRUE(
        testpics::writeBytes(path("cut.ico"), icon(1, {masked24.left(masked24.size() - 8)})));
    auto cut = PictureSource::open(path("cut.ico"));
    ASSERT_TRUE(cut.has_value());
    auto image = cut->decodeScaledTo(QSize(16, 16));
    ASSERT_FALSE(image.has_value());
    EXPECT_EQ(image.error().message, "ICO: file ends early");
}

}  // namespace
}  // namespace miniskop
