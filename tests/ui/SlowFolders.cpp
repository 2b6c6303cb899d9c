// The slow folders' stand-ins for the C library's directory reading. They
// keep the streams opened for a slowed folder in a set; reading from one
// sleeps (outside the lock), is counted when it happens on the watched
// thread, and then reads as the C library does.
#include "SlowFolders.h"

#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <QFile>
#include <atomic>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace {

std::mutex& guard() {
    static std::mutex mutex;
    return mutex;
}
std::string& slowPrefix() {
    static std::string prefix;
    return prefix;
}
std::set<DIR*>& slowStreams() {
    static std::set<DIR*> streams;
    return streams;
}
std::atomic<int> pauseMicroseconds{0};
std::thread::id watchedThread;  // guarded by guard()
std::atomic<int> watchedSteps{0};

template <class F>
F next(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

void pauseIfSlow(DIR* dir) {
    int pause = 0;
    {
        std::lock_guard<std::mutex> lock(guard());
        if (slowStreams().count(dir) != 0) {
            pause = pauseMicroseconds.load();
            if (std::this_thread::get_id() == watchedThread) ++watchedSteps;
        }
    }
    if (pause > 0) ::usleep(static_cast<useconds_t>(pause));
}

}  // namespace

extern "C" {

DIR* opendir(const char* name) {
    static const auto real = next<DIR* (*)(const char*)>("opendir");
    DIR* dir = real(name);
    if (dir != nullptr) {
        std::lock_guard<std::mutex> lock(guard());
        const std::string& prefix = slowPrefix();
        if (!prefix.empty() && std::strncmp(name, prefix.c_str(), prefix.size()) == 0) {
            slowStreams().insert(dir);
        }
    }
    return dir;
}

struct dirent* readdir(DIR* dir) {
    static const auto real = next<struct dirent* (*)(DIR*)>("readdir");
    pauseIfSlow(dir);
    return real(dir);
}

struct dirent64* readdir64(DIR* dir) {
    static const auto real = next<struct dirent64* (*)(DIR*)>("readdir64");
    pauseIfSlow(dir);
    return real(dir);
}

int closedir(DIR* dir) {
    static const auto real = next<int (*)(DIR*)>("closedir");
    {
        std::lock_guard<std::mutex> lock(guard());
        slowStreams().erase(dir);
    }
    return real(dir);
}

}  // extern "C"

namespace miniskop::testing {

void slowDownFolders(const QString& prefix, int microseconds) {
    std::lock_guard<std::mutex> lock(guard());
    slowPrefix() = QFile::encodeName(prefix).toStdString();
    pauseMicroseconds.store(prefix.isEmpty() ? 0 : microseconds);
    watchedThread = std::this_thread::get_id();
    watchedSteps = 0;
}

int slowStepsOnCallingThread() { return watchedSteps.load(); }

}  // namespace miniskop::testing
