// The main window after start-up: its control inventory and initial state,
// the settings file read at start, the layout fitting the fixed client area.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "DriveList.h"
#include "FileListBox.h"
#include "FolderList.h"
#include "MainWindowTestSupport.h"
#include "SettingsFile.h"
#include "SettingsPanel.h"

namespace miniskop {
namespace {

using testing::WindowFixture;

TEST(MainWindowStartup, InventoryAndInitialState) {
    WindowFixture f;
    f.writePicture(f.pictures() + "/a.jpg");
    f.writePicture(f.pictures() + "/b.bmp");
    f.writePicture(f.pictures() + "/c.png");  // not in the initial pattern
    f.writeText(f.pictures() + "/notes.txt");
    frmAnzeiger& w = f.open();

    EXPECT_EQ(w.windowTitle(), "Thumbnails");
    EXPECT_EQ(w.minimumSize(), QSize(578, 324));
    EXPECT_EQ(w.maximumSize(), QSize(578, 324));
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(w.windowIcon().isNull());

    EXPECT_EQ(w.Command1->text(), "Thumbnails erzeugen");
    EXPECT_EQ(w.Label14->text(), ".:: mirvak::.");
    EXPECT_EQ(w.Frame1->title(), "Einen Ordner mit Grafikdateien auswählen");
    EXPECT_EQ(w.Label6->text(), "Dateiliste:");
    EXPECT_EQ(w.Label3->text(), "FilePattern:");
    EXPECT_EQ(w.Text1->text(), "*.bmp;*.jpg;*.jpeg;*.gif;*.wmf");
    EXPECT_EQ(w.Text1->toolTip(),
              "Dateiformate wählen, die mit dem vorhandenen Browser anzeigbar sind.");
    EXPECT_EQ(w.Check1->text(),
              "Grafiken kleiner als Thumbnailgrösse auf Thumbnailgrösse vergrössern?");
    EXPECT_FALSE(w.Check1->isChecked());

    // Command5 and Command2 wait for the first page.
    EXPECT_EQ(w.Command5->text(), "Übersicht");
    EXPECT_EQ(w.Command2->text(), " Browser");
    EXPECT_FALSE(w.Command5->isEnabled());
    EXPECT_FALSE(w.Command2->isEnabled());
    EXPECT_EQ(w.Command5->toolTip(),
              "Zeigt die erzeugten Thumbnails auf einer Html-Seite mit dem internen Browser.");
    EXPECT_EQ(w.Command2->toolTip(),
              "Zeigt die erzeugten Thumbnails auf einer Html-Seite mit dem Standard-Webbrowser "
              "an.");
    EXPECT_EQ(w.Command8->text(), "Settings");
    EXPECT_EQ(w.Command8->toolTip(), "Einstellungen für die ThumbnailErzeugung");
    EXPECT_EQ(w.Command4->text(), "Info");
    EXPECT_EQ(w.Command4->toolTip(), "Info");
    EXPECT_EQ(w.Command3->text(), "Beenden");
    EXPECT_TRUE(w.Command3->toolTip().isEmpty());
    EXPECT_TRUE(w.Command1->toolTip().isEmpty());

    EXPECT_EQ(w.Label1->text(), "Thumbnail von dieser Datei wird erzeugt:");
    EXPECT_EQ(w.Label4->text(), "");  // "Anzahl=0" in the layout, cleared at start
    EXPECT_EQ(w.Label15->text(), "");
    EXPECT_EQ(w.Label5->text(), "2");  // a.jpg and b.bmp

    // The lists start at the start folder with the pattern applied.
    EXPECT_EQ(w.Dir1->Path(), QDir(f.pictures()).canonicalPath());
    EXPECT_EQ(w.File1->Path(), w.Dir1->Path());
    EXPECT_EQ(w.File1->Pattern(), "*.bmp;*.jpg;*.jpeg;*.gif;*.wmf");

    // The settings panel: hidden, centred in the client area.
    EXPECT_FALSE(w.Frame2->isVisibleTo(&w));
    EXPECT_EQ(w.Frame2->size(), QSize(369, 281));
    EXPECT_EQ(w.Frame2->pos(), QPoint((578 - 369) / 2, (324 - 281) / 2));
}

TEST(MainWindowStartup, TypeBoxesInIndexOrderAndScreenOrder) {
    WindowFixture f;
    frmAnzeiger& w = f.open();
    const char* captions[5] = {"jpg", "jpeg", "wmf", "bmp", "gif"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(w.Check3[i]->text(), captions[i]);
        EXPECT_TRUE(w.Check3[i]->isChecked());
        EXPECT_EQ(w.Check3[i]->x(), w.Check3[0]->x()) << "one column";
    }
    // Top to bottom: jpg, jpeg, gif, bmp, wmf.
    const int screenOrder[5] = {0, 1, 4, 3, 2};
    for (int k = 1; k < 5; ++k) {
        EXPECT_LT(w.Check3[screenOrder[k - 1]]->y(), w.Check3[screenOrder[k]]->y());
    }
    EXPECT_GT(w.Check1->y(), w.Check3[2]->y());
}

TEST(MainWindowStartup, AccessibleNamesFollowCaptionsAndLabels) {
    WindowFixture f;
    frmAnzeiger& w = f.open();
    EXPECT_EQ(w.File1->accessibleName(), w.Label6->text());
    EXPECT_EQ(w.Text1->accessibleName(), w.Label3->text());
    EXPECT_EQ(w.Label6->buddy(), w.File1);
    EXPECT_EQ(w.Label3->buddy(), w.Text1);
    EXPECT_FALSE(w.Drive1->accessibleName().isEmpty());
    EXPECT_FALSE(w.Dir1->accessibleName().isEmpty());
}

// Every control lies inside its parent and its caption fits its width, so
// nothing is clipped in the fixed client area.
TEST(MainWindowStartup, LayoutFitsTheClientArea) {
    WindowFixture f;
    frmAnzeiger& w = f.open();
    w.centralWidget()->resize(578, 324);
    const QList<QWidget*> controls = {
        w.Picture1,  w.Label14,   w.Command1,  w.Frame1,   w.Drive1, w.Dir1,     w.Label6,
        w.Label5,    w.File1,     w.Label3,    w.Text1,    w.Check1, w.Command5, w.Command2,
        w.Command8,  w.Command4,  w.Command3,  w.Label1,   w.Label4, w.Label15,  w.Check3[0],
        w.Check3[1], w.Check3[2], w.Check3[3], w.Check3[4]};
    for (QWidget* c : controls) {
        const QRect parentRect(QPoint(0, 0), c->parentWidget()->size());
        EXPECT_TRUE(parentRect.contains(c->geometry())) << c->metaObject()->className();
    }
    auto textFits = [](QWidget* c, const QString& text, int reserve) {
        return c->fontMetrics().horizontalAdvance(text) + reserve <= c->width();
    };
    const QList<QAbstractButton*> buttons = {w.Command1, w.Command5, w.Command2,
                                             w.Command8, w.Command4, w.Command3};
    for (QAbstractButton* b : buttons) {
        EXPECT_TRUE(textFits(b, b->text(), 4)) << b->text().toStdString();
    }
    for (QCheckBox* c :
         {w.Check1, w.Check3[0], w.Check3[1], w.Check3[2], w.Check3[3], w.Check3[4]}) {
        EXPECT_TRUE(textFits(c, c->text(), 22)) << c->text().toStdString();
    }
    EXPECT_TRUE(textFits(w.Label1, w.Label1->text(), 0));
    EXPECT_TRUE(textFits(w.Label4, "Anzahl erzeugter Thumbnails: 32767", 0));
    EXPECT_TRUE(textFits(w.Label6, w.Label6->text(), 0));
    EXPECT_TRUE(textFits(w.Label3, w.Label3->text(), 0));
    EXPECT_TRUE(textFits(w.Frame1, w.Frame1->title(), 16));
    // The progress bar runs along the bottom edge, full width.
    EXPECT_EQ(w.picProgressBox->geometry().bottom(), 323);
    EXPECT_GE(w.picProgressBox->width(), 578);
}

TEST(MainWindowStartup, WithoutSettingsFileTheDefaultsStay) {
    WindowFixture f;
    frmAnzeiger& w = f.open();
    EXPECT_EQ(w.thumbSettings().groesseMin, "120");
    EXPECT_EQ(w.thumbSettings().qJPG(), 90);
    EXPECT_TRUE(f.recorded.messages.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(f.programDir() + "/Miniskop.ini"));
}

TEST(MainWindowStartup, SettingsFileNextToTheProgramIsRead) {
    WindowFixture f;
    ThumbSettings stored;
    stored.groesseMin = "80";
    stored.anzTabelle = "4";
    stored.nameOrdner = "Kleine";
    stored.setQJPG(55);
    const QString ini = f.programDir() + "/Miniskop.ini";
    ASSERT_TRUE(Speichern(stored, ini).ok());
    frmAnzeiger& w = f.open();
    EXPECT_EQ(w.settingsFilePath(), ini);
    EXPECT_EQ(w.thumbSettings().groesseMin, "80");
    EXPECT_EQ(w.thumbSettings().anzTabelle, "4");
    EXPECT_EQ(w.thumbSettings().nameOrdner, "Kleine");
    EXPECT_EQ(w.thumbSettings().qJPG(), 55);
    EXPECT_EQ(w.Frame2->Label11->text(), "55 %");  // the panel shows what was read
    EXPECT_TRUE(f.recorded.messages.isEmpty());
}

// `miniskop FOLDER`: the lists start there (a picture stands for its
// folder); a folder that is not there leaves the start as without one and is
// reported once, when the window is up.
TEST(MainWindowStartup, AFolderNamedOnTheCommandLine) {
    struct Row {
        const char* requested;  // below the temporary root
        const char* shown;      // below the temporary root
        const char* message;    // empty: none
    };
    const Row rows[] = {
        {"pictures/Urlaub", "pictures/Urlaub", ""},
        {"pictures/Urlaub/", "pictures/Urlaub", ""},
        {"pictures/Urlaub/strand.jpg", "pictures/Urlaub", ""},
        {"pictures/fehlt", "pictures", "Den Ordner „%1/pictures/fehlt“ gibt es nicht."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.requested);
        WindowFixture f;
        QDir(f.pictures()).mkpath("Urlaub");
        f.writePicture(f.pictures() + "/Urlaub/strand.jpg");
        f.writePicture(f.pictures() + "/Urlaub/berg.jpg");
        frmAnzeiger& w = f.open(QString(), f.root.filePath(row.requested));
        const QString shown = QDir(f.root.filePath(row.shown)).canonicalPath();
        EXPECT_EQ(w.Dir1->Path(), shown);
        EXPECT_EQ(w.File1->Path(), shown);
        EXPECT_EQ(w.Label5->text(), QString(row.shown).endsWith("Urlaub") ? "2" : "0");
        QCoreApplication::processEvents();
        if (*row.message == '\0') {
            EXPECT_TRUE(f.recorded.messages.isEmpty());
        } else {
            ASSERT_EQ(f.recorded.messages.size(), 1);
            EXPECT_EQ(f.recorded.messages[0].text, QString(row.message).arg(f.root.path()));
            EXPECT_EQ(f.recorded.messages[0].title, "Thumbnail-Info");
        }
    }
}

TEST(MainWindowStartup, ProgramFolderEndingInSeparator) {
    WindowFixture f;
    ThumbSettings stored;
    stored.anzTabelle = "9";
    ASSERT_TRUE(Speichern(stored, f.programDir() + "/Miniskop.ini").ok());
    frmAnzeiger::Environment env;
    env.programDir = f.programDir() + "/";
    env.userConfigDir = f.root.filePath("config");
    env.startFolder = f.pictures();
    env.endProgram = [](bool) {};
    frmAnzeiger w(env);
    EXPECT_EQ(w.thumbSettings().anzTabelle, "9");
}

}  // namespace
}  // namespace miniskop
