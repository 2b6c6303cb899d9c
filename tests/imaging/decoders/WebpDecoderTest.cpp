// WebP decoding with scaling on load: lossy and lossless, with and without
// alpha, against Qt's full decode scaled by the area scaler; enlarging,
// the EXIF orientation, the case left to the Qt path (animation) and
// damaged files.
#include <gtest/gtest.h>
#include <unistd.h>
#include <webp/encode.h>

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>

#include "AreaScaler.h"
#include "PictureSource.h"
#include "QtDecoder.h"
#include "ThumbnailTestPictures.h"
#include "WebpDecoder.h"

namespace miniskop {
namespace {

// Encodes `image` (any format; alpha kept) as lossy or lossless WebP.
QByteArray encodeWebp(const QImage& image, bool lossless) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    uint8_t* out = nullptr;
    const size_t size = lossless
                            ? WebPEncodeLosslessBGRA(argb.constBits(), argb.width(), argb.height(),
                                                     int(argb.bytesPerLine()), &out)
                            : WebPEncodeBGRA(argb.constBits(), argb.width(), argb.height(),
                                             int(argb.bytesPerLine()), 90, &out);
    QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(size));
    WebPFree(out);
    return bytes;
}

// A photo-like picture; with `alpha`, a transparent band, a half
// transparent one and soft alpha in between.
QImage picture(int width, int height, bool alpha) {
    QImage image = testpics::photoLike(width, height, 7).convertToFormat(QImage::Format_ARGB32);
    if (!alpha) return image;
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int a = y < height / 4 ? 0 : y < height / 2 ? 128 : 255 * x / width;
            line[x] = (line[x] & 0x00ffffffu) | (quint32(a) << 24);
        }
    }
    return image;
}

QImage qtReference(const QByteArray& bytes, QSize target) {
    QBuffer buffer;
    buffer.setData(bytes);
    QImage image = QImageReader(&buffer).read();
    if (image.isNull()) return {};
    return AreaScaler::scale(flattenOnWhite(image), target);
}

// The WebP decoder's result for the file holding `bytes`.
Expected<std::optional<QImage>> decodeBytes(const QByteArray& bytes, QSize target) {
    auto file = testpics::pictureFileOf(bytes);
    if (!file) return unexpected(file.error());
    return decodeWebpScaled(*file, target);
}

QImage decoded(const QByteArray& bytes, QSize target) {
    auto result = decodeBytes(bytes, target);
    EXPECT_TRUE(result.has_value()) << (result ? "" : result.error().message.toStdString());
    if (!result) return {};
    EXPECT_TRUE(result->has_value());
    if (!*result) return {};
    EXPECT_EQ((*result)->format(), QImage::Format_RGB32);
    return **result;
}

TEST(WebpDecoder, MatchesQtDecodeScaled) {
    for (bool lossless : {false, true}) {
        for (bool alpha : {false, true}) {
            SCOPED_TRACE(testing::Message() << "lossless " << lossless << " alpha " << alpha);
            const QByteArray bytes = encodeWebp(picture(603, 401, alpha), lossless);
            ASSERT_FALSE(bytes.isEmpty());
            for (QSize target : {QSize(120, 80), QSize(37, 25), QSize(603, 401)}) {
                SCOPED_TRACE(testing::Message() << target.width() << " x " << target.height());
                const QImage mine = decoded(bytes, target);
                ASSERT_EQ(mine.size(), target);
                EXPECT_GE(testpics::psnr(mine, qtReference(bytes, target)), 38.0);
            }
        }
    }
}

