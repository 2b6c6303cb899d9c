// The thumbnail run end to end on generated pictures: what it writes, what it
// shows, starting with an empty list, cancelling, and the progress redraws.
#include <QFileInfo>

#include "OverviewPage.h"
#include "RunFixture.h"

namespace miniskop::testing {
namespace {

using RunTest = RunFixture;

TEST_F(RunTest, EmptyListShowsMessageAndCreatesNothing) {
    writeBytes("notes.txt", "x");
    ASSERT_TRUE(host.list.setPattern("*.jpg"));
    listAndRun();

    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text,
              QStringLiteral("Im ausgewählten Ordner befinden sich keine, vom Programm "
                             "unterstützten, Bilddateien. Bitte erst einen Ordner auswählen, in "
                             "dem Bilddateien vorhanden sind !"));
    EXPECT_EQ(host.messages[0].title, QStringLiteral("Thumbnail-Info"));
    EXPECT_EQ(host.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(host.caption, QStringLiteral("Thumbnails erzeugen"));
    EXPECT_EQ(host.label4History, QStringList{"0"});
    EXPECT_FALSE(host.viewButtons);
    ASSERT_FALSE(host.pointers.empty());
    EXPECT_EQ(host.pointers.back(), MousePointer::Arrow);
    EXPECT_FALSE(QFileInfo::exists(thumbs()));
    EXPECT_EQ(run.state(), ThumbnailRun::State::Idle);
    EXPECT_FALSE(run.abbruch());
    EXPECT_FALSE(run.lastOutcome().started);
    EXPECT_TRUE(host.pagesWritten.isEmpty());
}

TEST_F(RunTest, WritesThumbnailsEntriesAndPage) {
    writePicture("a.png", 300, 200, Qt::red);
    writePicture("b.jpg", 100, 50, Qt::blue);
    writePicture("c.bmp", 60, 120, Qt::green);
    host.record.anzTabelle = "2";
    listAndRun();

    const QStringList expected = {"a.png|t_a.jpg|120|80", "b.jpg|t_b.jpg|100|50",
                                  "c.bmp|t_c.jpg|60|120"};
    EXPECT_EQ(run.ThumbEntries(), expected);
    const struct {
        const char* name;
        int w, h;
        QColor color;
    } thumbsExpected[] = {{"t_a.jpg", 120, 80, Qt::red},
                          {"t_b.jpg", 100, 50, Qt::blue},
                          {"t_c.jpg", 60, 120, Qt::green}};
    for (const auto& t : thumbsExpected) {
        const QImage img(thumbs() + "/" + t.name);
        ASSERT_FALSE(img.isNull()) << t.name;
        EXPECT_EQ(img.size(), QSize(t.w, t.h)) << t.name;
        const QColor mid = img.pixelColor(t.w / 2, t.h / 2);
        EXPECT_NEAR(mid.red(), t.color.red(), 8) << t.name;
        EXPECT_NEAR(mid.green(), t.color.green(), 8) << t.name;
        EXPECT_NEAR(mid.blue(), t.color.blue(), 8) << t.name;
    }

    // The page: exactly what the page writer makes of this run's entries.
    const QString page = thumbs() + "/ThumbIndex.html";
    OverviewPageInput input;
    input.folder = folder + "/";
    input.sizeS = 120;
    input.perRow = 2;
    input.entries = expected;
    EXPECT_EQ(readAll(page), overviewPageBytes(input));
    EXPECT_EQ(readAll(page).count("<td class=i>"), 3);
    EXPECT_EQ(run.anzProZeile(), 2);

    EXPECT_EQ(host.pagePathsSet, QStringList{page});
    EXPECT_EQ(host.pagesWritten, QStringList{page});
    EXPECT_TRUE(host.viewButtons);
    EXPECT_LT(host.trace.indexOf("pagePath"), host.trace.indexOf("pageWritten"));
    EXPECT_LT(host.trace.lastIndexOf("buttons:on"), host.trace.indexOf("pageWritten"));

    // What the window shows, in order.
    EXPECT_EQ(host.label4History,
              (QStringList{"0", "", "0", "1", "2", "Anzahl erzeugter Thumbnails: 3"}));
    EXPECT_EQ(host.label15History,
              (QStringList{" " + at("a.png"), " " + at("b.jpg"), " " + at("c.bmp"),
                           "Thumbnail Generierung beendet..."}));
    EXPECT_EQ(host.caption, QStringLiteral("Thumbnails erzeugen"));
    EXPECT_EQ(host.pointers,
              (std::vector<MousePointer>{MousePointer::Hourglass, MousePointer::Hourglass,
                                         MousePointer::Arrow, MousePointer::Default}));
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(host.failedPictures.isEmpty());

    const ThumbnailRun::Outcome& out = run.lastOutcome();
    EXPECT_TRUE(out.started);
    EXPECT_TRUE(out.pageWritten);
    EXPECT_EQ(out.finished, 3);
    EXPECT_EQ(out.failed, 0);
    EXPECT_EQ(out.pagePath, page);
    EXPECT_EQ(run.state(), ThumbnailRun::State::Idle);

    // No leftovers of the writers in the thumbnail folder.
    EXPECT_EQ(QDir(thumbs()).entryList(QDir::Files | QDir::Hidden, QDir::Name | QDir::IgnoreCase),
              (QStringList{"t_a.jpg", "t_b.jpg", "t_c.jpg", "ThumbIndex.html"}));
}

TEST_F(RunTest, CancelDuringFirstPictureFinishesItAndWritesPage) {
    for (const char* name : {"a.png", "b.png", "c.png"}) writePicture(name, 40, 30);
    QString label4AtCancel;
    bool runningAtCancel = false;
    host.onDoEvents[1] = [&] {
        runningAtCancel = run.state() == ThumbnailRun::State::Running;
        run.Command1_Click();
        label4AtCancel = host.label4();
    };
    // A start click while stopping must not begin a second run.
    host.onDoEvents[2] = [&] { run.Command1_Click(); };
    listAndRun();

    EXPECT_TRUE(runningAtCancel);
    EXPECT_EQ(label4AtCancel, QStringLiteral("Anzahl erzeugter Thumbnails: 0"));
    EXPECT_EQ(host.label4(), QStringLiteral("Anzahl erzeugter Thumbnails: 1"));
    EXPECT_EQ(host.label4History.count("0"), 2);  // start click, then position 0
    EXPECT_EQ(run.ThumbEntries(), QStringList{"a.png|t_a.jpg|40|30"});
    EXPECT_EQ(host.doEventsCalls, 2);
    EXPECT_TRUE(QFileInfo::exists(thumbs() + "/t_a.jpg"));
    EXPECT_FALSE(QFileInfo::exists(thumbs() + "/t_b.jpg"));
    EXPECT_EQ(readAll(thumbs() + "/ThumbIndex.html").count("<td class=i>"), 1);
    EXPECT_EQ(host.pagesWritten.size(), 1);
    EXPECT_EQ(run.state(), ThumbnailRun::State::Idle);
    EXPECT_EQ(host.caption, QStringLiteral("Thumbnails erzeugen"));

    // Idle again: the next click starts a fresh run over the whole list.
    host.onDoEvents.clear();
    run.Command1_Click();
    EXPECT_EQ(run.ThumbEntries().size(), 3);
    EXPECT_EQ(host.label4(), QStringLiteral("Anzahl erzeugter Thumbnails: 3"));
}

TEST_F(RunTest, ProgressRedrawsEverySecondPositionFor250Entries) {
    for (int i = 0; i < 250; ++i)
        writePicture(QStringLiteral("p%1.png").arg(i, 3, 10, QChar('0')), 4, 4);
    listAndRun();

    ASSERT_EQ(run.ThumbEntries().size(), 250);
    // Start clear, positions 0, 2, ..., 248, then the full bar.
    EXPECT_EQ(host.surface.clears, 1 + 125 + 1);
    ASSERT_EQ(host.progressAt.size(), 127);
    for (int k = 0; k < 125; ++k) {
        EXPECT_EQ(host.progressAt[k + 1],
                  " " + at(QStringLiteral("p%1.png").arg(2 * k, 3, 10, QChar('0'))));
    }
    // Two DoEvents on redraw positions, one elsewhere.
    EXPECT_EQ(host.doEventsCalls, 250 + 125);
    // The last picture is drawn at 100 %: the bar covers the whole width.
    const QColor end = host.surface.image().pixelColor(199, 0);
    EXPECT_NEAR(end.red(), 187, 2);
    EXPECT_NEAR(end.green(), 156, 2);
    EXPECT_NEAR(end.blue(), 91, 2);
}

TEST_F(RunTest, VersionTagsOnDisk) {
    writePicture("Foto.bmp", 20, 10);
    writePicture("Foto.jpg", 20, 10);
    writePicture("Foto.png", 20, 10);
    writePicture("Karte.png", 20, 10);
    listAndRun();
    EXPECT_EQ(QDir(thumbs()).entryList({"*.jpg"}, QDir::Files, QDir::Name),
              (QStringList{"t_Foto.jpg", "t_Foto[jpg-Version].jpg", "t_Foto[png-Version].jpg",
                           "t_Karte.jpg"}));

    host.record.optE = false;
    host.record.zusatzEnde = "  _klein ";
    run.Command1_Click();
    EXPECT_EQ(run.ThumbEntries(), (QStringList{"Foto.bmp|Foto_klein.jpg|20|10",
                                               "Foto.jpg|Foto[jpg-Version]_klein.jpg|20|10",
                                               "Foto.png|Foto[png-Version]_klein.jpg|20|10",
                                               "Karte.png|Karte_klein.jpg|20|10"}));
    EXPECT_TRUE(QFileInfo::exists(thumbs() + "/Foto[png-Version]_klein.jpg"));
}

}  // namespace
}  // namespace miniskop::testing
