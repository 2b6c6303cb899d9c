// Dir1, the folder list: the chain of folders from the root down to the shown
// folder, then that folder's sub-folders, one level deeper. A double click or
// Enter on an entry opens it. Writing Path shows the chain and raises the
// change event before it returns; the sub-folders are read off the window's
// thread and fill in when they are in.
#pragma once

#include <QListWidget>
#include <QString>

#include "Expected.h"
#include "FolderReader.h"

namespace miniskop {

class FolderList : public QListWidget {
    Q_OBJECT
public:
    explicit FolderList(QWidget* parent = nullptr);

    // Absolute path of the shown folder.
    QString Path() const { return path_; }

    // Shows `folder` (absolute, or relative to the current folder). Fails, and
    // changes nothing, when it is not a readable folder. Emits pathChanged when
    // the shown folder changes.
    Status setPath(const QString& folder);
    // True while the shown folder's sub-folders are being read.
    bool isListing() const { return reader_.busy(); }

signals:
    // Dir1_Change: the shown folder changed.
    void pathChanged(const QString& path);
    // The sub-folders are in (or could not be read: then none are shown).
    void listed();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void openItem(QListWidgetItem* item);
    void fill(const QString& folder, const QStringList& subfolders);

    QString path_;
    FolderReader reader_;
};

}  // namespace miniskop
