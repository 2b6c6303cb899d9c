// Picture files that are not what their names say, or that change under the
// decoder: FIFOs, folders and dangling links named like pictures must fail at
// once without waiting; a name swapped for a FIFO after opening must neither
// block nor change what is decoded; GIFs whose logical screen differs from
// their frame decode to the size told as natural with the frame in its
// place on white, a GIF cut short fails, and screens beyond the decoding
// limit are refused.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <vector>

#include "FifoWatchdog.h"
#include "PictureSource.h"
#include "ThumbnailTestPictures.h"

namespace miniskop {
namespace {

// A one-frame GIF on a logical screen of `screen`, the frame at `frame`: its
// left half red, its right half blue. Every LZW code is a literal.
QByteArray gifOnScreen(QSize screen, QRect frame) {
    QByteArray b("GIF89a");
    auto u16 = [&](int v) { b.append(char(v & 0xff)).append(char((v >> 8) & 0xff)); };
    u16(screen.width()), u16(screen.height());
    b.append(char(0x91)).append(char(0)).append(char(0));
    const uchar palette[12] = {255, 0, 0, 0, 0, 255, 0, 255, 0, 255, 255, 255};
    b.append(reinterpret_cast<const char*>(palette), 12);
    b.append(char(0x2C));
    u16(frame.x()), u16(frame.y()), u16(frame.width()), u16(frame.height());
    b.append(char(0)).append(char(2));
    std::vector<int> codes;
    for (int i = 0; i < frame.width() * frame.height(); ++i) {
        if (i % 2 == 0) codes.push_back(4);  // a clear code keeps codes 3 bits wide
        codes.push_back(i % frame.width() < frame.width() / 2 ? 0 : 1);
    }
    codes.push_back(5);
    QByteArray data;
    unsigned bits = 0, count = 0;
    for (const int c : codes) {
        bits |= unsigned(c) << count;
        count += 3;
        while (count >= 8) data.append(char(bits & 0xff)), bits >>= 8, count -= 8;
    }
    if (count > 0) data.append(char(bits & 0xff));
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const qsizetype n = std::min<qsizetype>(255, data.size() - at);
        b.append(char(n)).append(data.mid(at, n));
    }
    b.append(char(0)).append(char(0x3B));
    return b;
}

class PictureFileSafety : public ::testing::Test {
protected:
    QString path(const QString& name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

TEST_F(PictureFileSafety, SpecialFilesNamedLikePicturesFailAtOnce) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("rohr.jpg")).constData(), 0644), 0);
    ASSERT_TRUE(QFile::link(path("rohr.jpg"), path("rohr-link.png")));
    ASSERT_TRUE(QDir(dir_.path()).mkdir("ordner.bmp"));
    ASSERT_TRUE(QFile::link(path("gibt-es-nicht.gif"), path("weg.gif")));
    for (const char* name : {"rohr.jpg", "rohr-link.png", "ordner.bmp", "weg.gif", "fehlt.wmf"}) {
        SCOPED_TRACE(name);
        bool opened = true;
        EXPECT_TRUE(ranWithoutWaitingOn(
            path("rohr.jpg"), [&] { opened = PictureSource::open(path(name)).has_value(); }));
        EXPECT_FALSE(opened);
    }
    // A link to a real picture is read through.
    ASSERT_TRUE(testpics::plain(9, 7, qRgb(0, 128, 0)).save(path("echt.png")));
    ASSERT_TRUE(QFile::link(path("echt.png"), path("verweis.png")));
    auto linked = PictureSource::open(path("verweis.png"));
    ASSERT_TRUE(linked.has_value());
    EXPECT_EQ(linked->naturalSize(), QSize(9, 7));
}

