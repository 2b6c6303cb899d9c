// File1, the file list box: shows a FileList (the files of one folder that
// match the pattern, sorted by name). Writing Path or Pattern re-reads the
// folder at once, so ListCount is right when the write returns.
#pragma once

#include <QListWidget>
#include <QString>

#include "FileList.h"

namespace miniskop {

class FileListBox : public QListWidget {
    Q_OBJECT
public:
    explicit FileListBox(QWidget* parent = nullptr);

    // On failure the list keeps its folder, pattern and entries.
    Status setPath(const QString& folder);
    Status setPattern(const QString& pattern);

    QString Path() const { return list_.path(); }
    QString Pattern() const { return list_.pattern(); }
    int ListCount() const { return list_.ListCount(); }
    // Entry i without folder; the empty text past the end.
    QString List(int i) const { return list_.List(i); }

private:
    void showEntries();

    FileList list_;
};

}  // namespace miniskop
