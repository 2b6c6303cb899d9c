// The one way every decoder reads a picture file. The name is opened once,
// without ever waiting: only a regular file is taken (a FIFO, a device or a
// folder named like a picture is refused before and after opening). From
// then on the decoders read that very file through its descriptor, at given
// offsets and without moving the descriptor's own offset, so a name swapped
// for something else after the check cannot make them wait or read another
// file. Libraries that insist on a file name get one that leads to the same
// open file where the system offers it (/proc/self/fd).
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <optional>

#include "Expected.h"

namespace miniskop {

class PictureFile {
public:
    // Opens `path` for reading; fails with "cannot open: " and the reason.
    // The path goes to the system as the bytes FileNameBytes gives it, so a
    // name that is not UTF-8 opens the very file it names.
    static Expected<PictureFile> open(const QString& path);

    PictureFile(PictureFile&& other) noexcept;
    PictureFile& operator=(PictureFile&& other) noexcept;
    PictureFile(const PictureFile&) = delete;
    PictureFile& operator=(const PictureFile&) = delete;
    ~PictureFile();

    // The name the file was opened by, as the user knows it.
    const QString& path() const { return path_; }
    int descriptor() const { return fd_; }

    // The file's size now, in bytes; -1 when the system cannot tell.
    qint64 size() const;

    // Reads up to `length` bytes at `offset` into `out`, again after a
    // signal, until the end of the file; returns how many were read.
    qsizetype readAt(qint64 offset, void* out, qsizetype length) const;

    // The first `length` bytes of the file (fewer when it is shorter).
    QByteArray head(qsizetype length) const;

    // The whole file, when it holds at most `limit` bytes; std::nullopt when
    // it holds more or its size is unknown. A file that shrinks meanwhile
    // reads short.
    std::optional<QByteArray> readAll(qint64 limit) const;

    // The name to hand to a library that opens files by name: one leading to
    // this open file, or else the path itself, checked once more to be a
    // regular file.
    Expected<QString> nameForLibraries() const;

    // `failure` with that name replaced by the path, so that a library's
    // message names the file as the user knows it.
    Failure named(Failure failure) const;

private:
    PictureFile(QString path, int fd);
    QString path_;
    QString readPath_;  // what nameForLibraries() hands out
    int fd_ = -1;
};

}  // namespace miniskop
