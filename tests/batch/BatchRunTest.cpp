// miniskop-batch end to end over folders of generated pictures: names and
// sizes of the thumbnails, the page, what goes to stdout and stderr, and the
// exit status of runs that succeed, fail in part or cannot happen.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "BatchTestSupport.h"

namespace miniskop {
namespace {

using testing::BatchResult;
using testing::countOf;
using testing::pictureSize;
using testing::readAll;
using testing::runBatchTool;
using testing::writePicture;

const QString kEmptyListText = QString::fromUtf8(
    "Im ausgewählten Ordner befinden sich keine, vom Programm unterstützten, Bilddateien. "
    "Bitte erst einen Ordner auswählen, in dem Bilddateien vorhanden sind !");

class BatchRun : public testing::BatchFolders {
protected:
    QString pic(const QString& name) const { return pics() + '/' + name; }
    QString thumb(const QString& name) const { return pics() + "/Thumbnails/" + name; }

    BatchResult run(QStringList arguments) {
        arguments << pics();
        return runBatchTool(arguments, config());
    }

    // Three pictures of different kinds: one wide, one tall, one small.
    void writeThree() {
        writePicture(pic("Wide.jpg"), 300, 200);
        writePicture(pic("Tall.bmp"), 90, 180);
        writePicture(pic("small.jpg"), 50, 40);
    }
};

TEST_F(BatchRun, MakesEveryThumbnailAndThePage) {
    writeThree();
    const BatchResult r = run({});
    ASSERT_TRUE(r.normalExit);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();

    // Sorted without regard to case: small, Tall, Wide.
    EXPECT_EQ(pictureSize(thumb("t_Wide.jpg")), QSize(120, 80));
    EXPECT_EQ(pictureSize(thumb("t_Tall.jpg")), QSize(60, 120));
    EXPECT_EQ(pictureSize(thumb("t_small.jpg")), QSize(50, 40));  // not enlarged

    const QString page = thumb("ThumbIndex.html");
    const QByteArray html = readAll(page);
    EXPECT_EQ(countOf(html, "<td class=i>"), 3);
    const qsizetype small = html.indexOf("SRC='t_small.jpg'");
    const qsizetype tall = html.indexOf("SRC='t_Tall.jpg'");
    const qsizetype wide = html.indexOf("SRC='t_Wide.jpg'");
    EXPECT_GE(small, 0);
    EXPECT_GT(tall, small);
    EXPECT_GT(wide, tall);
    EXPECT_TRUE(html.contains("<IMG WIDTH='60' HEIGHT='120'"));

    EXPECT_EQ(r.out, QString::fromUtf8("Anzahl erzeugter Thumbnails: 3\n"
                                       "Thumbnail Generierung beendet...\n") +
                         page + '\n');
    // Not a terminal: no progress bar, and nothing else to say.
    EXPECT_EQ(r.err, QString());
}

TEST_F(BatchRun, ListsOnlyMatchingRegularFilesSortedByName) {
    writePicture(pic("b.jpg"), 64, 48);
    writePicture(pic("A.JPG"), 64, 48);                    // the pattern ignores case
    writePicture(pic(".hidden.jpg"), 64, 48);              // hidden: left out
    writePicture(pic("photo.png"), 64, 48);                // not in the pattern
    ASSERT_TRUE(QDir(pics()).mkdir("folder.jpg"));         // a folder, never a picture
    ASSERT_TRUE(QFile::link(pic("b.jpg"), pic("c.jpg")));  // a link to a file counts
    ASSERT_EQ(::mkfifo(QFile::encodeName(pic("pipe.jpg")).constData(), 0600), 0);

    const BatchResult r = run({});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QByteArray html = readAll(thumb("ThumbIndex.html"));
    EXPECT_EQ(countOf(html, "<td class=i>"), 3);
    EXPECT_LT(html.indexOf("SRC='t_A.jpg'"), html.indexOf("SRC='t_b.jpg'"));
    EXPECT_LT(html.indexOf("SRC='t_b.jpg'"), html.indexOf("SRC='t_c.jpg'"));
    EXPECT_FALSE(html.contains("hidden"));
    EXPECT_FALSE(html.contains("pipe"));
    EXPECT_FALSE(html.contains("folder"));
    EXPECT_FALSE(QFileInfo::exists(thumb("t_photo.jpg")));
}

TEST_F(BatchRun, OptionsReachTheRun) {
    writeThree();
    writePicture(pic("Wide.bmp"), 300, 200);  // same base name as Wide.jpg
    const BatchResult r =
        run({"--suffix", "_klein", "--size", "90", "--enlarge", "--per-row", "2", "--page-name",
             "index.htm", "--folder-name", "mini", "--pattern", "*.jpg;*.BMP"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QString folder = pics() + "/mini/";
    EXPECT_EQ(pictureSize(folder + "small_klein.jpg"), QSize(90, 72));  // enlarged
    EXPECT_EQ(pictureSize(folder + "Tall_klein.jpg"), QSize(45, 90));
    EXPECT_EQ(pictureSize(folder + "Wide_klein.jpg"), QSize(90, 60));
    EXPECT_EQ(pictureSize(folder + "Wide[jpg-Version]_klein.jpg"), QSize(90, 60));
    EXPECT_FALSE(QFileInfo::exists(thumb("t_Wide.jpg")));

    const QByteArray html = readAll(folder + "index.htm");
    EXPECT_EQ(countOf(html, "<td class=i>"), 4);
    EXPECT_EQ(countOf(html, "</tr><tr><td class=a>"), 1);  // two rows of two
    EXPECT_TRUE(html.contains("width:90px;height:90px;"));
    EXPECT_TRUE(r.out.endsWith(folder + "index.htm\n"));
}

TEST_F(BatchRun, EmptyFolderNameWritesIntoThePictureFolder) {
    writePicture(pic("Bild.jpg"), 200, 100);
    const BatchResult r = run({"--folder-name", ""});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(pictureSize(pic("t_Bild.jpg")), QSize(120, 60));
    EXPECT_TRUE(QFileInfo::exists(pic("ThumbIndex.html")));
    EXPECT_FALSE(QFileInfo::exists(pics() + "/Thumbnails"));
}

TEST_F(BatchRun, QualityChangesTheEncoding) {
    writePicture(pic("Bild.bmp"), 400, 300);
    ASSERT_EQ(run({"--quality", "5", "--folder-name", "low"}).exitCode, 0);
    ASSERT_EQ(run({"--quality", "100", "--folder-name", "high"}).exitCode, 0);
    const qint64 low = QFileInfo(pics() + "/low/t_Bild.jpg").size();
    const qint64 high = QFileInfo(pics() + "/high/t_Bild.jpg").size();
    EXPECT_GT(low, 0);
    EXPECT_GT(high, low * 2);
}

TEST_F(BatchRun, BrokenPictureIsNamedAndTheOthersAreMade) {
    writeThree();
    {
        QFile broken(pic("kaputt.jpg"));
        ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
        broken.write("this is not a JPEG file at all");
    }
    const BatchResult r = run({});
    ASSERT_TRUE(r.normalExit);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(pic("kaputt.jpg"))) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(pic("Wide.jpg"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("1 of 4 pictures failed")) << r.err.toStdString();
    EXPECT_EQ(pictureSize(thumb("t_Wide.jpg")), QSize(120, 80));
    EXPECT_EQ(pictureSize(thumb("t_Tall.jpg")), QSize(60, 120));
    EXPECT_EQ(pictureSize(thumb("t_small.jpg")), QSize(50, 40));

    // Every picture of the list is on the page, the broken one too.
    const QByteArray html = readAll(thumb("ThumbIndex.html"));
    EXPECT_EQ(countOf(html, "<td class=i>"), 4);
    EXPECT_TRUE(html.contains("href='../kaputt.jpg'"));
    // The broken picture has no thumbnail and is not counted as one.
    EXPECT_TRUE(r.out.startsWith("Anzahl erzeugter Thumbnails: 3\n"));
    EXPECT_TRUE(r.out.endsWith(thumb("ThumbIndex.html") + '\n'));
}

TEST_F(BatchRun, PictureNeedingMoreThanTheMemoryIsRefusedInTheToolsWords) {
    // A progressive JPEG holds all its coefficients: 3 bytes a pixel in 4:2:0.
    QImageWriter writer(pic("gross.jpg"));
    writer.setProgressiveScanWrite(true);
    QImage picture(2600, 2200, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    ASSERT_TRUE(writer.write(picture));
    writePicture(pic("klein.jpg"), 200, 100);
    const BatchResult r = run({"--memory", "16M"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("(^|\\n)%1: too large: needs 1[7-9] MB, "
                                                  "allowed 16 MB\\n")
                                       .arg(QRegularExpression::escape(pic("gross.jpg"))))
                    .match(r.err)
                    .hasMatch())
        << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("1 of 2 pictures failed")) << r.err.toStdString();
    EXPECT_EQ(pictureSize(thumb("t_klein.jpg")), QSize(120, 60));
    // Given the memory, it is made.
    EXPECT_EQ(run({"--memory", "64M"}).exitCode, 0);
    EXPECT_EQ(pictureSize(thumb("t_gross.jpg")), QSize(120, 102));
}

TEST_F(BatchRun, EmptyListIsAFailureWithTheMessage) {
    writePicture(pic("only.png"), 30, 30);  // present, but not in the pattern
    const BatchResult r = run({});
    ASSERT_TRUE(r.normalExit);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(kEmptyListText)) << r.err.toStdString();
    EXPECT_EQ(r.out, QString());
    EXPECT_FALSE(QFileInfo::exists(pics() + "/Thumbnails"));
}

TEST_F(BatchRun, MissingFolderIsAFailure) {
    const BatchResult r = runBatchTool({root.filePath("nowhere")}, config());
    ASSERT_TRUE(r.normalExit);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("nowhere")) << r.err.toStdString();
    EXPECT_EQ(r.out, QString());
}

TEST_F(BatchRun, ThumbnailFolderThatCannotBeMadeEndsTheRun) {
    writePicture(pic("Bild.jpg"), 200, 100);
    {
        QFile blocker(pic("Thumbnails"));  // a file where the folder should go
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    const BatchResult r = run({});
    ASSERT_TRUE(r.normalExit);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("Der Thumbnail-Ziel-Ordner kann nicht erstellt werden!"))
        << r.err.toStdString();
    EXPECT_EQ(r.out, QString::fromUtf8("Anzahl erzeugter Thumbnails: 0\n"
                                       "Thumbnail Generierung beendet...\n"));
}

TEST_F(BatchRun, EmptyPageNameMakesThumbnailsButNoPage) {
    writePicture(pic("Bild.jpg"), 200, 100);
    const BatchResult r = run({"--page-name", ""});
    ASSERT_TRUE(r.normalExit);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("Bitte einen namen für die HtmlSeite angeben."))
        << r.err.toStdString();
    EXPECT_EQ(pictureSize(thumb("t_Bild.jpg")), QSize(120, 60));
    EXPECT_EQ(r.out, QString::fromUtf8("Anzahl erzeugter Thumbnails: 1\n"
                                       "Thumbnail Generierung beendet...\n"));
}

}  // namespace
}  // namespace miniskop
