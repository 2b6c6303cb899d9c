// The run when something goes wrong or is unusual: a thumbnail folder that
// cannot be made, read-only old files, pictures that cannot be loaded, page
// names that cannot be used, odd per-row counts, an empty folder name,
// another run working in the thumbnail folder.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <utility>

#include "DecodeLimit.h"
#include "RunFixture.h"

namespace miniskop::testing {
namespace {

using RunFailureTest = RunFixture;

TEST_F(RunFailureTest, FolderNotCreatableEndsRunWithoutPage) {
    writePicture("a.png", 30, 30);
    writeBytes("blocker", "x");
    for (const char* name : {"blocker/Thumbnails", "blocker", "missing/Thumbnails"}) {
        SCOPED_TRACE(name);
        host = RecordingHost{};
        host.record.nameOrdner = name;
        listAndRun();

        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].text,
                  QStringLiteral("Der Thumbnail-Ziel-Ordner kann nicht erstellt werden!"));
        EXPECT_EQ(host.messages[0].title, QStringLiteral("FEHLER"));
        EXPECT_EQ(host.messages[0].icon, MessageIcon::Critical);
        EXPECT_FALSE(host.viewButtons);
        EXPECT_TRUE(host.pagePathsSet.isEmpty());
        EXPECT_TRUE(host.pagesWritten.isEmpty());
        EXPECT_EQ(host.label4(), QStringLiteral("Anzahl erzeugter Thumbnails: 0"));
        EXPECT_EQ(host.label15(), QStringLiteral("Thumbnail Generierung beendet..."));
        EXPECT_EQ(host.surface.clears, 1);  // the start clear only, no 100 %
        EXPECT_TRUE(run.lastOutcome().folderFailed);
        EXPECT_TRUE(run.ThumbEntries().isEmpty());
        EXPECT_EQ(run.state(), ThumbnailRun::State::Idle);
    }
    EXPECT_FALSE(QFileInfo::exists(at("missing")));
}

