// frmAnzeiger as the run's host: the file list, the settings and the controls
// the run reads and writes, and what the window adds to the closing display
// (the pictures that got no thumbnail) and to the empty-list message (the
// pictures the pattern leaves out).
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>

#include "FileListBox.h"
#include "FileNameBytes.h"
#include "IconButton.h"
#include "MessageBox.h"
#include "ProgressBox.h"
#include "UnlistedPictures.h"
#include "frmAnzeiger.h"

namespace miniskop {

namespace {

// Names listed in the failures' tooltip; the rest are counted.
constexpr int kNamesShown = 20;

}  // namespace

QString frmAnzeiger::fileListPath() const { return File1->Path(); }
int frmAnzeiger::fileListCount() const { return File1->ListCount(); }
QString frmAnzeiger::fileListEntry(int i) const { return File1->List(i); }
bool frmAnzeiger::enlargeChecked() const { return Check1->isChecked(); }
void frmAnzeiger::setCommand1Caption(const QString& caption) { Command1->setText(caption); }

void frmAnzeiger::setViewButtonsEnabled(bool enabled) {
    Command5->setEnabled(enabled);
    Command2->setEnabled(enabled);
}

void frmAnzeiger::setLabel4(const QString& text) { Label4->setText(text); }
// The path of the picture in hand: odd bytes of a name show as the mark.
void frmAnzeiger::setLabel15(const QString& text) { Label15->setText(shownName(text)); }
ProgressSurface& frmAnzeiger::picProgress() { return picProgressBox->surface(); }
void frmAnzeiger::progressChanged() { picProgressBox->repaint(); }

void frmAnzeiger::setMousePointer(MousePointer pointer) {
    switch (pointer) {
        case MousePointer::Default:
            unsetCursor();
            break;
        case MousePointer::Arrow:
            setCursor(Qt::ArrowCursor);
            break;
        case MousePointer::Hourglass:
            setCursor(Qt::WaitCursor);
            break;
    }
}

void frmAnzeiger::MsgBox(const QString& text, MessageIcon icon, const QString& title) {
    ::miniskop::MsgBox(this, text, icon, title);
}

void frmAnzeiger::DoEvents() { QCoreApplication::processEvents(); }

void frmAnzeiger::setCurrentPagePath(const QString& path) {
    currentPagePath_ = path;
    Command2->setProperty("Tag", path);
}

void frmAnzeiger::pageWritten(const QString& path) { env_.reopenOverview(path); }

// An empty list in a folder whose pictures the pattern leaves out says which
// kinds they are and the pattern that lists them; a folder without pictures
// gets the run's own text.
QString frmAnzeiger::emptyListMessage(const QString& text) const {
    const QString unlisted = unlistedPicturesMessage(File1->unlistedPictures());
    return unlisted.isEmpty() ? text : unlisted;
}

void frmAnzeiger::pictureFailed(const QString& path, const QString& reason) {
    failures_.append(shownName(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1) +
                               QStringLiteral(": ") + reason));
}

// Another run (the batch tool, a second window) works in the thumbnail
// folder; the run waits with the window responsive, "Abbrechen" included.
void frmAnzeiger::waitingForFolder(const QString& folder) {
    Label15->setText(QStringLiteral(" Wartet auf einen anderen Lauf in ") + shownName(folder));
}

void frmAnzeiger::showFailures() {
    const ThumbnailRun::Outcome& outcome = run_.lastOutcome();
    QStringList parts;
    if (outcome.unreadable == 1) parts.append(QStringLiteral("1 Bild nicht lesbar"));
    if (outcome.unreadable > 1) {
        parts.append(QStringLiteral("%1 Bilder nicht lesbar").arg(outcome.unreadable));
    }
    const int unwritten = outcome.failed - outcome.unreadable;
    if (unwritten == 1) parts.append(QStringLiteral("1 Thumbnail nicht geschrieben"));
    if (unwritten > 1) {
        parts.append(QStringLiteral("%1 Thumbnails nicht geschrieben").arg(unwritten));
    }
    QStringList names = failures_.mid(0, kNamesShown);
    if (failures_.size() > kNamesShown) {
        names.append(QStringLiteral("… und %1 weitere").arg(failures_.size() - kNamesShown));
    }
    failuresLabel->setText(parts.join(QStringLiteral(", ")));
    failuresLabel->setToolTip(names.join(QLatin1Char('\n')));
    failuresLabel->setAccessibleDescription(names.join(QLatin1Char('\n')));
    failuresLabel->setVisible(!parts.isEmpty());
}

}  // namespace miniskop
