// Dir1, the folder list: the chain of folders from the root down to the shown
// folder, then that folder's sub-folders, one level deeper. A double click or
// Enter on an entry opens it. Writing Path re-reads and raises the change
// event before it returns.
#pragma once

#include <QListWidget>
#include <QString>

#include "Expected.h"

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

signals:
    // Dir1_Change: the shown folder changed.
    void pathChanged(const QString& path);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void openItem(QListWidgetItem* item);
    void fill(const QString& folder, const QStringList& subfolders);

    QString path_;
};

}  // namespace miniskop
