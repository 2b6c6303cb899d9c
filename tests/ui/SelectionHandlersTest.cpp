// Folder and file selection in the window: drive, folder, pattern and type
// changes keep the file list and its count in step; failures change nothing.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include "DriveList.h"
#include "FileListBox.h"
#include "FolderList.h"
#include "MainWindowTestSupport.h"

namespace miniskop {
namespace {

using testing::WindowFixture;

const QString kPatternError = QStringLiteral(
    "Fehler bei Eingabe des Dateityps (Pattern). Die einzelne Datentypen mit Semikolon "
    "trennen. Z.B. *.gif;*.jpg");

class SelectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"a.jpg", "b.JPEG", "c.gif", "d.bmp", "e.wmf", "f.png"}) {
            f.writePicture(f.pictures() + "/" + name);
        }
        f.writeText(f.pictures() + "/g.txt");
        w = &f.open();
    }
    // Every change reads the folder off the window's thread.
    void settle() { ASSERT_TRUE(testing::settle(*w)); }
    QStringList entries() const {
        QStringList list;
        for (int i = 0; i < w->File1->ListCount(); ++i) list << w->File1->List(i);
        return list;
    }

    WindowFixture f;
    frmAnzeiger* w = nullptr;
};

TEST_F(SelectionTest, StartListsTheMatchingFilesSorted) {
    EXPECT_EQ(entries(), (QStringList{"a.jpg", "b.JPEG", "c.gif", "d.bmp", "e.wmf"}));
    EXPECT_EQ(w->Label5->text(), "5");
    EXPECT_EQ(w->File1->count(), 5);  // the widget shows the entries
}

TEST_F(SelectionTest, PatternEndingInSemicolonWaitsForTheNextCharacter) {
    w->Text1->setText("*.gif;");
    EXPECT_EQ(w->File1->Pattern(), "*.bmp;*.jpg;*.jpeg;*.gif;*.wmf");
    w->Text1->setText("*.gif;*.jpg");
    settle();
    EXPECT_EQ(w->File1->Pattern(), "*.gif;*.jpg");
    EXPECT_EQ(entries(), (QStringList{"a.jpg", "c.gif"}));
    // A typed pattern does not refresh the count.
    EXPECT_EQ(w->Label5->text(), "5");
    EXPECT_TRUE(f.recorded.messages.isEmpty());
}

TEST_F(SelectionTest, EmptyPatternIsNeverApplied) {
    w->Text1->setText("*.png");
    settle();
    w->Text1->setText("");
    EXPECT_EQ(w->File1->Pattern(), "*.png");
    EXPECT_EQ(entries(), QStringList{"f.png"});
    EXPECT_TRUE(f.recorded.messages.isEmpty());
}

TEST_F(SelectionTest, BlanksAroundThePatternAreRemoved) {
    w->Text1->setText("  *.gif  ");
    settle();
    EXPECT_EQ(w->File1->Pattern(), "*.gif");
    EXPECT_EQ(entries(), QStringList{"c.gif"});
}

TEST_F(SelectionTest, RefusedPatternShowsTheMessageAndKeepsTheList) {
    const QStringList refused = {"*.gif;;*.jpg", "bilder/*.jpg", QString("*.j") + QChar(7) + "g",
                                 "   ", "*.gif; "};
    for (const QString& pattern : refused) {
        f.recorded.messages.clear();
        w->Text1->setText(pattern);
        settle();
        ASSERT_EQ(f.recorded.messages.size(), 1) << pattern.toStdString();
        EXPECT_EQ(f.recorded.messages[0].text, kPatternError);
        EXPECT_EQ(f.recorded.messages[0].title, "Thumbnail-Info");
        EXPECT_EQ(f.recorded.messages[0].icon, MessageIcon::Critical);
        EXPECT_EQ(w->Text1->text(), pattern) << "the user's text stays";
        EXPECT_EQ(w->File1->Pattern(), "*.bmp;*.jpg;*.jpeg;*.gif;*.wmf");
        EXPECT_EQ(w->File1->ListCount(), 5);
    }
}

TEST_F(SelectionTest, TypeClicksBuildThePatternInIndexOrder) {
    // Check3 index 2 is "wmf".
    w->Check3[2]->click();
    settle();
    EXPECT_EQ(w->Text1->text(), "*.jpg;*.jpeg;*.bmp;*.gif");
    EXPECT_EQ(w->Label5->text(), "4");

    // Only bmp and gif left.
    w->Check3[0]->click();
    settle();
    w->Check3[1]->click();
    settle();
    EXPECT_EQ(w->Text1->text(), "*.bmp;*.gif");
    EXPECT_EQ(entries(), (QStringList{"c.gif", "d.bmp"}));
    EXPECT_EQ(w->Label5->text(), "2");

    // Checking wmf again puts it in index place, before bmp.
    w->Check3[2]->click();
    settle();
    EXPECT_EQ(w->Text1->text(), "*.wmf;*.bmp;*.gif");
}

