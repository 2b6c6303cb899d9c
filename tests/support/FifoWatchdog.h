// For tests of code that must never wait on a FIFO named like a picture: a
// reader blocked on a FIFO without a writer would wait for ever, and the test
// would hang instead of failing.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QString>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace miniskop {

// Runs `work` while a watchdog looks out for a reader stuck on the FIFO at
// `fifo` (which may appear only while `work` runs): once `work` has had ample
// time, the watchdog opens the FIFO's writing end, which succeeds only while
// someone holds it open for reading and releases a blocked reader, and records
// that it had to. Returns true when nobody was found waiting.
inline bool ranWithoutWaitingOn(const QString& fifo, const std::function<void()>& work) {
    const QByteArray name = QFile::encodeName(fifo);
    std::atomic<bool> done{false}, rescued{false};
    std::thread watchdog([&] {
        for (int tick = 0; !done; ++tick) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            struct stat st {};
            if (tick < 300 || ::stat(name.constData(), &st) != 0 || !S_ISFIFO(st.st_mode)) continue;
            const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                rescued = true;
                ::close(fd);
            }
        }
    });
    work();
    done = true;
    watchdog.join();
    return !rescued;
}

}  // namespace miniskop
