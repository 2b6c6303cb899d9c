// Device and inode of a file. See FileIdentity.h.
#include "FileIdentity.h"

#include <QFile>
#include <QHashFunctions>

namespace miniskop {

size_t qHash(const FileIdentity& id, size_t seed) noexcept {
    return ::qHash(quint64(id.inode), ::qHash(quint64(id.device), seed));
}

std::optional<FileIdentity> identityOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return std::nullopt;
    return FileIdentity::of(st);
}

}  // namespace miniskop
