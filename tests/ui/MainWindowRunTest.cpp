// The run driven from the window: start, cancel from inside the run's event
// processing, the empty-list message, the closing display, the progress bar,
// the view buttons, and closing the window idle or mid-run.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "FileListBox.h"
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

TEST(MainWindowRun, EmptyListShowsTheMessageAndStartsNothing) {
    WindowFixture f;
    f.writeText(f.pictures() + "/readme.txt");
    frmAnzeiger& w = f.open();
    ASSERT_EQ(w.Label5->text(), "0");
    w.Command1->click();

    ASSERT_EQ(f.recorded.messages.size(), 1);
    EXPECT_EQ(f.recorded.messages[0].title, "Thumbnail-Info");
    EXPECT_EQ(f.recorded.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(f.recorded.messages[0].text,
              "Im ausgewählten Ordner befinden sich keine, vom Programm unterstützten, "
              "Bilddateien. Bitte erst einen Ordner auswählen, in dem Bilddateien vorhanden "
              "sind !");
    EXPECT_EQ(w.Command1->text(), "Thumbnails erzeugen");
    EXPECT_EQ(w.Label4->text(), "0");
    EXPECT_FALSE(w.Command5->isEnabled());
    EXPECT_FALSE(w.Command2->isEnabled());
    EXPECT_FALSE(QDir(f.pictures() + "/Thumbnails").exists());
    EXPECT_TRUE(f.recorded.reopened.isEmpty());
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

}  // namespace
}  // namespace miniskop
