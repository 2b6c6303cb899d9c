// A file as the file system knows it: its device and inode, whatever path,
// link or spelling reached it. Two paths name the same file exactly when
// their identities are equal.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <QString>
#include <cstddef>
#include <optional>

namespace miniskop {

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;

    static FileIdentity of(const struct stat& st) { return {st.st_dev, st.st_ino}; }
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

size_t qHash(const FileIdentity& id, size_t seed = 0) noexcept;

// The file `path` names, links followed; none when nothing is there.
std::optional<FileIdentity> identityOf(const QString& path);

}  // namespace miniskop
