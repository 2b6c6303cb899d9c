// The run driven from the window: start, cancel from inside the run's event
// processing, the empty-list message, the closing display with the pictures
// that got no thumbnail, a second run that keeps what is current, the
// progress bar, the view buttons, names that are not UTF-8, and closing the
// window idle or mid-run.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "FileListBox.h"
#include "FolderList.h"
#include "MainWindowTestSupport.h"
#include "SettingsPanel.h"
#include "UpdateProgress.h"
#include "frmInfo.h"

namespace miniskop {
namespace {

using testing::WindowFixture;

const QString kCount = QStringLiteral("Anzahl erzeugter Thumbnails: ");
const QString kFinished = QStringLiteral("Thumbnail Generierung beendet...");

QString readPage(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QString();
    return QString::fromLatin1(f.readAll());
}

bool nearColor(QColor a, QColor b) {
    return qAbs(a.red() - b.red()) <= 8 && qAbs(a.green() - b.green()) <= 8 &&
           qAbs(a.blue() - b.blue()) <= 8;
}

// The run's own text when the folder holds no picture the program reads; the
// kinds and the pattern that lists them when the pattern leaves pictures out
// (a file is a picture by its content, not by its name).
TEST(MainWindowRun, EmptyListShowsTheMessageAndStartsNothing) {
    const QString noPictures = QStringLiteral(
        "Im ausgewählten Ordner befinden sich keine, vom Programm unterstützten, Bilddateien. "
        "Bitte erst einen Ordner auswählen, in dem Bilddateien vorhanden sind !");
    struct Row {
        QStringList pictures;
        QStringList others;
        QString pattern;  // empty: the initial one
        QString message;
    };
    const Row rows[] = {
        {{}, {"readme.txt"}, {}, noPictures},
        {{}, {"falsch.png", "notiz.heic"}, {}, noPictures},
        {{"bild.png"}, {"readme.txt"}, {}, "1 Bild (png) passt nicht zum Muster – Muster: *.png"},
        {{"a.png", "B.PNG", "c.bmp"},
         {},
         "*.jpg",
         "3 Bilder (bmp, png) passen nicht zum Muster – Muster: *.bmp;*.png"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message.toStdString());
        WindowFixture f;
        for (const QString& name : row.pictures) f.writePicture(f.pictures() + "/" + name);
        for (const QString& name : row.others) f.writeText(f.pictures() + "/" + name);
        frmAnzeiger& w = f.open();
        if (!row.pattern.isEmpty()) {
            w.Text1->setText(row.pattern);
            ASSERT_TRUE(testing::settle(w));
        }
        ASSERT_EQ(w.File1->ListCount(), 0);
        w.Command1->click();

        ASSERT_EQ(f.recorded.messages.size(), 1);
        EXPECT_EQ(f.recorded.messages[0].title, "Thumbnail-Info");
        EXPECT_EQ(f.recorded.messages[0].icon, MessageIcon::Information);
        EXPECT_EQ(f.recorded.messages[0].text, row.message);
        EXPECT_EQ(w.Command1->text(), "Thumbnails erzeugen");
        EXPECT_EQ(w.Label4->text(), "0");
        EXPECT_FALSE(w.Command5->isEnabled());
        EXPECT_FALSE(w.Command2->isEnabled());
        EXPECT_FALSE(QDir(f.pictures() + "/Thumbnails").exists());
        EXPECT_TRUE(f.recorded.reopened.isEmpty());
    }
}

TEST(MainWindowRun, CancelDuringTheFirstPicture) {
    WindowFixture f;
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) f.writePicture(f.pictures() + "/" + name);
    frmAnzeiger& w = f.open();

    QString label4AtCancel;
    QString captionAtCancel;
    bool cursorBusyDuringRun = false;
    // The first pending event is handled in the run's first DoEvents, while
    // the first picture is in hand.
    QTimer::singleShot(0, &w, [&] {
        cursorBusyDuringRun = w.cursor().shape() == Qt::WaitCursor;
        EXPECT_EQ(w.Command1->text(), "Abbrechen");
        EXPECT_FALSE(w.Command5->isEnabled());
        w.Command1->click();
        label4AtCancel = w.Label4->text();
        captionAtCancel = w.Command1->text();
    });
    w.Command1->click();

