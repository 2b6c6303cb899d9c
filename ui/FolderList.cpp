// Dir1: folder chain plus sub-folders, in the manner of a classic folder list.
// Whether a folder can be shown is decided by its attributes alone; reading
// its entries is left to a FolderReader.
#include "FolderList.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QStyle>

#include "FileNameBytes.h"

namespace miniskop {

namespace {

constexpr int kPathRole = Qt::UserRole;
// Each level of depth is shown as one en space before the name.
constexpr QChar kIndent(u'\u2002');

// Whether `folder` is a folder whose entries may be read, by its attributes
// (its name taken as bytes).
Status readableFolder(const QString& folder) {
    const QByteArray bytes = nameToBytes(folder);
    struct stat st {};
    if (::stat(bytes.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return fail(QStringLiteral("kein Ordner: ") + shownName(folder));
    }
    if (::access(bytes.constData(), R_OK | X_OK) != 0) {
        return fail(QStringLiteral("Ordner nicht lesbar: ") + shownName(folder));
    }
    return {};
}

}  // namespace

FolderList::FolderList(QWidget* parent) : QListWidget(parent), reader_(this) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setIconSize(QSize(14, 14));
    connect(this, &QListWidget::itemActivated, this, &FolderList::openItem);
}

Status FolderList::setPath(const QString& folder) {
    const QString absolute = absoluteCleanPath(folder);
    if (Status usable = readableFolder(absolute); !usable) return usable;
    fill(absolute, {});
    // Sub-folders sorted by name without regard to case; hidden ones left out.
    FolderReadRequest request;
    request.subfolders = true;
    request.files = false;
    auto work = [absolute, request](const std::atomic<bool>& stop) mutable {
        request.stop = &stop;
        return readFolder(absolute, request);
    };
    reader_.start(std::move(work), [this, absolute](Expected<FolderReading> reading) {
        if (reading && absolute == path_) fill(absolute, reading->subfolders);
        emit listed();
    });
    if (absolute != path_) {
        path_ = absolute;
        emit pathChanged(path_);
    }
    return {};
}

void FolderList::fill(const QString& folder, const QStringList& subfolders) {
    clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);

    // The chain "/", "/home", "/home/user", ... down to the folder itself.
    QStringList chain;
    QString walk = folder;
    while (true) {
        chain.prepend(walk);
        if (walk == QStringLiteral("/")) break;
        const QString parent = QFileInfo(walk).path();
        if (parent == walk) break;
        walk = parent;
    }
    int level = 0;
    QListWidgetItem* current = nullptr;
    for (const QString& step : chain) {
        const QString name = step == QStringLiteral("/") ? step : QFileInfo(step).fileName();
        auto* item = new QListWidgetItem(openIcon, QString(level, kIndent) + shownName(name), this);
        item->setData(kPathRole, step);
        item->setData(Qt::AccessibleTextRole, shownName(step));
        current = item;
        ++level;
    }
    for (const QString& sub : subfolders) {
        auto* item =
            new QListWidgetItem(closedIcon, QString(level, kIndent) + shownName(sub), this);
        const QString full =
            folder == QStringLiteral("/") ? folder + sub : folder + QLatin1Char('/') + sub;
        item->setData(kPathRole, full);
        item->setData(Qt::AccessibleTextRole, shownName(full));
    }
    if (current) {
        setCurrentItem(current);
        scrollToItem(current);
    }
}

void FolderList::openItem(QListWidgetItem* item) {
    if (!item) return;
    const QString target = item->data(kPathRole).toString();
    if (target == path_) return;
    // A folder that cannot be read is simply not opened.
    (void)setPath(target);
}

void FolderList::keyPressEvent(QKeyEvent* event) {
    // Backspace goes up one level, as in a file manager.
    if (event->key() == Qt::Key_Backspace && path_ != QStringLiteral("/")) {
        (void)setPath(QFileInfo(path_).path());
        return;
    }
    QListWidget::keyPressEvent(event);
}

}  // namespace miniskop
