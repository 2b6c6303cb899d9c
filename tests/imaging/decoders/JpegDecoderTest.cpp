// The JPEG decoder's reduced decoding of progressive files: at 1/8 only the DC
// scans are read, and the pixels are exactly those of a sequential file with
// the same coefficients; a file cut after its DC scans still gives them, one
// cut before does not. Pictures of a few pixels, which no DCT scale reduces,
// decode exactly as djpeg decodes them.
#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>
#include <cstring>

#include "DecodeLimit.h"
#include "ExternalCodecs.h"
#include "JpegRows.h"
#include "PictureFile.h"
#include "PictureSource.h"
#include "ThumbnailTestPictures.h"

namespace miniskop {
namespace {

// Collects the decoded rows into an image.
class CollectingSink : public JpegRowSink {
public:
    bool begin(QSize decoded) override {
        image = QImage(decoded, QImage::Format_RGB32);
        return !image.isNull();
    }
    void row(const unsigned char* bgrx) override {
        if (next < image.height())
            std::memcpy(image.scanLine(next++), bgrx, size_t(image.width()) * 4);
    }
    QImage image;
    int next = 0;
};

Expected<QImage> decodeAt(const QString& path, QSize atLeast) {
    auto file = PictureFile::open(path);
    if (!file) return unexpected(file.error());
    CollectingSink sink;
    const Status status = decodeJpegRows(*file, atLeast, sink);
    if (!status) return unexpected(status.error());
    if (sink.next != sink.image.height()) return fail(QStringLiteral("rows missing"));
    return sink.image;
}

// Offset of the n-th start-of-scan marker, counted from 1 (-1 if none).
qsizetype scanStart(const QByteArray& jpeg, int n) {
    qsizetype at = -1;
    for (int k = 0; k < n; ++k) {
        at = jpeg.indexOf("\xFF\xDA", at + 1);
        if (at < 0) return -1;
    }
    return at;
}

class ProgressiveJpegTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString path(const QString& name) const { return dir_.filePath(name); }

    // A sequential file and a progressive one with the same coefficients.
    void writePair(const QImage& picture, testpics::JpegKind kind, bool fullChroma = false) {
        testpics::JpegOptions options;
        options.kind = kind;
        options.quality = 85;
        options.fullChroma = fullChroma;
        ASSERT_TRUE(testpics::writeJpeg(path("s.jpg"), picture, options));
        ASSERT_TRUE(testpics::transcodeJpeg(path("s.jpg"), path("p.jpg"), true));
        ASSERT_NE(testpics::readBytes(path("s.jpg")), testpics::readBytes(path("p.jpg")));
    }