    EXPECT_TRUE(cursorBusyDuringRun);
    EXPECT_EQ(label4AtCancel, kCount + "0");
    EXPECT_EQ(captionAtCancel, "Thumbnails erzeugen");
    EXPECT_EQ(w.Label4->text(), kCount + "1");
    EXPECT_EQ(w.Label15->text(), kFinished);
    EXPECT_EQ(w.Command1->text(), "Thumbnails erzeugen");
    EXPECT_EQ(w.cursor().shape(), Qt::ArrowCursor);

    const QString page = f.pictures() + "/Thumbnails/ThumbIndex.html";
    ASSERT_EQ(f.recorded.reopened, QStringList{page});
    EXPECT_EQ(w.currentPagePath(), page);
    EXPECT_EQ(w.Command2->property("Tag").toString(), page);
    EXPECT_TRUE(w.Command5->isEnabled());
    EXPECT_TRUE(w.Command2->isEnabled());
    const QString html = readPage(page);
    EXPECT_TRUE(html.contains("t_a.jpg"));
    EXPECT_FALSE(html.contains("t_b.jpg"));
    EXPECT_TRUE(QFileInfo::exists(f.pictures() + "/Thumbnails/t_a.jpg"));
    EXPECT_FALSE(QFileInfo::exists(f.pictures() + "/Thumbnails/t_b.jpg"));
}

TEST(MainWindowRun, WholeRunWithTheWindowUsableMeanwhile) {
    WindowFixture f;
    for (const char* name : {"x1.jpg", "x2.bmp", "x3.jpeg"}) {
        f.writePicture(f.pictures() + "/" + name, 300, 200);
    }
    frmAnzeiger& w = f.open();
    w.Check1->setChecked(true);

    // Mid-run the info dialog and the settings panel open.
    QTimer::singleShot(0, &w, [&] {
        w.Command4->click();
        w.Command8->click();
    });
    w.Command1->click();

    EXPECT_EQ(w.Label4->text(), kCount + "3");
    EXPECT_EQ(w.Label15->text(), kFinished);
    EXPECT_TRUE(w.Frame2->isVisibleTo(&w));
    ASSERT_NE(frmInfo::instance(), nullptr);
    EXPECT_TRUE(frmInfo::instance()->isVisible());
    frmInfo::instance()->close();

    for (const char* thumb : {"t_x1.jpg", "t_x2.jpg", "t_x3.jpg"}) {
        const QImage image(f.pictures() + "/Thumbnails/" + thumb);
        EXPECT_EQ(image.width(), 120) << thumb;  // 300 x 200 within 120
        EXPECT_EQ(image.height(), 80) << thumb;
    }

    // The bar ends full, in ochre, with "100 %" on it.
    const QImage& bar = w.picProgressBox->surface().image();
    ASSERT_FALSE(bar.isNull());
    EXPECT_TRUE(nearColor(bar.pixelColor(1, bar.height() / 2), kProgressBarColor));
    EXPECT_TRUE(nearColor(bar.pixelColor(bar.width() - 2, bar.height() / 2), kProgressBarColor));
    EXPECT_EQ(bar.width(), w.picProgressBox->contentsRect().width());

    w.Command5->click();
    w.Command2->click();
    const QString page = f.pictures() + "/Thumbnails/ThumbIndex.html";
    EXPECT_EQ(f.recorded.overviewShown, QStringList{page});
    EXPECT_EQ(f.recorded.browserOpened, QStringList{page});
}

TEST(MainWindowRun, StartClickClearsTheBarAndDisablesTheViewButtons) {
    WindowFixture f;
    f.writePicture(f.pictures() + "/one.jpg");
    frmAnzeiger& w = f.open();
    w.Command1->click();
    ASSERT_TRUE(w.Command5->isEnabled());

    bool barClearedAtStart = false;
    bool viewButtonsOffAtStart = false;
    QTimer::singleShot(0, &w, [&] {
        // In the first DoEvents the bar has not been drawn for this run yet.
        const QImage& bar = w.picProgressBox->surface().image();
        barClearedAtStart = !nearColor(bar.pixelColor(1, bar.height() / 2), kProgressBarColor);
        viewButtonsOffAtStart = !w.Command5->isEnabled() && !w.Command2->isEnabled();
    });
    w.Command1->click();
    EXPECT_TRUE(barClearedAtStart);
    EXPECT_TRUE(viewButtonsOffAtStart);
    EXPECT_EQ(w.Label4->text(), kCount + "1");
    EXPECT_EQ(f.recorded.reopened.size(), 2);
}

TEST(MainWindowRun, ClosingEndsTheProgramIdleOrMidRun) {
    {
        WindowFixture f;
        frmAnzeiger& w = f.open();
        w.show();
        w.Command3->click();
        EXPECT_EQ(f.recorded.endRequests, QVector<bool>{false});
        EXPECT_FALSE(w.isVisible());
    }
    {
        WindowFixture f;
        f.writePicture(f.pictures() + "/a.jpg");
        f.writePicture(f.pictures() + "/b.jpg");
        frmAnzeiger& w = f.open();
        w.show();
        // The window's close box mid-run: the program is told to end at once.
        QTimer::singleShot(0, &w, [&] { w.close(); });
        w.Command1->click();
        EXPECT_EQ(f.recorded.endRequests, QVector<bool>{true});
    }
}

// What a thumbnail file is on disk: replacing it gives a new inode.
struct FileStamp {
    ino_t inode = 0;
    qint64 modifiedNs = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

FileStamp stampOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
    return {st.st_ino, qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

TEST(MainWindowRun, ASecondRunKeepsEveryCurrentThumbnailUntouched) {
    WindowFixture f;
    const QStringList names = {"a.jpg", "b.bmp", "c.jpg"};
    for (const QString& name : names) f.writePicture(f.pictures() + "/" + name, 200, 100);
    frmAnzeiger& w = f.open();
    w.Command1->click();
    auto stamps = [&] {
        QList<FileStamp> list;
        for (const char* t : {"t_a.jpg", "t_b.jpg", "t_c.jpg"})
            list.append(stampOf(f.pictures() + "/Thumbnails/" + t));
        return list;
    };
    const QList<FileStamp> first = stamps();
    const QByteArray firstPage = readPage(f.pictures() + "/Thumbnails/ThumbIndex.html").toLatin1();

    // Nothing changed: every thumbnail stays as it is, the page and the
    // closing display are those of a full run.
    w.Command1->click();
    EXPECT_EQ(stamps(), first);
    EXPECT_EQ(w.Label4->text(), kCount + "3");
    EXPECT_EQ(readPage(f.pictures() + "/Thumbnails/ThumbIndex.html").toLatin1(), firstPage);
    EXPECT_EQ(f.recorded.reopened.size(), 2);

    // A picture changed: its thumbnail alone is made again.
    f.writePicture(f.pictures() + "/b.bmp", 100, 200);
    QFile(f.pictures() + "/b.bmp")
        .setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime);
    w.Command1->click();
    const QList<FileStamp> third = stamps();
    EXPECT_EQ(third[0], first[0]);
    EXPECT_NE(third[1], first[1]);
    EXPECT_EQ(third[2], first[2]);
    EXPECT_EQ(QImage(f.pictures() + "/Thumbnails/t_b.jpg").size(), QSize(60, 120));

    // Another quality: every thumbnail is made anew.
    w.thumbSettings().setQJPG(70);
    w.Command1->click();
    const QList<FileStamp> fourth = stamps();
    for (int i = 0; i < 3; ++i) EXPECT_NE(fourth[i], third[i]) << i;
}

// The count is of thumbnails; pictures that got none are counted apart, as
// unreadable or as not written, and named in the tooltip.
TEST(MainWindowRun, PicturesWithoutThumbnailAreCountedApartAndNamed) {
    struct Row {
        QStringList pictures;
        QStringList broken;  // named like pictures, holding text
        bool thumbnailsOverPictures;
        QString count;
        QString failures;  // empty: the label stays hidden
    };
    const Row rows[] = {
        {{"a.jpg", "b.jpg"}, {"kaputt.jpg"}, false, "2", "1 Bild nicht lesbar"},
        {{"z.jpg"}, {"x.jpg", "y.gif"}, false, "1", "2 Bilder nicht lesbar"},
        // No folder and no affix: each thumbnail would be its own picture.
        {{"a.jpg", "b.jpg"}, {}, true, "0", "2 Thumbnails nicht geschrieben"},
        {{"a.jpg"}, {}, false, "1", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.failures.toStdString());
        WindowFixture f;
        for (const QString& name : row.pictures) f.writePicture(f.pictures() + "/" + name);
        for (const QString& name : row.broken) f.writeText(f.pictures() + "/" + name);
        frmAnzeiger& w = f.open();
        if (row.thumbnailsOverPictures) {
            w.thumbSettings().nameOrdner = QString();
            w.thumbSettings().zusatzAnfang = QString();
        }
        w.Command1->click();
        EXPECT_EQ(w.Label4->text(), kCount + row.count);
        EXPECT_EQ(w.Label15->text(), kFinished);
        EXPECT_EQ(w.failuresLabel->isVisibleTo(&w), !row.failures.isEmpty());
        EXPECT_EQ(w.failuresLabel->text(), row.failures);
        for (const QString& name : row.broken) {
            EXPECT_TRUE(w.failuresLabel->toolTip().contains(name + ": ")) << name.toStdString();
        }

        // The next run starts without the last one's failures.
        bool hiddenAtStart = false;
        QTimer::singleShot(0, &w, [&] { hiddenAtStart = !w.failuresLabel->isVisibleTo(&w); });
        w.Command1->click();
        EXPECT_TRUE(hiddenAtStart);
    }
}

// Names that are not UTF-8 (Latin-1 from an old archive), in the folder list
// and the file list: shown with the replacement mark, worked on as the files
// they are.
TEST(MainWindowRun, NamesThatAreNotUtf8ShowAMarkAndGetTheirThumbnails) {
    WindowFixture f;
    const QByteArray folder = QFile::encodeName(f.pictures()) + "/Gr\xfcn";
    ASSERT_EQ(::mkdir(folder.constData(), 0755), 0);
    f.writePicture(f.pictures() + "/a.jpg");
    for (const char* name : {"/Gr\xfcn.jpg", "/Gr\xe4n.jpg", "/Gr\xfcn/b.jpg"}) {
        ASSERT_EQ(::link(QFile::encodeName(f.pictures() + "/a.jpg").constData(),
                         (QFile::encodeName(f.pictures()) + name).constData()),
                  0);
    }
    frmAnzeiger& w = f.open();
    QStringList shown;
    for (int i = 0; i < w.File1->count(); ++i) shown.append(w.File1->item(i)->text());
    EXPECT_EQ(shown, (QStringList{"a.jpg", u"Gr\uFFFDn.jpg"_qs, u"Gr\uFFFDn.jpg"_qs}));
    EXPECT_FALSE(w.Dir1->findItems(u"Gr\uFFFDn"_qs, Qt::MatchEndsWith).isEmpty());

    w.Command1->click();
    EXPECT_EQ(w.Label4->text(), kCount + "3");
    EXPECT_FALSE(w.failuresLabel->isVisibleTo(&w)) << w.failuresLabel->toolTip().toStdString();
    for (const char* thumb : {"/Thumbnails/t_Gr\xfcn.jpg", "/Thumbnails/t_Gr\xe4n.jpg"}) {
        struct stat st {};
        EXPECT_EQ(::stat((QFile::encodeName(f.pictures()) + thumb).constData(), &st), 0) << thumb;
    }
}

// A start click while the file list is being read waits for the list the
// user chose and then runs on it.
TEST(MainWindowRun, AStartClickWhileTheListIsReadRunsOnTheNewList) {
    WindowFixture f;
    f.writePicture(f.pictures() + "/alt.jpg");
    QDir(f.pictures()).mkpath("neu");
    f.writePicture(f.pictures() + "/neu/n1.jpg");
    f.writePicture(f.pictures() + "/neu/n2.jpg");
    frmAnzeiger& w = f.open();
    ASSERT_TRUE(w.Dir1->setPath(f.pictures() + "/neu").ok());
    ASSERT_TRUE(w.File1->isListing());
    w.Command1->click();
    EXPECT_EQ(w.Command1->text(), "Thumbnails erzeugen") << "nothing started yet";
    ASSERT_TRUE(testing::settle(w));

    EXPECT_EQ(f.recorded.reopened, QStringList{f.pictures() + "/neu/Thumbnails/ThumbIndex.html"});
    EXPECT_EQ(w.Label4->text(), kCount + "2");
    EXPECT_FALSE(QDir(f.pictures() + "/Thumbnails").exists());
}

}  // namespace
}  // namespace miniskop
