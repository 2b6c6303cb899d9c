// frmAnzeiger's event handlers: keeping the file list in step with the drive,
// folder, pattern and file-type controls, and the buttons of the window.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include "DriveList.h"
#include "FileListBox.h"
#include "FolderList.h"
#include "IconButton.h"
#include "MessageBox.h"
#include "SettingsPanel.h"
#include "Trimming.h"
#include "frmAnzeiger.h"
#include "frmInfo.h"

namespace miniskop {

void frmAnzeiger::connectHandlers() {
    connect(Drive1, &DriveList::driveChanged, this, &frmAnzeiger::Drive1_Change);
    connect(Dir1, &FolderList::pathChanged, this, &frmAnzeiger::Dir1_Change);
    connect(Text1, &QLineEdit::textChanged, this, &frmAnzeiger::Text1_Change);
    for (int i = 0; i < 5; ++i) {
        connect(Check3[i], &QCheckBox::clicked, this, [this, i] { Check3_Click(i); });
    }
    connect(Command1, &QPushButton::clicked, this, &frmAnzeiger::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmAnzeiger::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &frmAnzeiger::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &frmAnzeiger::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &frmAnzeiger::Command5_Click);
    connect(Command8, &QPushButton::clicked, this, &frmAnzeiger::Command8_Click);
}

// A drive that cannot be read leaves folder, files and count as they were.
void frmAnzeiger::Drive1_Change() {
    // Showing the drive's folder raises Dir1_Change, which re-reads the files.
    if (!Dir1->setPath(Drive1->Drive())) return;
    showFileCount();
}

// A folder the file list cannot read leaves the files and count as they were.
void frmAnzeiger::Dir1_Change() {
    if (!File1->setPath(Dir1->Path())) return;
    showFileCount();
}

// The pattern is applied as typed, blanks at its ends removed; an empty text
// or one ending in ";" (the user is still typing) is not applied. The count
// is left as it is.
void frmAnzeiger::Text1_Change() {
    const QString text = Text1->text();
    if (text.isEmpty() || text.endsWith(QLatin1Char(';'))) return;
    if (!File1->setPattern(trimSpaces(text))) {
        ::miniskop::MsgBox(this,
                           QStringLiteral("Fehler bei Eingabe des Dateityps (Pattern). Die "
                                          "einzelne Datentypen mit Semikolon trennen. Z.B. "
                                          "*.gif;*.jpg"),
                           MessageIcon::Critical, QStringLiteral("Thumbnail-Info"));
    }
}

// Rebuilds the pattern from the checked types, in index order (not screen
// order); "*.*" when none is checked.
void frmAnzeiger::Check3_Click(int Index) {
    Q_UNUSED(Index);
    QString pattern;
    for (QCheckBox* box : Check3) {
        if (box->isChecked()) pattern += QStringLiteral("*.") + box->text() + QLatin1Char(';');
    }
    if (pattern.isEmpty()) {
        pattern = QStringLiteral("*.*");
    } else {
        pattern.chop(1);
    }
    if (Text1->text() == pattern) {
        Text1_Change();  // setting an unchanged text raises no change
    } else {
        Text1->setText(pattern);
    }
    showFileCount();
}

void frmAnzeiger::Command1_Click() { run_.Command1_Click(); }

void frmAnzeiger::Command2_Click() {
    if (!currentPagePath_.isEmpty()) env_.openDefaultBrowser(currentPagePath_);
}

void frmAnzeiger::Command3_Click() { close(); }

void frmAnzeiger::Command4_Click() { frmInfo::showInfo(); }

void frmAnzeiger::Command5_Click() {
    if (!currentPagePath_.isEmpty()) env_.showOverview(currentPagePath_);
}

void frmAnzeiger::Command8_Click() {
    Frame2->show();
    Frame2->raise();
}

}  // namespace miniskop
