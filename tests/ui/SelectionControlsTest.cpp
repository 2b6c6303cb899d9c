// The selection controls on their own: the drive list's choice of file
// systems and the folder list's chain of folders.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include "DriveList.h"
#include "FolderList.h"

namespace miniskop {
namespace {

// The sub-folders are read off the thread; lets events through until they are in.
bool settled(const FolderList& list) {
    QElapsedTimer waited;
    waited.start();
    while (list.isListing() && waited.elapsed() < 30000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return !list.isListing();
}

TEST(DriveList, RootFirstAndNoPseudoFileSystems) {
    const QList<DriveList::Volume> volumes = DriveList::mountedVolumes();
    ASSERT_FALSE(volumes.isEmpty());
    EXPECT_EQ(volumes.first().rootPath, "/");
    QStringList roots;
    for (const DriveList::Volume& v : volumes) {
        EXPECT_FALSE(v.rootPath.startsWith("/proc")) << v.rootPath.toStdString();
        EXPECT_FALSE(v.rootPath.startsWith("/sys")) << v.rootPath.toStdString();
        EXPECT_FALSE(v.rootPath.startsWith("/run/")) << v.rootPath.toStdString();
        EXPECT_TRUE(QFileInfo(v.rootPath).isDir()) << v.rootPath.toStdString();
        EXPECT_FALSE(roots.contains(v.rootPath)) << "one entry per file system";
        roots << v.rootPath;
    }
}

TEST(DriveList, PseudoFileSystemRules) {
    struct Case {
        const char* type;
        const char* root;
        bool pseudo;
    };
    const Case cases[] = {
        {"proc", "/proc", true},
        {"sysfs", "/sys", true},
        {"tmpfs", "/run", true},
        {"tmpfs", "/run/user/1000", true},
        {"tmpfs", "/dev/shm", true},
        {"tmpfs", "/tmp", false},
        {"ext4", "/", false},
        {"vfat", "/media/usb", false},
        {"overlay", "/", false},
        {"cgroup2", "/sys/fs/cgroup", true},
        {"ext4", "/proc/driver/x", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DriveList::isPseudoFileSystem(c.type, c.root), c.pseudo)
            << c.type << " " << c.root;
    }
}

TEST(DriveList, SelectsTheLongestMountPointSilently) {
    DriveList list;
    list.setVolumes({{"/", ""}, {"/media", ""}, {"/media/usb", "STICK"}, {"/media/usb2", ""}});
    int changes = 0;
    QObject::connect(&list, &DriveList::driveChanged, [&] { ++changes; });
    list.selectDriveOf("/media/usb/Bilder/2023");
    EXPECT_EQ(list.Drive(), "/media/usb");
    list.selectDriveOf("/media/usb2");
    EXPECT_EQ(list.Drive(), "/media/usb2");
    list.selectDriveOf("/home/anna");
    EXPECT_EQ(list.Drive(), "/");
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(list.itemText(2), "/media/usb  [STICK]");
}

TEST(FolderList, ShowsTheChainThenTheSubfoldersSorted) {
    QTemporaryDir dir;
    const QString base = QDir(dir.path()).canonicalPath();
    for (const char* sub : {"b", "A", "c", ".versteckt"}) QDir(base).mkpath(sub);
    FolderList list;
    int changes = 0;
    QObject::connect(&list, &FolderList::pathChanged, [&] { ++changes; });
    ASSERT_TRUE(list.setPath(base).ok());
    ASSERT_TRUE(settled(list));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(list.Path(), base);

    const int depth = base.count('/') + 1;  // "/" plus one entry per level
    ASSERT_EQ(list.count(), depth + 3);
    EXPECT_EQ(list.item(0)->text().trimmed(), "/");
    EXPECT_EQ(list.currentRow(), depth - 1) << "the shown folder is the current entry";
    EXPECT_TRUE(list.item(depth)->text().endsWith("A"));
    EXPECT_TRUE(list.item(depth + 1)->text().endsWith("b"));
    EXPECT_TRUE(list.item(depth + 2)->text().endsWith("c"));

    // Opening an entry shows that folder; the same folder again raises nothing.
    emit list.itemActivated(list.item(depth + 1));
    ASSERT_TRUE(settled(list));
    EXPECT_EQ(list.Path(), base + "/b");
    EXPECT_EQ(changes, 2);
    ASSERT_TRUE(list.setPath(base + "/b").ok());
    EXPECT_EQ(changes, 2);

    // Opening an ancestor from the chain.
    emit list.itemActivated(list.item(depth - 1));
    EXPECT_EQ(list.Path(), base);
}

TEST(FolderList, RefusesWhatIsNotAReadableFolder) {
    QTemporaryDir dir;
    QFile file(dir.filePath("datei.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    FolderList list;
    ASSERT_TRUE(list.setPath(dir.path()).ok());
    ASSERT_TRUE(settled(list));
    const int entries = list.count();
    EXPECT_FALSE(list.setPath(dir.filePath("datei.txt")).ok());
    EXPECT_FALSE(list.setPath(dir.filePath("fehlt")).ok());
    EXPECT_EQ(list.Path(), QDir::cleanPath(dir.path()));
    EXPECT_EQ(list.count(), entries);
}

}  // namespace
}  // namespace miniskop