// One run at a time per thumbnail folder: while another holds the folder the
// run waits, letting events through, and writes nothing; it goes on once the
// folder is free, and a cancel meanwhile ends it without touching the folder.
TEST_F(RunFailureTest, AnotherRunInTheThumbnailFolderIsWaitedFor) {
    writePicture("a.png", 30, 20);
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancelled while waiting" : "waited for");
        ASSERT_TRUE(QDir(thumbs()).removeRecursively());
        ASSERT_TRUE(QDir(folder).mkdir("Thumbnails"));
        host = RecordingHost{};
        int other = ::open(QFile::encodeName(thumbs()).constData(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(other, 0);
        ASSERT_EQ(::flock(other, LOCK_EX), 0);
        host.onDoEvents[1] = [&] {
            EXPECT_EQ(host.waitedFor, QStringList{thumbs()});
            EXPECT_EQ(QDir(thumbs()).entryList(QDir::Files | QDir::Hidden), QStringList());
            if (cancel) {
                run.Command1_Click();
            } else {
                ::close(std::exchange(other, -1));  // the other run is done
            }
        };
        listAndRun();
        if (other >= 0) ::close(other);

        EXPECT_EQ(host.waitedFor.size(), 1);
        EXPECT_EQ(QFileInfo::exists(thumbs() + "/t_a.jpg"), !cancel);
        EXPECT_EQ(host.pagesWritten.size(), cancel ? 0 : 1);
        EXPECT_EQ(host.label4(),
                  QStringLiteral("Anzahl erzeugter Thumbnails: %1").arg(cancel ? 0 : 1));
        EXPECT_EQ(run.state(), ThumbnailRun::State::Idle);
    }
}

TEST_F(RunFailureTest, ExistingFolderAndReadOnlyFilesAreReplaced) {
    writePicture("a.png", 50, 25, Qt::blue);
    ASSERT_TRUE(QDir(folder).mkdir("Thumbnails"));
    const QString oldThumb = thumbs() + "/t_a.jpg";
    const QString oldPage = thumbs() + "/ThumbIndex.html";
    for (const QString& path : {oldThumb, oldPage}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old contents, much longer than nothing");
        f.close();
        ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
    }
    listAndRun();

    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(QImage(oldThumb).size(), QSize(50, 25));
    EXPECT_TRUE(readAll(oldPage).startsWith("<HTML>\r\n"));
    EXPECT_EQ(host.pagesWritten, QStringList{oldPage});
}

TEST_F(RunFailureTest, UnloadablePictureGetsEntryAndBlankThumbnail) {
    writePicture("a.png", 300, 150, Qt::red);
    writeBytes("b.png", "this is not a picture");
    writePicture("c.png", 20, 20, Qt::red);
    listAndRun();

    // b keeps the size picThumb had after a: 120 x 60.
    EXPECT_EQ(run.ThumbEntries(),
              (QStringList{"a.png|t_a.jpg|120|60", "b.png|t_b.jpg|120|60", "c.png|t_c.jpg|20|20"}));
    const QImage blank(thumbs() + "/t_b.jpg");
    ASSERT_EQ(blank.size(), QSize(120, 60));
    for (const QPoint p : {QPoint(0, 0), QPoint(60, 30), QPoint(119, 59)}) {
        const QColor c = blank.pixelColor(p);
        EXPECT_NEAR(c.red(), c.green(), 6);  // neutral: no trace of the red picture
        EXPECT_NEAR(c.green(), c.blue(), 6);
        EXPECT_GT(c.red(), 200);
    }
    EXPECT_EQ(host.failedPictures, QStringList{at("b.png")});
    EXPECT_EQ(run.lastOutcome().failed, 1);
    EXPECT_EQ(run.lastOutcome().finished, 3);
    EXPECT_EQ(readAll(thumbs() + "/ThumbIndex.html").count("<td class=i>"), 3);
}

TEST_F(RunFailureTest, PictureNeedingMoreMemoryThanAllowedIsRefusedWithBothAmounts) {
    writePicture("a.png", 2000, 1000);  // inflated at once: about 6 MB
    writePicture("b.png", 20, 20);
    const qint64 before = decodeLimit();
    setDecodeLimit(qint64(4) << 20);
    listAndRun();
    setDecodeLimit(before);
    EXPECT_EQ(host.failedPictures, QStringList{at("a.png")});
    const QStringList refusals = host.trace.filter(QStringLiteral("failed:"));
    ASSERT_EQ(refusals.size(), 1);
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^failed:zu groß: braucht [5-9] MB, erlaubt sind 4 MB$"))
            .match(refusals[0])
            .hasMatch())
        << refusals[0].toStdString();
    EXPECT_EQ(run.ThumbEntries(), (QStringList{"a.png|t_a.jpg|120|120", "b.png|t_b.jpg|20|20"}));
}

TEST_F(RunFailureTest, UnloadableFirstPictureGetsABlankOfTheBoundsSquare) {
    writeBytes("a.png", "garbage");
    writePicture("b.png", 10, 10);
    // A thumbnail of an earlier run must not stay in the failed picture's place.
    ASSERT_TRUE(QDir().mkpath(thumbs()));
    ASSERT_TRUE(QImage(30, 20, QImage::Format_RGB32).save(thumbs() + "/t_a.jpg"));
    listAndRun();
    // picThumb has no size yet: the blank takes the size bound's square.
    EXPECT_EQ(run.ThumbEntries(), (QStringList{"a.png|t_a.jpg|120|120", "b.png|t_b.jpg|10|10"}));
    EXPECT_EQ(QImage(thumbs() + "/t_a.jpg").size(), QSize(120, 120));
    EXPECT_EQ(host.failedPictures, QStringList{at("a.png")});
    EXPECT_TRUE(run.lastOutcome().pageWritten);
}

