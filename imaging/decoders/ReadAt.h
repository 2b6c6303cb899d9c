// Reading a file through its descriptor at a given offset, without moving the
// descriptor's own offset, so several readers can share one open file.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <QtGlobal>
#include <cerrno>

namespace miniskop {

// Reads up to `size` bytes at `offset` into `out`, again after a signal,
// until the end of the file; returns how many were read.
inline qsizetype readAt(int fd, void* out, qsizetype size, qint64 offset) {
    qsizetype got = 0;
    while (got < size) {
        const ssize_t n =
            ::pread(fd, static_cast<char*>(out) + got, size_t(size - got), off_t(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += n;
    }
    return got;
}

}  // namespace miniskop
