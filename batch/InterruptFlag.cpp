// SIGINT handling with a lock-free atomic counter: the handler does nothing
// but count, or write one line break and _exit on the second signal.
#include "InterruptFlag.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace miniskop {

namespace {

std::atomic<int> interrupts{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void onInterrupt(int) {
    if (interrupts.fetch_add(1) >= 1) {
        // Second Ctrl-C: leave at once, ending a progress line first.
        const char newline = '\n';
        [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, &newline, 1);
        _exit(130);
    }
}

}  // namespace

void InterruptFlag::install() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
}

bool InterruptFlag::raised() { return interrupts.load() > 0; }

}  // namespace miniskop
