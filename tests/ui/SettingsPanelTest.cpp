// The settings panel: every control writes its field of ThumbSettings at once,
// the quality read-out follows the scroll bar, "Standardwerte" keeps the affix
// option, "<<" only hides, "Speichern" writes the file or says that it could not.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <vector>

#include "MessageBox.h"
#include "SettingsFile.h"
#include "SettingsPanel.h"
#include "UiEvents.h"

namespace miniskop {
namespace {

using testing::click;
using testing::key;
using testing::type;

class SettingsPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        setMessageInterceptor([this](const ShownMessage& m) { messages.push_back(m); });
    }
    void TearDown() override { setMessageInterceptor({}); }

    // Replaces the text of a text box or an editable combo box as a user
    // would: select all, then type.
    static void typeInto(QLineEdit* edit, const QString& text) {
        edit->selectAll();
        key(edit, Qt::Key_Delete);
        type(edit, text);
    }

    QTemporaryDir dir;
    ThumbSettings settings;
    std::vector<ShownMessage> messages;
    QString iniPath() const { return dir.filePath(QStringLiteral("Miniskop.ini")); }
};

TEST_F(SettingsPanelTest, StartsHiddenShowingTheDefaults) {
    SettingsPanel panel(settings, iniPath());
    EXPECT_TRUE(panel.isHidden());
    EXPECT_EQ(panel.size(), QSize(369, 281));

    EXPECT_EQ(panel.Combo3->currentText(), "120");
    ASSERT_EQ(panel.Combo3->count(), 20);
    EXPECT_EQ(panel.Combo3->itemText(0), "10");
    EXPECT_EQ(panel.Combo3->itemText(19), "200");
    EXPECT_EQ(panel.Combo2->currentText(), "6");
    ASSERT_EQ(panel.Combo2->count(), 18);
    EXPECT_EQ(panel.Combo2->itemText(0), "3");
    EXPECT_EQ(panel.Combo2->itemText(17), "20");
    EXPECT_TRUE(panel.Combo3->isEditable());
    EXPECT_TRUE(panel.Combo2->isEditable());

    EXPECT_EQ(panel.Text2->text(), "ThumbIndex.html");
    EXPECT_EQ(panel.Text3->text(), "Thumbnails");
    EXPECT_EQ(panel.Text4->text(), "t_");
    EXPECT_EQ(panel.Text5->text(), "_t");
    EXPECT_TRUE(panel.Option1[0]->isChecked());
    EXPECT_FALSE(panel.Option1[1]->isChecked());
    EXPECT_EQ(panel.HScroll1->value(), 90);
    EXPECT_EQ(panel.Label11->text(), "90 %");

    // Building the panel leaves the record as it was.
    EXPECT_EQ(settings.groesseMin, "120");
    EXPECT_EQ(settings.qJPG(), 90);
    EXPECT_TRUE(settings.optE);
}

TEST_F(SettingsPanelTest, CaptionsTooltipsAndAccessibleNames) {
    SettingsPanel panel(settings, iniPath());
    EXPECT_EQ(panel.Option1[0]->text(), "den Anfang");
    EXPECT_EQ(panel.Option1[1]->text(), "das Ende");
    EXPECT_EQ(panel.Command7->text(), "<<");
    EXPECT_EQ(panel.Command10->text(), "Speichern");
    EXPECT_EQ(panel.Command9->text(), "Standardwerte");

    const QString anfang =
        QStringLiteral("Fügt den Zusatz an den Anfang des Dateinamens hinzu: t_sample.jpg");
    const QString ende =
        QStringLiteral("Fügt den Zusatz an das Ende des Dateinamens hinzu: sample_t.jpg");
    EXPECT_EQ(panel.Option1[0]->toolTip(), anfang);
    EXPECT_EQ(panel.Text4->toolTip(), anfang);
    EXPECT_EQ(panel.Option1[1]->toolTip(), ende);
    EXPECT_EQ(panel.Text5->toolTip(), ende);
    EXPECT_EQ(
        panel.Text3->toolTip(),
        QStringLiteral("Dieser Ordner wird als Unterordner im ausgewählten Bildordner erzeugt"));
    EXPECT_EQ(panel.Command7->toolTip(),
              QStringLiteral("Werte nur für diese diese Sitzung übernehmen."));
    EXPECT_EQ(panel.Command10->toolTip(),
              QStringLiteral("Nach dem Speichern stehen die Werte auch beim nächsten "
                             "Programmstart zur Verfügung"));
    EXPECT_EQ(panel.Command9->toolTip(), QStringLiteral("Defaultwerte wiederherstellen."));

    // Fields are named after the label beside them.
    EXPECT_EQ(panel.Combo3->accessibleName(), QStringLiteral("Grösse derThumbnails in Pixel"));
    EXPECT_EQ(panel.Combo2->accessibleName(),
              QStringLiteral("Anzahl der Thumbnails pro Zeile (auf der Html-Seite)"));
    EXPECT_EQ(panel.Text2->accessibleName(),
              QStringLiteral("Name der erzeugten HTML-Übersichtsseite"));
    EXPECT_EQ(panel.Text3->accessibleName(), QStringLiteral("Name des Thumbnail-Unter-Ordners"));
    EXPECT_EQ(panel.HScroll1->accessibleName(),
              QStringLiteral("JPG-Qualität der erzeugten Thumbnails"));
    // Captioned controls carry their caption.
    EXPECT_EQ(panel.Option1[0]->accessibleName(), "den Anfang");
    EXPECT_EQ(panel.Option1[1]->accessibleName(), "das Ende");
    for (QWidget* w : std::initializer_list<QWidget*>{panel.Text4, panel.Text5, panel.Command10}) {
        EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
    }
}

