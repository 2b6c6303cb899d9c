// resize on the work surfaces: sizes of picSource, picThumb and ImgSizer after
// success, and what picThumb holds after each kind of failure.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "ThumbnailCanvas.h"
#include "ThumbnailTestPictures.h"

namespace miniskop {
namespace {

class ThumbnailCanvasTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testpics::writeJpeg(dir_.filePath("a.jpg"), testpics::photoLike(640, 480, 3)));
        ASSERT_TRUE(testpics::plain(100, 50, qRgb(0, 0, 255)).save(dir_.filePath("b.bmp")));
        ASSERT_TRUE(testpics::writeBytes(dir_.filePath("bad.gif"), "GIF89a broken"));
    }
    QString path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }
    QTemporaryDir dir_;
    ThumbnailCanvas canvas_;
};

TEST_F(ThumbnailCanvasTest, DrawsTheScaledPictureIntoPicThumb) {
    ASSERT_TRUE(canvas_.resize(path("a.jpg"), 120.0f, false).ok());
    EXPECT_EQ(canvas_.picSource.width, 640);
    EXPECT_EQ(canvas_.picSource.height, 480);
    EXPECT_FALSE(canvas_.ImgSizer.holdsPicture);
    EXPECT_EQ(canvas_.picThumb.width, 120);
    EXPECT_EQ(canvas_.picThumb.height, 90);
    EXPECT_EQ(canvas_.picThumb.drawnImage().size(), QSize(120, 90));
    EXPECT_EQ(canvas_.picThumb.drawnImage(), canvas_.picThumb.image);

    ASSERT_TRUE(canvas_.resize(path("b.bmp"), 120.0f, true).ok());
    EXPECT_EQ(canvas_.picSource.width, 100);
    EXPECT_EQ(canvas_.picThumb.width, 120);
    EXPECT_EQ(canvas_.picThumb.height, 60);
    EXPECT_EQ(canvas_.picThumb.drawnImage().pixel(60, 30), qRgb(0, 0, 255));
}

TEST_F(ThumbnailCanvasTest, FailureKeepsTheSizeButNotThePixels) {
    ASSERT_TRUE(canvas_.resize(path("a.jpg"), 120.0f, false).ok());
    const QRgb blank = qRgb(240, 240, 240);
    for (const char* name : {"bad.gif", "missing.jpg"}) {
        EXPECT_FALSE(canvas_.resize(path(name), 120.0f, false).ok()) << name;
        EXPECT_EQ(canvas_.picThumb.width, 120) << name;
        EXPECT_EQ(canvas_.picThumb.height, 90) << name;
        EXPECT_TRUE(canvas_.picThumb.image.isNull()) << name;
        const QImage drawn = canvas_.picThumb.drawnImage();
        ASSERT_EQ(drawn.size(), QSize(120, 90));
        EXPECT_EQ(drawn.pixel(0, 0), blank);
        EXPECT_EQ(drawn.pixel(119, 89), blank);
    }
    // A size bound of 0 or less: the picture loads, the size rule refuses.
    ASSERT_TRUE(canvas_.resize(path("b.bmp"), 120.0f, false).ok());
    EXPECT_FALSE(canvas_.resize(path("a.jpg"), 0.0f, false).ok());
    EXPECT_FALSE(canvas_.resize(path("a.jpg"), -120.0f, true).ok());
    EXPECT_EQ(canvas_.picThumb.width, 100);
    EXPECT_EQ(canvas_.picThumb.height, 50);
    EXPECT_EQ(canvas_.picSource.width, 640);  // loading got that far
    EXPECT_EQ(canvas_.picThumb.drawnImage().pixel(50, 25), blank);
}

TEST(PictureBox, DrawnImageIsBlankWhenSizesDisagreeAndNullWithoutArea) {
    PictureBox box;
    EXPECT_TRUE(box.drawnImage().isNull());
    box.width = 4, box.height = 3;
    box.image = testpics::plain(5, 3, qRgb(1, 2, 3));
    EXPECT_EQ(box.drawnImage().size(), QSize(4, 3));
    EXPECT_EQ(box.drawnImage().pixel(0, 0), qRgb(240, 240, 240));
    box.image = testpics::plain(4, 3, qRgb(1, 2, 3));
    EXPECT_EQ(box.drawnImage().pixel(3, 2), qRgb(1, 2, 3));
}

}  // namespace
}  // namespace miniskop
