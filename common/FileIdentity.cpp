// Device and inode of a file. See FileIdentity.h.
#include "FileIdentity.h"

#include <QHashFunctions>

#include "FileNameBytes.h"

namespace miniskop {

size_t qHash(const FileIdentity& id, size_t seed) noexcept {
    return ::qHash(quint64(id.inode), ::qHash(quint64(id.device), seed));
}

std::optional<FileIdentity> identityOf(const QString& path) {
    struct stat st {};
    if (::stat(nameToBytes(path).constData(), &st) != 0) return std::nullopt;
    return FileIdentity::of(st);
}

}  // namespace miniskop
