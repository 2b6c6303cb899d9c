// Times the file list of one folder: listFolder (read, filter, sort by name) as
// the window and the batch tool use it, best of a few runs.
// Usage: list-bench FOLDER PATTERN [RUNS]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

#include "FileList.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: list-bench FOLDER PATTERN [RUNS]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString pattern = QString::fromLocal8Bit(argv[2]);
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    qint64 best = -1;
    qsizetype count = 0;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer timer;
        timer.start();
        const miniskop::Expected<QStringList> listed = miniskop::listFolder(folder, pattern);
        const qint64 ns = timer.nsecsElapsed();
        if (!listed) {
            std::fprintf(stderr, "list-bench: %s\n", qPrintable(listed.error().message));
            return 1;
        }
        count = listed->size();
        if (best < 0 || ns < best) best = ns;
    }
    std::printf("%lld %.1f\n", static_cast<long long>(count), best / 1e6);
    return 0;
}