TEST_F(RunFailureTest, UnusablePageNameShowsMessageAndWritesNoPage) {
    writePicture("a.png", 10, 10);
    for (const char* name : {"", "   "}) {
        SCOPED_TRACE(name);
        host = RecordingHost{};
        host.record.nameHTML = name;
        listAndRun();

        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].text,
                  QStringLiteral("Bitte einen namen für die HtmlSeite angeben. <name>.html"));
        EXPECT_EQ(host.messages[0].title, QStringLiteral("Thumbnail-Info"));
        EXPECT_EQ(host.messages[0].icon, MessageIcon::Information);
        EXPECT_FALSE(host.viewButtons);
        EXPECT_TRUE(host.pagePathsSet.isEmpty());
        EXPECT_TRUE(host.pagesWritten.isEmpty());
        EXPECT_EQ(host.pointers,
                  (std::vector<MousePointer>{MousePointer::Hourglass, MousePointer::Hourglass,
                                             MousePointer::Arrow, MousePointer::Default}));
        EXPECT_EQ(host.label4(), QStringLiteral("Anzahl erzeugter Thumbnails: 1"));
        EXPECT_TRUE(QFileInfo(thumbs() + "/t_a.jpg").isFile());
    }
    EXPECT_EQ(QDir(thumbs()).entryList(QDir::Files), QStringList{"t_a.jpg"});
}

TEST_F(RunFailureTest, PageWriteFailureLeavesButtonsDisabled) {
    writePicture("a.png", 10, 10);
    host.record.nameHTML = "  nosuchfolder/index.html ";
    listAndRun();
    const QString page = thumbs() + "/nosuchfolder/index.html";
    EXPECT_EQ(host.pagePathsSet, QStringList{page});  // set before the write
    EXPECT_TRUE(host.pagesWritten.isEmpty());
    EXPECT_FALSE(host.viewButtons);
    EXPECT_FALSE(run.lastOutcome().pageWritten);
    EXPECT_FALSE(run.lastOutcome().pageError.isEmpty());
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.pointers.at(host.pointers.size() - 2), MousePointer::Arrow);
}

TEST_F(RunFailureTest, PerRowCountRules) {
    writePicture("a.png", 10, 10);
    const struct {
        const char* text;
        int expected;
    } cases[] = {{"4", 4}, {"70000", 4}, {"0", 1}, {"-3", 1}, {"abc", 1}, {"7.5", 8}, {"70000", 8}};
    for (const auto& c : cases) {
        host.record.anzTabelle = c.text;
        listAndRun();
        EXPECT_EQ(run.anzProZeile(), c.expected) << c.text;
        EXPECT_TRUE(run.lastOutcome().pageWritten) << c.text;
    }
}

TEST_F(RunFailureTest, EmptyFolderNameWritesIntoThePictureFolder) {
    writePicture("a.png", 10, 10);
    host.record.nameOrdner = "  ";
    ASSERT_TRUE(host.list.setPattern("*.png"));
    listAndRun();
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(QFileInfo(at("t_a.jpg")).isFile());
    EXPECT_EQ(host.pagesWritten, QStringList{folder + "/ThumbIndex.html"});
    EXPECT_TRUE(QFileInfo(at("ThumbIndex.html")).isFile());
}

TEST_F(RunFailureTest, SettingsChangedDuringTheRunApplyFromTheNextPicture) {
    writePicture("a.png", 10, 10);
    writePicture("b.png", 10, 10);
    // First DoEvents of picture 1 comes third (picture 0 redraws, so it has two).
    host.onDoEvents[3] = [&] { host.record.zusatzAnfang = "neu_"; };
    listAndRun();
    EXPECT_EQ(run.ThumbEntries(), (QStringList{"a.png|t_a.jpg|10|10", "b.png|neu_b.jpg|10|10"}));
}

}  // namespace
}  // namespace miniskop::testing
