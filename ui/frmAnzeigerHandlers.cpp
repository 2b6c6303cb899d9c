// frmAnzeiger's event handlers: keeping the file list in step with the drive,
// folder, pattern and file-type controls, the buttons of the window, and the
// keyboard (the order of Tab, Escape for the settings panel).
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
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

namespace {

const QString kPatternErrorText = QStringLiteral(
    "Fehler bei Eingabe des Dateityps (Pattern). Die einzelne Datentypen mit Semikolon "
    "trennen. Z.B. *.gif;*.jpg");

}  // namespace

void frmAnzeiger::connectHandlers() {
    connect(Drive1, &DriveList::driveChanged, this, &frmAnzeiger::Drive1_Change);
    connect(Dir1, &FolderList::pathChanged, this, &frmAnzeiger::Dir1_Change);
    connect(File1, &FileListBox::listed, this, &frmAnzeiger::fileListRead);
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
    // "<<" has hidden the panel: the keyboard goes back to "Settings".
    connect(Frame2->Command7, &QPushButton::clicked, Command8, [this] { Command8->setFocus(); });
}

// Tab follows the screen: the start button in the banner, the folder
// selection column by column (the type boxes top to bottom), the pattern and
// the enlarge box, then the buttons on the right row by row.
void frmAnzeiger::setScreenTabOrder() {
    QWidget* order[] = {Command1,  Drive1,    Dir1,      File1,   Check3[0], Check3[1],
                        Check3[4], Check3[3], Check3[2], Text1,   Check1,    Command5,
                        Command2,  Command8,  Command4,  Command3};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

void frmAnzeiger::showFileCount() { Label5->setText(QString::number(File1->ListCount())); }

void frmAnzeiger::requestFileCount() {
    if (File1->isListing()) {
        countWanted_ = true;
    } else {
        showFileCount();
    }
}

// A reading of the file list is in. The count follows when a drive, folder
// or type change asked for it; a pattern the list could not apply gets the
// pattern message, a folder that could not be read none. A start click that
// waited for the list starts the run now.
void frmAnzeiger::fileListRead(bool ok, bool patternOnly) {
    if (countWanted_ && (ok || patternOnly)) showFileCount();
    countWanted_ = false;
    if (!ok && patternOnly) {
        ::miniskop::MsgBox(this, kPatternErrorText, MessageIcon::Critical,
                           QStringLiteral("Thumbnail-Info"));
    }
    if (startWanted_ && !File1->isListing()) {
        startWanted_ = false;
        Command1_Click();
    }
}

// A drive that cannot be read leaves folder, files and count as they were.
void frmAnzeiger::Drive1_Change() {
    // Showing the drive's folder raises Dir1_Change, which re-reads the files.
    if (!Dir1->setPath(Drive1->Drive())) return;
    requestFileCount();
}

// A folder the file list cannot read leaves the files and count as they were.
void frmAnzeiger::Dir1_Change() {
    if (!File1->setPath(Dir1->Path())) return;
    requestFileCount();
}

// The pattern is applied as typed, blanks at its ends removed; an empty text
// or one ending in ";" (the user is still typing) is not applied. The count
// is left as it is.
void frmAnzeiger::Text1_Change() {
    const QString text = Text1->text();
    if (text.isEmpty() || text.endsWith(QLatin1Char(';'))) return;
    if (!File1->setPattern(trimSpaces(text))) {
        ::miniskop::MsgBox(this, kPatternErrorText, MessageIcon::Critical,
                           QStringLiteral("Thumbnail-Info"));
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
    requestFileCount();
}

void frmAnzeiger::Command1_Click() {
    if (run_.state() == ThumbnailRun::State::Idle) {
        if (File1->isListing()) {
            // The run takes the list the user chose, once it is read.
            startWanted_ = true;
            setMousePointer(MousePointer::Hourglass);
            return;
        }
        failures_.clear();
        failuresLabel->hide();
    }
    run_.Command1_Click();
    showFailures();
}

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
    Frame2->focusOrder().first()->setFocus(Qt::OtherFocusReason);
}

void frmAnzeiger::hideSettingsPanel() {
    Frame2->Command7_Click();
    Command8->setFocus(Qt::OtherFocusReason);
}

void frmAnzeiger::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && Frame2->isVisible()) {
        hideSettingsPanel();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

bool frmAnzeiger::focusNextPrevChild(bool next) {
    if (!Frame2->isVisible()) return QMainWindow::focusNextPrevChild(next);
    const QList<QWidget*> order = Frame2->focusOrder();
    const QWidget* focus = QApplication::focusWidget();
    qsizetype at = next ? -1 : 0;
    for (qsizetype i = 0; i < order.size(); ++i) {
        if (focus && (order[i] == focus || order[i]->isAncestorOf(focus))) at = i;
    }
    const qsizetype n = order.size();
    for (qsizetype step = 1; step <= n; ++step) {
        QWidget* candidate = order[((at + (next ? step : -step)) % n + n) % n];
        if (candidate->isEnabled() && candidate->isVisible()) {
            candidate->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
    return false;
}

}  // namespace miniskop
