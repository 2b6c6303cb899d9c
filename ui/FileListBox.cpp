// File1: a list widget over the core's FileList.
#include "FileListBox.h"

namespace miniskop {

FileListBox::FileListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
}

Status FileListBox::setPath(const QString& folder) {
    Status status = list_.setPath(folder);
    if (status) showEntries();
    return status;
}

Status FileListBox::setPattern(const QString& pattern) {
    Status status = list_.setPattern(pattern);
    if (status) showEntries();
    return status;
}

void FileListBox::showEntries() {
    clear();
    addItems(list_.entries());
}

}  // namespace miniskop
