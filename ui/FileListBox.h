// File1, the file list box: shows a FileList (the files of one folder that
// match the pattern, sorted by name). Writing Path or Pattern reads the folder
// off the window's thread: until the reading is in, the box, Path, Pattern
// and ListCount stay as they were; then they change together and `listed`
// tells so. A reading that fails changes nothing. A newer write supersedes a
// reading still in progress.
#pragma once

#include <QListWidget>
#include <QString>
#include <map>

#include "FileList.h"
#include "FolderReader.h"

namespace miniskop {

class FileListBox : public QListWidget {
    Q_OBJECT
public:
    explicit FileListBox(QWidget* parent = nullptr);

    // Fails at once, changing nothing, for an empty folder name.
    Status setPath(const QString& folder);
    // Fails at once, changing nothing, for a pattern the list refuses.
    Status setPattern(const QString& pattern);
    // True while a reading is in progress.
    bool isListing() const { return reader_.busy(); }

    QString Path() const { return list_.path(); }
    QString Pattern() const { return list_.pattern(); }
    int ListCount() const { return list_.ListCount(); }
    // Entry i without folder; the empty text past the end.
    QString List(int i) const { return list_.List(i); }

    // When the list is empty: the pictures of the folder the pattern leaves
    // out, extension -> names (see UnlistedPictures.h); empty otherwise.
    const std::map<QString, QStringList>& unlistedPictures() const { return unlisted_; }

signals:
    // A reading has ended: applied (`ok`) or failed, changing nothing.
    // `patternOnly` when only the pattern was written since the last one.
    void listed(bool ok, bool patternOnly);

private:
    void read();
    void showEntries();

    FileList list_;
    QString wantedPath_;
    QString wantedPattern_;
    bool pathWritten_ = false;  // since the last reading ended
    std::map<QString, QStringList> unlisted_;
    FolderReader reader_;
};

}  // namespace miniskop
