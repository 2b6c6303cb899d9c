// Times runs from the desktop program's window over one folder: the first
// and a second one over the unchanged folder, each from the click on
// "Thumbnails erzeugen" to the written page being handed to the overview
// window, and counts the thumbnails the second run touched (a thumbnail
// written anew has a new inode or modification time).
// Usage: window-rerun-bench FOLDER [PATTERN]   (QT_QPA_PLATFORM=offscreen)
#include <sys/stat.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <cstdio>
#include <map>
#include <utility>

#include "FileListBox.h"
#include "FolderList.h"
#include "IconButton.h"
#include "frmAnzeiger.h"

namespace {

using Stamp = std::pair<ino_t, long long>;

// Inode and modification time (ns) of every file in `folder`.
std::map<QString, Stamp> stamps(const QString& folder) {
    std::map<QString, Stamp> found;
    for (const QString& name : QDir(folder).entryList(QDir::Files)) {
        struct stat st {};
        const QByteArray path = QFile::encodeName(folder + QLatin1Char('/') + name);
        if (::stat(path.constData(), &st) != 0) continue;
        found[name] = {st.st_ino, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
    }
    return found;
}

void settle(miniskop::frmAnzeiger& w) {
    while (w.File1->isListing() || w.Dir1->isListing()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: window-rerun-bench FOLDER [PATTERN]\n");
        return 2;
    }
    const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const QString pattern = argc > 2 ? QString::fromLocal8Bit(argv[2]) : "*.jpg;*.png";

    // The settings are the defaults: the program and settings folders are
    // empty ones of the benchmark's own.
    QTemporaryDir own;
    QElapsedTimer clock;
    qint64 pageAt = -1;
    miniskop::frmAnzeiger::Environment env;
    env.programDir = own.filePath("program");
    env.userConfigDir = own.filePath("config");
    QDir().mkpath(env.programDir);
    env.startFolder = folder;
    env.reopenOverview = [&](const QString&) { pageAt = clock.nsecsElapsed(); };
    env.showOverview = [](const QString&) {};
    env.openDefaultBrowser = [](const QString&) {};
    env.endProgram = [](bool) {};
    miniskop::frmAnzeiger window(env);
    window.show();
    settle(window);
    window.Text1->setText(pattern);
    settle(window);
    const int pictures = window.File1->ListCount();

    const QString thumbnails = folder + "/Thumbnails";
    std::map<QString, Stamp> before;
    double seconds[2] = {0, 0};
    for (int round = 0; round < 2; ++round) {
        if (round == 1) before = stamps(thumbnails);
        pageAt = -1;
        clock.start();
        window.Command1->click();  // returns when the run has ended
        if (pageAt < 0) {
            std::fprintf(stderr, "window-rerun-bench: no page was written\n");
            return 1;
        }
        seconds[round] = pageAt / 1e9;
    }
    const std::map<QString, Stamp> after = stamps(thumbnails);
    int touched = 0;
    for (const auto& [name, stamp] : after) {
        if (name.endsWith(".jpg") && (!before.count(name) || before.at(name) != stamp)) ++touched;
    }
    // pictures, first run (s), second run (s), second/first, thumbnails touched
    std::printf("%d %.3f %.3f %.3f %d\n", pictures, seconds[0], seconds[1], seconds[1] / seconds[0],
                touched);
    return 0;
}
