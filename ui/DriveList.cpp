// Drive1: the mounted file systems as a drop-down list.
#include "DriveList.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <algorithm>

namespace miniskop {

DriveList::DriveList(QWidget* parent) : QComboBox(parent) {
    setVolumes(mountedVolumes());
    // Only a pick by the user is a drive change; selectDriveOf stays silent.
    connect(this, &QComboBox::activated, this, [this](int) { emit driveChanged(); });
}

QString DriveList::Drive() const { return currentData().toString(); }

void DriveList::setVolumes(const QList<Volume>& volumes) {
    const QSignalBlocker blocker(this);
    clear();
    for (const Volume& v : volumes) {
        const QString text = v.displayName.isEmpty() ? v.rootPath
                                                     : v.rootPath + QStringLiteral("  [") +
                                                           v.displayName + QLatin1Char(']');
        addItem(text, v.rootPath);
    }
}

void DriveList::selectDriveOf(const QString& path) {
    // The entry with the longest mount point that contains the path.
    const QString clean = QDir::cleanPath(path);
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < count(); ++i) {
        const QString root = itemData(i).toString();
        const bool contains = root == QStringLiteral("/") || clean == root ||
                              clean.startsWith(root + QLatin1Char('/'));
        if (contains && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    if (best >= 0) {
        const QSignalBlocker blocker(this);
        setCurrentIndex(best);
    }
}

bool DriveList::isPseudoFileSystem(const QByteArray& type, const QString& rootPath) {
    static const QList<QByteArray> pseudo = {
        "proc",       "sysfs",  "devtmpfs",  "devpts",   "cgroup",      "cgroup2",
        "securityfs", "pstore", "bpf",       "debugfs",  "tracefs",     "configfs",
        "fusectl",    "mqueue", "hugetlbfs", "autofs",   "binfmt_misc", "efivarfs",
        "rpc_pipefs", "nsfs",   "ramfs",     "squashfs", "selinuxfs"};
    if (pseudo.contains(type)) return true;
    if (type == "tmpfs") {
        // Runtime and device scratch areas are no place for pictures.
        return rootPath == QStringLiteral("/run") || rootPath.startsWith(QStringLiteral("/run/")) ||
               rootPath == QStringLiteral("/dev") || rootPath.startsWith(QStringLiteral("/dev/")) ||
               rootPath.startsWith(QStringLiteral("/sys/")) ||
               rootPath.startsWith(QStringLiteral("/proc/"));
    }
    // Whatever lives below the kernel's own trees.
    return rootPath.startsWith(QStringLiteral("/proc/")) ||
           rootPath.startsWith(QStringLiteral("/sys/"));
}

QList<DriveList::Volume> DriveList::mountedVolumes() {
    QList<Volume> result;
    for (const QStorageInfo& info : QStorageInfo::mountedVolumes()) {
        const QString root = info.rootPath();
        if (root.isEmpty() || isPseudoFileSystem(info.fileSystemType(), root)) continue;
        if (!QFileInfo(root).isDir()) continue;  // a single file mounted into place
        const bool seen = std::any_of(result.begin(), result.end(),
                                      [&](const Volume& v) { return v.rootPath == root; });
        if (seen) continue;  // a file system mounted twice on one point
        result.append(Volume{root, info.name()});
    }
    std::stable_sort(result.begin(), result.end(), [](const Volume& a, const Volume& b) {
        const bool aRoot = a.rootPath == QStringLiteral("/");
        const bool bRoot = b.rootPath == QStringLiteral("/");
        if (aRoot != bRoot) return aRoot;
        return a.rootPath < b.rootPath;
    });
    if (result.isEmpty() || result.first().rootPath != QStringLiteral("/")) {
        result.prepend(Volume{QStringLiteral("/"), QString()});
    }
    return result;
}

}  // namespace miniskop