TEST_F(SettingsPanelTest, TypingGoesIntoTheRecordAtOnce) {
    SettingsPanel panel(settings, iniPath());
    panel.show();

    // Each key press is in effect before the next one: a run reading the
    // record between two keys sees the text typed so far.
    panel.Combo3->lineEdit()->selectAll();
    key(panel.Combo3->lineEdit(), Qt::Key_Delete);
    EXPECT_EQ(settings.groesseMin, "");
    key(panel.Combo3->lineEdit(), Qt::Key_8, QStringLiteral("8"));
    EXPECT_EQ(settings.groesseMin, "8");
    key(panel.Combo3->lineEdit(), Qt::Key_5, QStringLiteral("5"));
    EXPECT_EQ(settings.groesseMin, "85");

    // Letters are taken as typed; making a number of them is the reader's job.
    typeInto(panel.Combo2->lineEdit(), QStringLiteral("abc"));
    EXPECT_EQ(settings.anzTabelle, "abc");
    typeInto(panel.Text2, QStringLiteral(" index "));
    EXPECT_EQ(settings.nameHTML, " index ");
    typeInto(panel.Text3, QStringLiteral("Mini Bilder"));
    EXPECT_EQ(settings.nameOrdner, "Mini Bilder");
    typeInto(panel.Text4, QStringLiteral("klein-"));
    EXPECT_EQ(settings.zusatzAnfang, "klein-");
    typeInto(panel.Text5, QString());
    EXPECT_EQ(settings.zusatzEnde, "");

    // Names that would lead out of the picture folder: a "/" is not typed in,
    // and "." or ".." stay in the box without reaching the record.
    typeInto(panel.Text3, QStringLiteral("../../esc"));
    EXPECT_EQ(panel.Text3->text(), "....esc");
    EXPECT_EQ(settings.nameOrdner, "....esc");
    typeInto(panel.Text3, QStringLiteral(" .. "));
    EXPECT_EQ(panel.Text3->text(), " .. ");
    EXPECT_EQ(settings.nameOrdner, " ");  // the last text it took, before the dots
    typeInto(panel.Text2, QStringLiteral("../x.html"));
    EXPECT_EQ(settings.nameHTML, "..x.html");
    typeInto(panel.Text4, QStringLiteral("/../pre_"));
    EXPECT_EQ(settings.zusatzAnfang, "..pre_");
}

TEST_F(SettingsPanelTest, ChoosingFromTheListsAndTheOptions) {
    SettingsPanel panel(settings, iniPath());
    panel.show();

    panel.Combo3->setCurrentIndex(4);
    EXPECT_EQ(settings.groesseMin, "50");
    panel.Combo2->setCurrentIndex(17);
    EXPECT_EQ(settings.anzTabelle, "20");

    click(panel.Option1[1]);
    EXPECT_TRUE(panel.Option1[1]->isChecked());
    EXPECT_FALSE(panel.Option1[0]->isChecked());
    EXPECT_FALSE(settings.optE);
    // Clicking the chosen option again changes nothing.
    click(panel.Option1[1]);
    EXPECT_TRUE(panel.Option1[1]->isChecked());
    EXPECT_FALSE(settings.optE);
    click(panel.Option1[0]);
    EXPECT_TRUE(panel.Option1[0]->isChecked());
    EXPECT_FALSE(panel.Option1[1]->isChecked());
    EXPECT_TRUE(settings.optE);
}

