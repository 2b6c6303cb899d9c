// Tests of saveThumb and WriteJpegFile: the written JPEG's size, orientation
// and quality, the error number and descriptions, and whole-or-nothing
// replacement of an existing thumbnail.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <cerrno>

#include "JpegMarkers.h"
#include "JpegWriter.h"
#include "SafeFileWriter.h"

namespace miniskop {
namespace {

// Red upper half, blue lower half.
QImage halves(int w, int h) {
    QImage picture(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            picture.setPixel(x, y, y < h / 2 ? qRgb(255, 0, 0) : qRgb(0, 0, 255));
    return picture;
}

// A smooth picture the encoder can reproduce closely at high quality.
QImage gradient(int w, int h) {
    QImage picture(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            picture.setPixel(x, y, qRgb(x * 255 / (w - 1), y * 255 / (h - 1), 128));
    return picture;
}

int largestChannelDifference(const QImage& a, const QImage& b) {
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    return worst;
}

QStringList leftovers(const QString& dir) {
    return QDir(dir).entryList({QLatin1String(kTemporaryPrefix) + QLatin1Char('*')},
                               QDir::Files | QDir::Hidden);
}

void expectSaveFailed(const JpegStatus& result) {
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().number, -2147221503);
    EXPECT_EQ(result.error().description, QStringLiteral("Speichern fehlgeschlagen"));
}

// Clears the write fault hook however a test ends.
struct FaultHookGuard {
    ~FaultHookGuard() { setWriteFaultHookForTesting({}); }
};

TEST(JpegWriter, WritesUprightPicturesOfTheBuffersSize) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Widths cover every row padding (0 to 3 bytes).
    const QSize sizes[] = {{1, 2}, {2, 2}, {3, 5}, {4, 4}, {13, 7}, {120, 90}, {121, 34}};
    for (const QSize& size : sizes) {
        const QString path =
            dir.filePath(QStringLiteral("t_%1x%2.jpg").arg(size.width()).arg(size.height()));
        const auto result = saveThumb(halves(size.width(), size.height()), path, 90);
        ASSERT_TRUE(result.ok()) << size.width() << "x" << size.height();
        const QImage decoded(path);
        ASSERT_EQ(decoded.size(), size);
        if (size.height() < 4) continue;  // too small for separated halves
        const QRgb top = decoded.pixel(size.width() / 2, 0);
        const QRgb bottom = decoded.pixel(size.width() / 2, size.height() - 1);
        EXPECT_GT(qRed(top), 200) << size.width();
        EXPECT_LT(qBlue(top), 60) << size.width();
        EXPECT_GT(qBlue(bottom), 200) << size.width();
        EXPECT_LT(qRed(bottom), 60) << size.width();
    }
    EXPECT_TRUE(leftovers(dir.path()).isEmpty());
}

TEST(JpegWriter, QualityIsPassedUnchanged) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QImage picture = gradient(64, 48);
    // The first luminance quantiser of the standard tables scaled by quality.
    const struct { int quality, quantiser; } cases[] = {{1, 255}, {50, 16}, {90, 3}, {100, 1}};
    qint64 previousSize = 0;
    for (const auto& c : cases) {
        const QString path = dir.filePath(QStringLiteral("q%1.jpg").arg(c.quality));
        ASSERT_TRUE(saveThumb(picture, path, c.quality).ok()) << c.quality;
        EXPECT_EQ(testing::readJpegHeader(path).quant0First, c.quantiser) << c.quality;
        const qint64 size = QFileInfo(path).size();
        EXPECT_GT(size, previousSize) << c.quality;
        previousSize = size;
    }
    const QImage best(dir.filePath(QStringLiteral("q100.jpg")));
    const QImage worst(dir.filePath(QStringLiteral("q1.jpg")));
    EXPECT_LE(largestChannelDifference(best, picture), 12);
    EXPECT_GT(largestChannelDifference(worst, picture), 12);
}

TEST(JpegWriter, MissingFolderIsAFailedWriteAndLeavesNoFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("fehlt/t_bild.jpg"));
    expectSaveFailed(saveThumb(halves(8, 8), path, 90));
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(QDir(dir.path())
                    .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
                    .isEmpty());
}

TEST(JpegWriter, BufferWithoutPixelsNeverReachesTheEncoder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("leer.jpg"));

    cDIBSection fresh;
    expectSaveFailed(WriteJpegFile(fresh, path, 90));

    cDIBSection cleared;
    ASSERT_TRUE(cleared.Create(8, 8));
    cleared.ClearUp();  // still reports 8 x 8, but holds no pixels
    expectSaveFailed(WriteJpegFile(cleared, path, 90));

    cDIBSection refused;
    EXPECT_FALSE(refused.Create(0, 5));
    expectSaveFailed(WriteJpegFile(refused, path, 90));

    expectSaveFailed(saveThumb(QImage(), path, 90));
    EXPECT_FALSE(QFile::exists(path));
}

TEST(JpegWriter, EmptyFileNameIsAFailedWrite) {
    expectSaveFailed(saveThumb(halves(4, 4), QString(), 90));
}

TEST(JpegWriter, ReadOnlyThumbnailIsReplaced) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("t_alt.jpg"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("alt");
    }
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadUser));
    ASSERT_TRUE(saveThumb(halves(10, 6), path, 80).ok());
    EXPECT_EQ(QImage(path).size(), QSize(10, 6));
}

TEST(JpegWriter, FailedWriteKeepsTheOldThumbnailAndLeavesNoTemporaryFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("t_bild.jpg"));
    ASSERT_TRUE(saveThumb(halves(10, 6), path, 80).ok());
    QFile before(path);
    ASSERT_TRUE(before.open(QIODevice::ReadOnly));
    const QByteArray oldBytes = before.readAll();
    before.close();

    FaultHookGuard guard;
    int asked = 0;
    setWriteFaultHookForTesting([&](const QString&, qsizetype) {
        ++asked;
        return ENOSPC;
    });
    expectSaveFailed(saveThumb(gradient(30, 20), path, 80));
    EXPECT_EQ(asked, 1);

    QFile after(path);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), oldBytes);
    EXPECT_TRUE(leftovers(dir.path()).isEmpty());
}

TEST(JpegWriter, NameWithUmlautsAndBlanksIsKept) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString name = QStringLiteral("t_Grüße aus Köln – Ärger.jpg");
    ASSERT_TRUE(saveThumb(halves(6, 6), dir.filePath(name), 90).ok());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{name});
    EXPECT_EQ(QImage(dir.filePath(name)).size(), QSize(6, 6));
}

}  // namespace
}  // namespace miniskop