TEST_F(SelectionTest, NoTypeCheckedListsEveryFile) {
    for (QCheckBox* box : w->Check3) box->click();
    settle();
    EXPECT_EQ(w->Text1->text(), "*.*");
    EXPECT_EQ(w->Label5->text(), "7");
    EXPECT_TRUE(entries().contains("g.txt"));
}

TEST_F(SelectionTest, TypeClickReplacesTypedTextAndReappliesAnUnchangedText) {
    w->Text1->setText("*.png");
    settle();
    ASSERT_EQ(w->Label5->text(), "5");  // typed: count not refreshed
    w->Check3[4]->click();              // gif off
    settle();
    EXPECT_EQ(w->Text1->text(), "*.jpg;*.jpeg;*.wmf;*.bmp");
    EXPECT_EQ(w->Label5->text(), "4");

    // The user types the very text a click would build, but leaves it
    // unapplied (trailing ";"); the click applies it although Text1 will not
    // change once the text matches.
    w->Text1->setText("*.jpg;*.jpeg;*.wmf;*.bmp;");
    w->Text1->setText("*.jpg;*.jpeg;*.wmf;*.bmp");
    settle();
    w->File1->setPattern("*.png");
    settle();
    w->Check3[4]->click();
    settle();
    w->Check3[4]->click();
    settle();
    EXPECT_EQ(w->File1->Pattern(), "*.jpg;*.jpeg;*.wmf;*.bmp");
    EXPECT_EQ(w->Label5->text(), "4");
}

TEST_F(SelectionTest, FolderChangeFollowsAndFailureKeepsEverything) {
    QDir(f.pictures()).mkpath("leer");
    QDir(f.pictures()).mkpath("zwei");
    f.writePicture(f.pictures() + "/zwei/p.jpg");
    f.writePicture(f.pictures() + "/zwei/q.gif");

    ASSERT_TRUE(w->Dir1->setPath(f.pictures() + "/zwei").ok());
    settle();
    EXPECT_EQ(w->File1->Path(), QDir(f.pictures() + "/zwei").canonicalPath());
    EXPECT_EQ(w->Label5->text(), "2");

    ASSERT_TRUE(w->Dir1->setPath(f.pictures() + "/leer").ok());
    settle();
    EXPECT_EQ(w->Label5->text(), "0");

    const QString before = w->Dir1->Path();
    EXPECT_FALSE(w->Dir1->setPath(f.pictures() + "/gibt-es-nicht").ok());
    settle();
    EXPECT_EQ(w->Dir1->Path(), before);
    EXPECT_EQ(w->File1->Path(), before);
    EXPECT_EQ(w->Label5->text(), "0");
    EXPECT_TRUE(f.recorded.messages.isEmpty());
}

TEST_F(SelectionTest, DriveThatCannotBeReadChangesNothing) {
    const QString before = w->Dir1->Path();
    w->Drive1->setVolumes({{"/", ""}, {f.root.filePath("nicht-bereit"), "USB"}});
    w->Drive1->setCurrentIndex(1);
    emit w->Drive1->activated(1);
    settle();
    EXPECT_EQ(w->Dir1->Path(), before);
    EXPECT_EQ(w->File1->Path(), before);
    EXPECT_EQ(w->Label5->text(), "5");
    EXPECT_EQ(w->Drive1->currentIndex(), 1) << "the picked drive stays shown";
    EXPECT_TRUE(f.recorded.messages.isEmpty());
}

TEST_F(SelectionTest, PickingADriveRunsTheFolderChangeOnce) {
    const QString drive = f.root.filePath("laufwerk");
    QDir().mkpath(drive);
    f.writePicture(drive + "/x.bmp");
    f.writePicture(drive + "/y.jpg");
    f.writePicture(drive + "/z.png");
    w->Drive1->setVolumes({{"/", ""}, {drive, ""}});
    int folderChanges = 0;
    QObject::connect(w->Dir1, &FolderList::pathChanged, [&] { ++folderChanges; });
    w->Drive1->setCurrentIndex(1);
    emit w->Drive1->activated(1);
    settle();
    EXPECT_EQ(folderChanges, 1);
    EXPECT_EQ(w->Dir1->Path(), QDir::cleanPath(drive));
    EXPECT_EQ(w->File1->Path(), QDir(drive).canonicalPath());
    EXPECT_EQ(w->Label5->text(), "2");
}

}  // namespace
}  // namespace miniskop