TEST_F(SettingsPanelTest, ReadOutFollowsArrowAndTrackStepsWithinOneToHundred) {
    SettingsPanel panel(settings, iniPath());
    QScrollBar* bar = panel.HScroll1;

    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(bar->value(), 91);
    EXPECT_EQ(panel.Label11->text(), "91 %");
    EXPECT_EQ(settings.qJPG(), 91);

    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(bar->value(), 86);
    EXPECT_EQ(panel.Label11->text(), "86 %");
    EXPECT_EQ(settings.qJPG(), 86);

    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);  // 101 is cut to 100
    EXPECT_EQ(bar->value(), 100);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(bar->value(), 100);
    EXPECT_EQ(panel.Label11->text(), "100 %");
    EXPECT_EQ(settings.qJPG(), 100);

    bar->triggerAction(QAbstractSlider::SliderToMinimum);
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(bar->value(), 1);
    EXPECT_EQ(panel.Label11->text(), "1 %");
    EXPECT_EQ(settings.qJPG(), 1);

    bar->setValue(5);
    EXPECT_EQ(panel.Label11->text(), "5 %");
}

// Mouse clicks on the real bar: an arrow moves by 1, the track by 5.
TEST_F(SettingsPanelTest, ArrowAndTrackClicksOnTheBar) {
    SettingsPanel panel(settings, iniPath());
    panel.show();
    QScrollBar* bar = panel.HScroll1;
    auto part = [bar](QStyle::SubControl control) {
        QStyleOptionSlider option;
        option.initFrom(bar);
        option.orientation = Qt::Horizontal;
        option.minimum = bar->minimum();
        option.maximum = bar->maximum();
        option.sliderPosition = bar->sliderPosition();
        option.sliderValue = bar->value();
        option.singleStep = bar->singleStep();
        option.pageStep = bar->pageStep();
        option.subControls = QStyle::SC_All;
        return bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, control, bar);
    };
    click(bar, part(QStyle::SC_ScrollBarAddLine).center());
    EXPECT_EQ(bar->value(), 91);
    click(bar, part(QStyle::SC_ScrollBarSubLine).center());
    click(bar, part(QStyle::SC_ScrollBarSubLine).center());
    EXPECT_EQ(bar->value(), 89);
    click(bar, part(QStyle::SC_ScrollBarSubPage).center());
    EXPECT_EQ(bar->value(), 84);
    EXPECT_EQ(panel.Label11->text(), "84 %");
    EXPECT_EQ(settings.qJPG(), 84);
}

TEST_F(SettingsPanelTest, ReadOutFollowsTheDragEvenWithoutTracking) {
    SettingsPanel panel(settings, iniPath());
    QScrollBar* bar = panel.HScroll1;
    bar->setTracking(false);
    bar->setSliderDown(true);
    bar->setSliderPosition(42);  // the value itself follows only on release
    EXPECT_EQ(bar->value(), 90);
    EXPECT_EQ(panel.Label11->text(), "42 %");
    bar->setSliderDown(false);
    EXPECT_EQ(bar->value(), 42);
    EXPECT_EQ(panel.Label11->text(), "42 %");
    EXPECT_EQ(settings.qJPG(), 42);
}

TEST_F(SettingsPanelTest, ShowSettingsPutsTheRecordIntoTheControls) {
    SettingsPanel panel(settings, iniPath());
    settings.groesseMin = QStringLiteral("abc");
    settings.anzTabelle = QStringLiteral("4");
    settings.nameHTML = QStringLiteral("");
    settings.nameOrdner = QStringLiteral("klein");
    settings.setQJPG(33);
    settings.optE = false;
    panel.showSettings();

    EXPECT_EQ(panel.Combo3->currentText(), "abc");
    EXPECT_EQ(panel.Combo2->currentText(), "4");
    EXPECT_EQ(panel.Text2->text(), "");
    EXPECT_EQ(panel.Text3->text(), "klein");
    EXPECT_TRUE(panel.Option1[1]->isChecked());
    EXPECT_FALSE(panel.Option1[0]->isChecked());
    EXPECT_EQ(panel.HScroll1->value(), 33);
    EXPECT_EQ(panel.Label11->text(), "33 %");
    // The record is untouched by being shown.
    EXPECT_EQ(settings.groesseMin, "abc");
    EXPECT_FALSE(settings.optE);
    EXPECT_EQ(settings.qJPG(), 33);
}