    QTemporaryDir dir_;
};

TEST_F(ProgressiveJpegTest, ReducedDecodingEqualsTheSequentialDecode) {
    struct Case {
        int width, height;
        testpics::JpegKind kind;
        bool fullChroma;
    };
    for (const Case c : {Case{1600, 1200, testpics::JpegKind::Colour, false},
                         Case{1003, 757, testpics::JpegKind::Colour, true},
                         Case{1003, 757, testpics::JpegKind::Colour, false},
                         Case{640, 968, testpics::JpegKind::Grey, false},
                         Case{9, 17, testpics::JpegKind::Colour, false}}) {
        SCOPED_TRACE(testing::Message()
                     << c.width << "x" << c.height << (c.fullChroma ? " 4:4:4" : ""));
        writePair(testpics::photoLike(c.width, c.height, unsigned(c.width)), c.kind, c.fullChroma);
        const QSize stored(c.width, c.height);
        // Every scale: the reduced ones read only some scans, 8/8 reads all.
        for (int eighths = 1; eighths <= 8; ++eighths) {
            const QSize atLeast = jpegScaledSize(stored, eighths);
            ASSERT_EQ(jpegScaleFor(stored, atLeast), eighths);
            const Expected<QImage> sequential = decodeAt(path("s.jpg"), atLeast);
            const Expected<QImage> progressive = decodeAt(path("p.jpg"), atLeast);
            ASSERT_TRUE(sequential) << sequential.error().message.toStdString();
            ASSERT_TRUE(progressive) << progressive.error().message.toStdString();
            EXPECT_EQ(progressive->size(), atLeast);
            EXPECT_TRUE(*progressive == *sequential) << "at " << eighths << "/8";
        }
    }
}

TEST_F(ProgressiveJpegTest, AtOneEighthTheScansAfterTheDcOnesAreNotNeeded) {
    writePair(testpics::photoLike(800, 600, 3), testpics::JpegKind::Colour);
    const QByteArray progressive = testpics::readBytes(path("p.jpg"));
    const Expected<QImage> whole = decodeAt(path("p.jpg"), QSize(1, 1));
    ASSERT_TRUE(whole);

    // The last scan (the lowest bit of the luma AC coefficients) adds nothing
    // at 1/8: cut a little way into its data, the 1/8 picture is complete.
    const qsizetype lastScan = progressive.lastIndexOf("\xFF\xDA");
    ASSERT_GT(lastScan, scanStart(progressive, 2));
    const int headerLength =
        (uchar(progressive[lastScan + 2]) << 8) | uchar(progressive[lastScan + 3]);
    const qsizetype cutAt = lastScan + 2 + headerLength + 16;
    ASSERT_LT(cutAt, progressive.size() - 100);
    ASSERT_TRUE(testpics::writeBytes(path("no-last-scan.jpg"), progressive.left(cutAt)));
    const Expected<QImage> cut = decodeAt(path("no-last-scan.jpg"), QSize(1, 1));
    ASSERT_TRUE(cut) << cut.error().message.toStdString();
    EXPECT_TRUE(*cut == *whole);
    // At full size the same file is damaged.
    EXPECT_FALSE(decodeAt(path("no-last-scan.jpg"), QSize()));

    // Cut inside the first (DC) scan: nothing complete to show.
    const qsizetype firstScan = scanStart(progressive, 1);
    ASSERT_GT(firstScan, 0);
    ASSERT_TRUE(testpics::writeBytes(path("cut-dc.jpg"), progressive.left(firstScan + 200)));
    EXPECT_FALSE(decodeAt(path("cut-dc.jpg"), QSize(1, 1)));
}

TEST_F(ProgressiveJpegTest, TinyPicturesDecodeAsDjpegDoes) {
    if (const QString missing = testcodecs::missingTools({"djpeg"}); !missing.isEmpty())
        GTEST_SKIP() << "needs the Debian package " << missing.toStdString();
    // Chroma at half resolution both ways, as cameras and most encoders
    // write it; sizes where a DCT scale below 8/8 would round back up to the
    // picture's own size, and larger ones where the full scale is used.
    for (const QSize size : {QSize(4, 4), QSize(1, 1), QSize(3, 5), QSize(7, 7), QSize(7, 2),
                             QSize(16, 16), QSize(23, 9)}) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        testpics::JpegOptions options;
        options.quality = 90;
        ASSERT_TRUE(testpics::writeJpeg(
            path("t.jpg"), testpics::photoLike(size.width(), size.height(), 5), options));
        ASSERT_EQ(testcodecs::run("djpeg", {"-outfile", path("t.ppm"), path("t.jpg")}), QString());
        const QImage reference = QImage(path("t.ppm")).convertToFormat(QImage::Format_RGB32);
        auto source = PictureSource::open(path("t.jpg"));
        ASSERT_TRUE(source.has_value());
        // The thumbnail road at the picture's own size, and enlarged by the
        // scaler from the full decode.
        const Expected<QImage> own = source->decodeScaledTo(size);
        ASSERT_TRUE(own.has_value()) << own.error().message.toStdString();
        EXPECT_TRUE(*own == reference);
        EXPECT_TRUE(*source->decode(size * 3) == reference);
    }
}

// libjpeg is held to the decoding limit, and what the decoder reckons it
// needs must cover what libjpeg takes: at a limit of exactly that much every
// file decodes (libjpeg asking for a backing store would fail it), at one
// byte less it is refused as too large, in the program's words.
TEST_F(ProgressiveJpegTest, LibjpegNeverNeedsMoreThanReckoned) {
    const QImage picture = testpics::photoLike(640, 480, 5);
    writePair(picture, testpics::JpegKind::Colour, true);  // s.jpg, p.jpg: 4:4:4
    ASSERT_TRUE(testpics::writeJpeg(path("s420.jpg"), picture));
    ASSERT_TRUE(testpics::transcodeJpeg(path("s420.jpg"), path("p420.jpg"), true));
    const qint64 before = decodeLimit();
    for (const char* name : {"s.jpg", "p.jpg", "p420.jpg"}) {
        for (const QSize atLeast : {QSize(60, 45), QSize()}) {
            SCOPED_TRACE(testing::Message() << name << " " << atLeast.width());
            setDecodeLimit(1);
            const auto refused = decodeAt(path(name), atLeast);
            ASSERT_FALSE(refused.has_value());
            const qint64 needed = refused.error().neededBytes;
            ASSERT_GT(needed, 1);
            setDecodeLimit(needed);
            const auto made = decodeAt(path(name), atLeast);
            EXPECT_TRUE(made.has_value()) << made.error().message.toStdString();
            setDecodeLimit(needed - 1);
            const auto short1 = decodeAt(path(name), atLeast);
            ASSERT_FALSE(short1.has_value());
            EXPECT_EQ(short1.error().message, tooLarge(needed, needed - 1).error.message);
        }
    }
    setDecodeLimit(before);
}

}  // namespace
}  // namespace miniskop