TEST(WebpDecoder, TransparencyIsLaidOnWhite) {
    const QByteArray bytes = encodeWebp(picture(64, 64, true), true);
    const QImage out = decoded(bytes, QSize(16, 16));
    EXPECT_EQ(out.pixel(5, 1), qRgb(255, 255, 255));  // the transparent band
    const QImage full = decoded(bytes, QSize(64, 64));
    const QRgb source = picture(64, 64, false).pixel(10, 20);  // alpha 128 there
    for (auto [got, want] : {std::pair{qRed(full.pixel(10, 20)), qRed(source)},
                             std::pair{qBlue(full.pixel(10, 20)), qBlue(source)}})
        EXPECT_NEAR(got, (want * 128 + 255 * 127) / 255, 2);
}

TEST(WebpDecoder, EnlargesAndKeepsOddSizesLikeTheScaler) {
    const QSize cases[][2] = {
        {QSize(1, 1), QSize(120, 120)},
        {QSize(1, 40), QSize(3, 120)},
        {QSize(90, 2), QSize(120, 3)},   // wider and taller than the picture
        {QSize(200, 3), QSize(120, 5)},  // shrinks across, grows down
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c[0].width() << " x " << c[0].height());
        const QByteArray bytes = encodeWebp(picture(c[0].width(), c[0].height(), true), true);
        const QImage mine = decoded(bytes, c[1]);
        ASSERT_EQ(mine.size(), c[1]);
        EXPECT_GE(testpics::psnr(mine, qtReference(bytes, c[1])), 38.0);
    }
}

QByteArray le32(quint32 v) {
    QByteArray out;
    for (int shift = 0; shift < 32; shift += 8) out.append(char((v >> shift) & 0xff));
    return out;
}

// Wraps the chunks of a simple WebP file into an extended (VP8X) one.
QByteArray extended(const QByteArray& simple, quint8 flags, const QByteArray& extraChunks,
                    QSize canvas = QSize(1, 1)) {
    QByteArray vp8x = QByteArray("VP8X") + le32(10);
    vp8x.append(char(flags));
    vp8x.append(QByteArray(3, '\0'));
    vp8x.append(le32(quint32(canvas.width() - 1)).left(3));
    vp8x.append(le32(quint32(canvas.height() - 1)).left(3));
    const QByteArray body = QByteArray("WEBP") + vp8x + extraChunks + simple.mid(12);
    return QByteArray("RIFF") + le32(quint32(body.size())) + body;
}

// An EXIF chunk holding the orientation tag alone (TIFF header, little
// endian, one directory entry), with JPEG's "Exif" mark before it or not.
QByteArray exifChunk(int orientation, bool marked) {
    QByteArray tiff("II*\0", 4);
    tiff += le32(8) + QByteArray("\x01\x00\x12\x01\x03\x00", 6) + le32(1);
    tiff += QByteArray(1, char(orientation)) + QByteArray(3, '\0') + le32(0);
    if (marked) tiff.prepend(QByteArray("Exif\0\0", 6));
    QByteArray chunk = QByteArray("EXIF") + le32(quint32(tiff.size())) + tiff;
    if (tiff.size() % 2 != 0) chunk.append('\0');
    return chunk;
}

TEST(WebpDecoder, LeavesAnimationToTheCaller) {
    const QByteArray still = encodeWebp(picture(1, 1, false), true);
    const QByteArray anim = QByteArray("ANIM") + le32(6) + QByteArray(6, '\0');
    auto animated = decodeBytes(extended(still, 0x02, anim), QSize(1, 1));
    ASSERT_TRUE(animated.has_value()) << animated.error().message.toStdString();
    EXPECT_FALSE(animated->has_value());
    // An EXIF flag without its chunk is no reason to leave the picture.
    auto exif = decodeBytes(extended(still, 0x08, {}), QSize(1, 1));
    ASSERT_TRUE(exif.has_value()) << exif.error().message.toStdString();
    EXPECT_TRUE(exif->has_value());

    EXPECT_TRUE(looksLikeWebp(still));
    EXPECT_FALSE(looksLikeWebp(QByteArray("RIFF\0\0\0\0WAVE", 12)));
}

