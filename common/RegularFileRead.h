// Reading a file the program may have written, to decide what it is (one of
// our thumbnails, one of our pages) before it is kept or replaced. Whatever
// stands at the name, the reading never waits and never reads much: a link at
// the last component is not followed, only a regular file is read (a FIFO or
// a device is refused without opening it for long), and at most a given
// number of bytes is read.
#pragma once

#include <fcntl.h>

#include <QByteArray>
#include <QString>
#include <optional>

namespace miniskop {

enum class ReadPart {
    Whole,  // the whole file, when it holds at most the limit (none when larger)
    Head,   // its first bytes, up to the limit
};

// The bytes of the regular file `name` in the folder open at `folderFd`
// (AT_FDCWD: `name` is a path); none when there is no such regular file.
std::optional<QByteArray> readRegularFile(int folderFd, const QString& name, qint64 limit,
                                          ReadPart part);

}  // namespace miniskop
