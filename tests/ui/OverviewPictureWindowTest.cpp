// The window a picture link opens: the picture read by the program's own
// decoders at its natural size or reduced to the room it gets, drawn centred
// on black and shrunk with the window, never enlarged; files that are not
// pictures open no window.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QTemporaryDir>

#include "OverviewPictureWindow.h"
#include "UiEvents.h"

namespace miniskop {
namespace {

// Left half red, right half blue: shows whether proportions and sides survive.
QImage halves(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(QRect(0, 0, size.width() / 2, size.height()), QColor(220, 30, 30));
    painter.fillRect(QRect(size.width() / 2, 0, size.width() - size.width() / 2, size.height()),
                     QColor(30, 30, 220));
    return image;
}

bool near(QColor a, QColor b, int tolerance = 24) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

class OverviewPictureWindowTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (window) window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QString save(const QString& name, const QImage& image, const char* format) {
        const QString path = tmp.filePath(name);
        EXPECT_TRUE(image.save(path, format, 95)) << name.toStdString();
        return path;
    }
    QTemporaryDir tmp;
    QPointer<OverviewPictureWindow> window;
};

TEST_F(OverviewPictureWindowTest, ASmallPictureShowsWholeAndCentredOnBlack) {
    const QString path = save("klein bild.bmp", halves(QSize(60, 40)), "BMP");
    window = OverviewPictureWindow::open(path, QSize(800, 600));
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "klein bild.bmp");
    EXPECT_EQ(window->path(), path);
    EXPECT_EQ(window->picture().size(), QSize(60, 40));
    // The window keeps a usable least size; the picture sits in its middle.
    window->resize(200, 140);
    EXPECT_EQ(window->pictureRect(), QRect(70, 50, 60, 40));

    const QImage shot = window->grab().toImage();
    EXPECT_TRUE(near(shot.pixelColor(5, 5), Qt::black));
    EXPECT_TRUE(near(shot.pixelColor(195, 135), Qt::black));
    EXPECT_TRUE(near(shot.pixelColor(80, 70), QColor(220, 30, 30)));
    EXPECT_TRUE(near(shot.pixelColor(120, 70), QColor(30, 30, 220)));
}

TEST_F(OverviewPictureWindowTest, ALargePictureIsReducedToTheRoomKeepingItsProportions) {
    const QString path = save("gross.jpg", halves(QSize(2000, 1000)), "JPEG");
    window = OverviewPictureWindow::open(path, QSize(500, 400));
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->picture().size(), QSize(500, 250));
    EXPECT_EQ(window->size(), QSize(500, 250));
    EXPECT_TRUE(near(window->picture().pixelColor(100, 125), QColor(220, 30, 30)));
    EXPECT_TRUE(near(window->picture().pixelColor(400, 125), QColor(30, 30, 220)));

    // A smaller window shrinks the drawing with it; a larger one does not
    // blow it up.
    window->resize(250, 250);
    EXPECT_EQ(window->pictureRect(), QRect(0, 62, 250, 125));
    window->resize(1000, 600);
    EXPECT_EQ(window->pictureRect().size(), QSize(500, 250));
}

// A picture too large to read at once: the window shows first, the picture
// follows from a worker thread; damaged data behind a sound header closes the
// window and says so.
TEST_F(OverviewPictureWindowTest, ALargePictureFollowsItsWindowOrClosesItWhenDamaged) {
    const QImage large = halves(QSize(3000, 1500));
    ASSERT_GT(qint64(large.width()) * large.height(), OverviewPictureWindow::kReadAtOnce);
    window = OverviewPictureWindow::open(save("panorama.png", large, "PNG"), QSize(600, 400));
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->size(), QSize(600, 300));
    if (window->picture().isNull()) {
        ASSERT_TRUE(testing::waitFor(window.data(), &OverviewPictureWindow::pictureShown, 20000));
    }
    EXPECT_EQ(window->picture().size(), QSize(600, 300));
    EXPECT_TRUE(near(window->picture().pixelColor(100, 150), QColor(220, 30, 30)));
    EXPECT_TRUE(near(window->picture().pixelColor(500, 150), QColor(30, 30, 220)));
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QFile whole(tmp.filePath("panorama.png"));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    QFile cut(tmp.filePath("halb.png"));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(whole.read(whole.size() / 2));
    cut.close();
    window = OverviewPictureWindow::open(cut.fileName(), QSize(600, 400));
    ASSERT_NE(window, nullptr);  // the header is sound
    QString said;
    ASSERT_TRUE(testing::waitFor(window.data(), &OverviewPictureWindow::unreadable, 20000,
                                 [&](const QString& path) { said = path; }));
    EXPECT_EQ(said, cut.fileName());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
}

TEST_F(OverviewPictureWindowTest, APortraitPictureFitsTheRoomsHeight) {
    const QString path = save("hoch.png", halves(QSize(300, 900)), "PNG");
    window = OverviewPictureWindow::open(path, QSize(1000, 450));
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->picture().size(), QSize(150, 450));
}

TEST_F(OverviewPictureWindowTest, FilesThatAreNoPicturesOpenNoWindow) {
    QFile text(tmp.filePath("liesmich.jpg"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("Dies ist kein Bild, auch wenn der Name es sagt.\n");
    text.close();
    EXPECT_EQ(OverviewPictureWindow::open(text.fileName(), QSize(800, 600)), nullptr);
    EXPECT_EQ(OverviewPictureWindow::open(tmp.filePath("fehlt.bmp"), QSize(800, 600)), nullptr);
    EXPECT_EQ(OverviewPictureWindow::open(tmp.path(), QSize(800, 600)), nullptr);  // a folder
}

TEST_F(OverviewPictureWindowTest, EscapeClosesAndDeletesTheWindow) {
    window = OverviewPictureWindow::open(save("a.png", halves(QSize(40, 40)), "PNG"));
    ASSERT_NE(window, nullptr);
    testing::key(window, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
}

}  // namespace
}  // namespace miniskop