TEST(WebpDecoder, ExifOrientationTurnsThePicture) {
    // Stored 4 x 2, blue but for a red top left pixel, which the eight
    // orientations put into these corners of the picture as displayed.
    QImage stored(4, 2, QImage::Format_RGB32);
    stored.fill(qRgb(0, 0, 255));
    stored.setPixel(0, 0, qRgb(255, 0, 0));
    const QByteArray simple = encodeWebp(stored, true);
    const char* corners[] = {"", "TL", "TR", "BR", "BL", "TL", "TR", "BR", "BL"};
    QTemporaryDir dir;
    for (int orientation = 1; orientation <= 8; ++orientation) {
        for (bool marked : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << "orientation " << orientation << " marked " << marked);
            // The EXIF chunk follows the image data, as the format has it.
            QByteArray file =
                extended(simple, 0x08, {}, stored.size()) + exifChunk(orientation, marked);
            file.replace(4, 4, le32(quint32(file.size() - 8)));
            const QString name = dir.filePath(QStringLiteral("o%1.webp").arg(orientation));
            ASSERT_TRUE(testpics::writeBytes(name, file));
            auto source = PictureSource::open(name);
            ASSERT_TRUE(source.has_value()) << source.error().message.toStdString();
            const QSize shown = orientation >= 5 ? QSize(2, 4) : QSize(4, 2);
            ASSERT_EQ(source->naturalSize(), shown);
            const QString corner = QString::fromLatin1(corners[orientation]);
            const QPoint red(corner.endsWith('R') ? shown.width() - 1 : 0,
                             corner.startsWith('B') ? shown.height() - 1 : 0);
            // The thumbnail road (libwebp) and the whole picture (Qt's reader).
            for (const Expected<QImage>& image :
                 {source->decodeScaledTo(shown), source->decode()}) {
                ASSERT_TRUE(image.has_value()) << image.error().message.toStdString();
                ASSERT_EQ(image->size(), shown);
                for (int y = 0; y < shown.height(); ++y)
                    for (int x = 0; x < shown.width(); ++x)
                        EXPECT_EQ(image->pixel(x, y),
                                  QPoint(x, y) == red ? qRgb(255, 0, 0) : qRgb(0, 0, 255))
                            << x << "," << y;
            }
        }
    }
}

TEST(WebpDecoder, ReadsThroughTheDescriptorWithoutMovingIt) {
    const QByteArray bytes = encodeWebp(picture(300, 200, true), false);
    auto file = testpics::pictureFileOf(bytes);
    ASSERT_TRUE(file.has_value());
    ASSERT_EQ(::lseek(file->descriptor(), 3, SEEK_SET), 3);
    auto fromFile = decodeWebpScaled(*file, QSize(120, 80));
    EXPECT_EQ(::lseek(file->descriptor(), 0, SEEK_CUR), 3);
    ASSERT_TRUE(fromFile.has_value() && fromFile->has_value());
    EXPECT_EQ(**fromFile, decoded(bytes, QSize(120, 80)));
}

TEST(WebpDecoder, DamagedFilesFailCleanly) {
    for (bool lossless : {false, true}) {
        SCOPED_TRACE(lossless);
        const QByteArray bytes = encodeWebp(picture(96, 64, true), lossless);
        for (qsizetype n = 0; n < bytes.size(); n += (n < 64 ? 1 : 13))
            EXPECT_FALSE(decodeBytes(bytes.left(n), QSize(20, 12)).has_value()) << n;
        // Overwritten data may decode to some picture or fail, never crash.
        for (qsizetype at = 20; at < bytes.size(); at += 31) {
            QByteArray broken = bytes;
            broken[at] = char(broken[at] ^ 0xa5);
            auto result = decodeBytes(broken, QSize(20, 12));
            if (result && *result) {
                EXPECT_EQ((*result)->size(), QSize(20, 12));
            }
        }
    }
    EXPECT_FALSE(decodeBytes(QByteArray(), QSize(1, 1)).has_value());
}

}  // namespace
}  // namespace miniskop
