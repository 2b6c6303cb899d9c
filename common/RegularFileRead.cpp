// Reading a regular file without following or waiting. See RegularFileRead.h.
#include "RegularFileRead.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "FileNameBytes.h"

namespace miniskop {

std::optional<QByteArray> readRegularFile(int folderFd, const QString& name, qint64 limit,
                                          ReadPart part) {
    const QByteArray bytes = nameToBytes(name);
    int fd = -1;
    do {
        fd = ::openat(folderFd, bytes.constData(),
                      O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        (part == ReadPart::Whole && st.st_size > limit)) {
        ::close(fd);
        return std::nullopt;
    }
    QByteArray content(qsizetype(std::min<qint64>(st.st_size, limit)), Qt::Uninitialized);
    qsizetype got = 0;
    while (got < content.size()) {
        const ssize_t n = ::pread(fd, content.data() + got, size_t(content.size() - got), got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += n;
    }
    ::close(fd);
    content.truncate(got);
    return content;
}

}  // namespace miniskop
