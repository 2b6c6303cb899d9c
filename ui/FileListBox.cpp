// File1: a list widget over the core's FileList, filled by readings made off
// the window's thread. A reading that finds nothing to list also collects,
// and confirms, the pictures the pattern leaves out.
#include "FileListBox.h"

#include "FileNameBytes.h"
#include "UnlistedPictures.h"

namespace miniskop {

FileListBox::FileListBox(QWidget* parent) : QListWidget(parent), reader_(this) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    wantedPattern_ = list_.pattern();
    // Built here, on the window's thread, before any reading uses it.
    (void)readablePictureExtensions();
}

Status FileListBox::setPath(const QString& folder) {
    if (folder.isEmpty()) return fail(QStringLiteral("Kein Ordner angegeben"));
    wantedPath_ = FileList::normalisedFolder(folder);
    pathWritten_ = true;
    read();
    return {};
}

Status FileListBox::setPattern(const QString& pattern) {
    if (!FileList::isValidPattern(pattern)) {
        return fail(QStringLiteral("Ungültiges Dateimuster: %1").arg(pattern));
    }
    wantedPattern_ = pattern;
    if (wantedPath_.isEmpty()) {
        // No folder yet: nothing to read.
        list_.assign(QString(), pattern, {});
        return {};
    }
    read();
    return {};
}

void FileListBox::read() {
    FolderReadRequest request;
    request.pattern = wantedPattern_;
    request.otherExtensions = readablePictureExtensions();
    const QString folder = wantedPath_;
    auto work = [folder, request](const std::atomic<bool>& stop) mutable {
        request.stop = &stop;
        Expected<FolderReading> reading = readFolder(folder, request);
        if (reading && reading->entries.isEmpty()) {
            keepConfirmedPictures(folder, reading->unlisted, stop);
        }
        return reading;
    };
    const QString pattern = wantedPattern_;
    reader_.start(std::move(work), [this, folder, pattern](Expected<FolderReading> reading) {
        const bool patternOnly = !pathWritten_;
        pathWritten_ = false;
        if (!reading) {
            // The list stays as it was, and so does what the next write reads.
            wantedPath_ = list_.path();
            wantedPattern_ = list_.pattern();
            emit listed(false, patternOnly);
            return;
        }
        list_.assign(folder, pattern, std::move(reading->entries));
        unlisted_.clear();
        if (list_.ListCount() == 0) unlisted_ = std::move(reading->unlisted);
        showEntries();
        emit listed(true, patternOnly);
    });
}

void FileListBox::showEntries() {
    clear();
    // Shown with a mark for bytes that are not UTF-8; the run reads the list
    // itself, whose names keep their bytes.
    QStringList shown;
    shown.reserve(list_.entries().size());
    for (const QString& name : list_.entries()) shown.append(shownName(name));
    addItems(shown);
}

}  // namespace miniskop
