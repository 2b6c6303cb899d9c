// The settings panel inside the main window: edits made while a run is going
// reach the pictures that follow, and saved settings come back at the next
// start, also when the program's folder cannot hold the settings file.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>

#include "MainWindowTestSupport.h"
#include "SettingsPanel.h"
#include "UiEvents.h"

namespace miniskop {
namespace {

using testing::WindowFixture;

TEST(MainWindowSettings, PanelEditsMidRunReachTheFollowingPictures) {
    WindowFixture f;
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
        f.writePicture(f.pictures() + "/" + name, 300, 200);
    }
    frmAnzeiger& w = f.open();

    // As soon as the first picture is recorded ("0" in Label4), the user opens
    // the panel and switches to the suffix, another affix and a smaller size.
    bool edited = false;
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, &w, [&] {
        if (edited || w.Label4->text() != QLatin1String("0")) return;
        edited = true;
        w.Command8->click();
        testing::click(w.Frame2->Option1[1]);
        w.Frame2->Text5->setText(QStringLiteral("_k"));
        w.Frame2->Combo3->setCurrentText(QStringLiteral("60"));
    });
    poll.start();
    w.Command1->click();
    poll.stop();

    ASSERT_TRUE(edited);
    EXPECT_EQ(w.Label4->text(), "Anzahl erzeugter Thumbnails: 3");
    EXPECT_FALSE(w.thumbSettings().optE);
    const QString thumbs = f.pictures() + "/Thumbnails/";
    const QImage first(thumbs + "t_a.jpg");
    EXPECT_EQ(first.size(), QSize(120, 80));
    for (const char* name : {"b_k.jpg", "c_k.jpg"}) {
        const QImage later(thumbs + name);
        EXPECT_EQ(later.size(), QSize(60, 40)) << name;
    }
    EXPECT_FALSE(QFileInfo::exists(thumbs + "t_b.jpg"));
    EXPECT_FALSE(QFileInfo::exists(thumbs + "b_t.jpg"));
}

TEST(MainWindowSettings, SavedValuesComeBackAtTheNextStartFromTheUserFolder) {
    WindowFixture f;
    frmAnzeiger::Environment env;
    // A program folder that does not exist cannot hold the file: the user's
    // configuration folder takes it.
    env.programDir = f.root.filePath(QStringLiteral("nicht-da"));
    env.userConfigDir = f.root.filePath(QStringLiteral("config/miniskop"));
    env.startFolder = f.pictures();
    env.endProgram = [](bool) {};
    const QString expected = env.userConfigDir + QStringLiteral("/Miniskop.ini");

    {
        frmAnzeiger w(env);
        EXPECT_EQ(w.settingsFilePath(), expected);
        w.Command8->click();
        SettingsPanel& p = *w.Frame2;
        p.Combo3->setCurrentText(QStringLiteral("160"));
        p.Combo2->setCurrentIndex(p.Combo2->findText(QStringLiteral("8")));
        p.Text2->setText(QStringLiteral("Übersicht.html"));
        p.Text3->setText(QStringLiteral(" Vorschau "));
        p.Text4->setText(QStringLiteral("mini_"));
        p.HScroll1->triggerAction(QAbstractSlider::SliderPageStepSub);  // 90 - 5
        testing::click(p.Option1[1]);
        EXPECT_EQ(p.Label11->text(), "85 %");
        testing::click(p.Command10);
        EXPECT_TRUE(f.recorded.messages.isEmpty());
        EXPECT_TRUE(p.isVisibleTo(&w));  // saving leaves the panel open
    }
    ASSERT_TRUE(QFileInfo::exists(expected));
    EXPECT_FALSE(QFileInfo::exists(env.programDir + QStringLiteral("/Miniskop.ini")));

    frmAnzeiger again(env);
    const SettingsPanel& p = *again.Frame2;
    EXPECT_FALSE(p.isVisibleTo(&again));
    EXPECT_EQ(p.Combo3->currentText(), "160");
    EXPECT_EQ(p.Combo2->currentText(), "8");
    EXPECT_EQ(p.Text2->text(), "Übersicht.html");
    EXPECT_EQ(p.Text3->text(), "Vorschau");  // saved without its blanks
    EXPECT_EQ(p.Text4->text(), "t_");        // the affixes are not stored
    EXPECT_EQ(p.HScroll1->value(), 85);
    EXPECT_EQ(p.Label11->text(), "85 %");
    EXPECT_TRUE(p.Option1[1]->isChecked());
    EXPECT_FALSE(p.Option1[0]->isChecked());
    EXPECT_EQ(again.thumbSettings().groesseMin, "160");
    EXPECT_EQ(again.thumbSettings().nameOrdner, "Vorschau");
    EXPECT_FALSE(again.thumbSettings().optE);
    EXPECT_TRUE(f.recorded.messages.isEmpty());
}

}  // namespace
}  // namespace miniskop