TEST_F(SettingsPanelTest, StandardwerteRestoresDefaultsButKeepsTheAffixOption) {
    SettingsPanel panel(settings, iniPath());
    panel.show();
    typeInto(panel.Combo3->lineEdit(), QStringLiteral("77"));
    typeInto(panel.Combo2->lineEdit(), QStringLiteral("9"));
    typeInto(panel.Text2, QStringLiteral("a.html"));
    typeInto(panel.Text3, QStringLiteral("b"));
    typeInto(panel.Text4, QStringLiteral("c"));
    typeInto(panel.Text5, QStringLiteral("d"));
    panel.HScroll1->setValue(12);
    click(panel.Option1[1]);

    click(panel.Command9);

    EXPECT_EQ(settings.groesseMin, "120");
    EXPECT_EQ(settings.anzTabelle, "6");
    EXPECT_EQ(settings.nameHTML, "ThumbIndex.html");
    EXPECT_EQ(settings.nameOrdner, "Thumbnails");
    EXPECT_EQ(settings.zusatzAnfang, "t_");
    EXPECT_EQ(settings.zusatzEnde, "_t");
    EXPECT_EQ(settings.qJPG(), 90);
    EXPECT_FALSE(settings.optE);

    EXPECT_EQ(panel.Combo3->currentText(), "120");
    EXPECT_EQ(panel.Combo2->currentText(), "6");
    EXPECT_EQ(panel.Text2->text(), "ThumbIndex.html");
    EXPECT_EQ(panel.Text3->text(), "Thumbnails");
    EXPECT_EQ(panel.Text4->text(), "t_");
    EXPECT_EQ(panel.Text5->text(), "_t");
    EXPECT_EQ(panel.HScroll1->value(), 90);
    EXPECT_EQ(panel.Label11->text(), "90 %");
    EXPECT_TRUE(panel.Option1[1]->isChecked());
    EXPECT_FALSE(panel.Option1[0]->isChecked());

    EXPECT_TRUE(panel.isVisible());
    EXPECT_FALSE(QFile::exists(iniPath()));  // nothing is saved
    EXPECT_TRUE(messages.empty());
}

TEST_F(SettingsPanelTest, BackButtonHidesAndKeepsTheEditsUnsaved) {
    QWidget window;
    window.resize(578, 324);
    auto* panel = new SettingsPanel(settings, iniPath(), &window);
    auto* later = new QLabel(QStringLiteral("darunter"), &window);  // made after the panel
    later->setGeometry(0, 0, 578, 324);
    later->setAutoFillBackground(true);
    window.show();
    EXPECT_FALSE(panel->isVisible());
    panel->show();
    ASSERT_TRUE(panel->isVisible());
    // Shown, it lies above the window's other controls.
    QWidget* onTop = window.childAt(panel->geometry().topLeft() + QPoint(2, 2));
    EXPECT_TRUE(onTop == panel || panel->isAncestorOf(onTop));

    typeInto(panel->Text3, QStringLiteral("Klein"));
    panel->HScroll1->setValue(70);
    click(panel->Command7);

    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(settings.nameOrdner, "Klein");
    EXPECT_EQ(settings.qJPG(), 70);
    EXPECT_FALSE(QFile::exists(iniPath()));

    // Shown again, it still shows the edits.
    panel->show();
    EXPECT_EQ(panel->Text3->text(), "Klein");
    EXPECT_EQ(panel->Label11->text(), "70 %");
}

TEST_F(SettingsPanelTest, SpeichernWritesTheFileThatIsReadBack) {
    SettingsPanel panel(settings, iniPath());
    panel.show();
    typeInto(panel.Combo3->lineEdit(), QStringLiteral("150"));
    typeInto(panel.Combo2->lineEdit(), QStringLiteral("4"));
    typeInto(panel.Text3, QStringLiteral("  Kleine Bilder  "));
    panel.HScroll1->setValue(75);
    click(panel.Option1[1]);

    click(panel.Command10);

    EXPECT_TRUE(messages.empty());
    ASSERT_TRUE(QFile::exists(iniPath()));
    EXPECT_TRUE(panel.isVisible());
    // The record keeps the blanks; the file has the name without them.
    EXPECT_EQ(settings.nameOrdner, "  Kleine Bilder  ");

    ThumbSettings readBack;
    ASSERT_TRUE(Ini_Lesen(readBack, iniPath(), DefaultsWrite::Never).ok());
    EXPECT_EQ(readBack.groesseMin, "150");
    EXPECT_EQ(readBack.anzTabelle, "4");
    EXPECT_EQ(readBack.nameHTML, "ThumbIndex.html");
    EXPECT_EQ(readBack.nameOrdner, "Kleine Bilder");
    EXPECT_EQ(readBack.qJPG(), 75);
    EXPECT_FALSE(readBack.optE);
}

TEST_F(SettingsPanelTest, FailingSaveShowsTheErrorMessage) {
    // The settings file's folder is a plain file, so nothing can be written
    // there, not even as root.
    QFile blocker(dir.filePath(QStringLiteral("kein_ordner")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString path = dir.filePath(QStringLiteral("kein_ordner/Miniskop.ini"));
    SettingsPanel panel(settings, path);
    panel.show();

    click(panel.Command10);

    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              QStringLiteral("Die Einstellungen konnten nicht gespeichert werden!"));
    EXPECT_EQ(messages[0].icon, MessageIcon::Critical);
    EXPECT_EQ(messages[0].title, QStringLiteral("FEHLER"));
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(panel.isVisible());
}

}  // namespace
}  // namespace miniskop