TEST_F(PictureFileSafety, ANameSwappedForAFifoAfterOpeningNeitherBlocksNorChangesThePicture) {
    const QImage photo = testpics::photoLike(64, 48, 3);
    ASSERT_TRUE(testpics::writeJpeg(path("a.jpg"), photo));
    ASSERT_TRUE(photo.save(path("b.png")));
    ASSERT_TRUE(photo.save(path("c.bmp")));
    ASSERT_TRUE(testpics::writeBytes(path("d.gif"), gifOnScreen(QSize(8, 4), QRect(0, 0, 8, 4))));
    // Whether the decoders can still reach the opened file depends on the
    // system naming descriptors; a failure is then acceptable, a wait never.
    const bool throughDescriptor = QDir(QStringLiteral("/proc/self/fd")).exists();
    for (const char* name : {"a.jpg", "b.png", "c.bmp", "d.gif"}) {
        SCOPED_TRACE(name);
        auto source = PictureSource::open(path(name));
        ASSERT_TRUE(source.has_value()) << source.error().message.toStdString();
        const QSize natural = source->naturalSize();
        ASSERT_TRUE(QFile::remove(path(name)));
        ASSERT_EQ(::mkfifo(QFile::encodeName(path(name)).constData(), 0644), 0);
        bool decoded = false, scaled = false;
        QSize decodedSize;
        EXPECT_TRUE(ranWithoutWaitingOn(path(name), [&] {
            const Expected<QImage> image = source->decode();
            decoded = image.has_value();
            if (decoded) decodedSize = image->size();
            scaled = source->decodeScaledTo(QSize(16, 12)).has_value();
        }));
        if (throughDescriptor) {
            EXPECT_TRUE(decoded);
            EXPECT_TRUE(scaled);
            EXPECT_EQ(decodedSize, natural);
        }
    }
}

TEST_F(PictureFileSafety, ErrorsNameNeitherTheDescriptorNorThePicture) {
    // Failing when opened (a JPEG cut before its scan), when decoded (a PNG
    // cut inside its data) and when missing.
    ASSERT_TRUE(testpics::writeJpeg(path("ok.jpg"), testpics::photoLike(40, 30, 5)));
    const QByteArray jpeg = testpics::readBytes(path("ok.jpg"));
    ASSERT_TRUE(testpics::writeBytes(path("kaputt.jpg"), jpeg.left(jpeg.indexOf("\xFF\xDA"))));
    ASSERT_TRUE(testpics::photoLike(80, 60, 5).save(path("ok.png")));
    const QByteArray png = testpics::readBytes(path("ok.png"));
    ASSERT_TRUE(testpics::writeBytes(path("kaputt.png"), png.left(png.size() / 3)));
    QStringList messages;
    for (const char* name : {"kaputt.jpg", "kaputt.png", "fehlt.jpg"}) {
        auto source = PictureSource::open(path(name));
        if (!source) {
            messages.append(source.error().message);
            continue;
        }
        const Expected<QImage> image = source->decode();
        ASSERT_FALSE(image.has_value()) << name;
        messages.append(image.error().message);
    }
    ASSERT_EQ(messages.size(), 3);
    // The reason only: whoever reports it names the picture, once.
    for (const QString& message : messages) {
        EXPECT_FALSE(message.isEmpty());
        EXPECT_FALSE(message.contains(QStringLiteral("/proc/"))) << message.toStdString();
        EXPECT_FALSE(message.contains(dir_.path())) << message.toStdString();
    }
}

TEST_F(PictureFileSafety, AGifFrameOnALargerScreenDecodesToTheNaturalSize) {
    // The reference: the same frame on a screen of its own size.
    ASSERT_TRUE(testpics::writeBytes(path("ref.gif"), gifOnScreen(QSize(6, 5), QRect(0, 0, 6, 5))));
    auto ref = PictureSource::open(path("ref.gif"));
    ASSERT_TRUE(ref.has_value());
    const Expected<QImage> refImage = ref->decode();
    ASSERT_TRUE(refImage.has_value());
    ASSERT_EQ(refImage->size(), QSize(6, 5));
    EXPECT_EQ(refImage->pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(refImage->pixel(5, 4), qRgb(0, 0, 255));

    // Screens just wider and far wider (where the reader's told size and its
    // decoding once disagreed), taller, and a frame away from the corner.
    const struct {
        QSize screen;
        QRect frame;
    } cases[] = {
        {QSize(7, 5), QRect(0, 0, 6, 5)},       {QSize(300, 5), QRect(0, 0, 6, 5)},
        {QSize(2054, 5), QRect(0, 0, 6, 5)},    {QSize(6, 2054), QRect(0, 0, 6, 5)},
        {QSize(3000, 3000), QRect(0, 0, 6, 5)}, {QSize(3000, 40), QRect(2500, 10, 6, 5)},
        {QSize(12, 10), QRect(0, 0, 6, 5)},     {QSize(12, 10), QRect(6, 5, 6, 5)},
        {QSize(8, 7), QRect(4, 4, 6, 5)},  // reaching beyond the screen: cut at its edge
    };
    for (const auto& c : cases) {
        const QString name =
            QStringLiteral("s%1x%2.gif").arg(c.screen.width()).arg(c.screen.height());
        SCOPED_TRACE(name.toStdString());
        ASSERT_TRUE(testpics::writeBytes(path(name), gifOnScreen(c.screen, c.frame)));
        auto source = PictureSource::open(path(name));
        ASSERT_TRUE(source.has_value()) << source.error().message.toStdString();
        const QSize natural = source->naturalSize();
        for (const QSize atLeast : {QSize(), QSize(120, 120), QSize(2, 2)}) {
            const Expected<QImage> image = source->decode(atLeast);
            ASSERT_TRUE(image.has_value()) << image.error().message.toStdString();
            EXPECT_EQ(image->size(), natural);
            // The frame is where the screen puts it, whichever size is told.
            const QPoint at = c.frame.topLeft();
            if (at.x() + 5 < natural.width() && at.y() + 4 < natural.height()) {
                EXPECT_EQ(image->pixel(at), qRgb(255, 0, 0));
                EXPECT_EQ(image->pixel(at + QPoint(5, 4)), qRgb(0, 0, 255));
            }
            // The screen around the frame is transparent, so white: the
            // frame is neither stretched over it nor its colours spilt.
            for (const QPoint p : {QPoint(natural.width() - 1, natural.height() - 1),
                                   at + QPoint(6, 0), at + QPoint(0, 5), at - QPoint(1, 1)}) {
                if (!c.frame.contains(p) && QRect(QPoint(0, 0), natural).contains(p)) {
                    EXPECT_EQ(image->pixel(p), qRgb(255, 255, 255)) << p.x() << "," << p.y();
                }
            }
        }
        const Expected<QImage> thumb = source->decodeScaledTo(QSize(3, 2));
        ASSERT_TRUE(thumb.has_value());
        EXPECT_EQ(thumb->size(), QSize(3, 2));
    }
}

TEST_F(PictureFileSafety, AGifCutShortFails) {
    const QByteArray whole = gifOnScreen(QSize(40, 30), QRect(0, 0, 40, 30));
    // Cut inside the frame's data, and just before its end (the data block
    // terminator and the trailer): never a picture with rows made up.
    for (const qsizetype keep : {whole.size() / 2, whole.size() - 3}) {
        SCOPED_TRACE(keep);
        ASSERT_TRUE(testpics::writeBytes(path("cut.gif"), whole.left(keep)));
        auto source = PictureSource::open(path("cut.gif"));
        ASSERT_TRUE(source.has_value());
        EXPECT_FALSE(source->decodeScaledTo(QSize(20, 15)).has_value());
        EXPECT_FALSE(source->decode().has_value());
    }
}

TEST_F(PictureFileSafety, GifScreensBeyondTheDecodingLimitAreRefused) {
    // 20000 x 20000 at four bytes a pixel is 1.6 GB, for a frame of 6 x 5.
    for (const QSize screen : {QSize(20000, 20000), QSize(65535, 65535), QSize(65535, 4200)}) {
        SCOPED_TRACE(screen.width());
        const QString name = QStringLiteral("gross%1.gif").arg(screen.height());
        ASSERT_TRUE(testpics::writeBytes(path(name), gifOnScreen(screen, QRect(0, 0, 6, 5))));
        auto source = PictureSource::open(path(name));
        EXPECT_TRUE(!source || (!source->decode().has_value() &&
                                !source->decodeScaledTo(QSize(6, 5)).has_value()));
    }
}

}  // namespace
}  // namespace miniskop
