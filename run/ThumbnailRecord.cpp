// The record inside a thumbnail. See ThumbnailRecord.h.
#include "ThumbnailRecord.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "FileNameBytes.h"
#include "FileNames.h"
#include "PictureWork.h"
#include "RegularFileRead.h"

#ifndef MINISKOP_VERSION
#define MINISKOP_VERSION "unknown"
#endif

namespace miniskop {
namespace {

// Thumbnails are small; a file far beyond any thumbnail is not read at all.
constexpr qint64 kLargestThumbnail = qint64(64) << 20;

}  // namespace

PictureState pictureStateOf(const QString& path) {
    struct stat st {};
    if (::stat(nameToBytes(path).constData(), &st) != 0) return {};
    return {qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

QByteArray thumbnailRecord(const PictureKey& key) {
    QByteArray record;
    record += "program " MINISKOP_VERSION "\n";
    record += "picture " + nameToBytes(Dateiname_mit_Extension(key.path)) + '\n';
    record += "bytes " + QByteArray::number(key.picture.bytes) + '\n';
    record += "modified " + QByteArray::number(key.picture.modifiedNs) + '\n';
    record += "bound " + QByteArray::number(double(key.sizeBound), 'g', 9) + '\n';
    record += "enlarge " + QByteArray(key.enlarge ? "1" : "0") + '\n';
    record += "quality " + QByteArray::number(key.quality) + '\n';
    return record;
}

QByteArray withThumbnailRecord(const QByteArray& jpeg, const PictureKey& key) {
    return withJpegRecord(jpeg, thumbnailRecord(key));
}

std::optional<QSize> currentThumbnail(const QString& jpegPath, const PictureKey& key) {
    if (key.picture.bytes < 0) return std::nullopt;
    const std::optional<JpegRecord> found = ourThumbnailRecord(jpegPath);
    if (!found || found->record != thumbnailRecord(key)) return std::nullopt;
    return found->size;
}

std::optional<JpegRecord> ourThumbnailRecord(const QString& path) {
    // Whatever stands at the path (a FIFO, a link to a device, a huge file)
    // is never waited for and never read beyond a thumbnail's size.
    const std::optional<QByteArray> bytes =
        readRegularFile(AT_FDCWD, path, kLargestThumbnail, ReadPart::Whole);
    if (!bytes) return std::nullopt;
    std::optional<JpegRecord> found = readJpegRecord(*bytes);
    if (!found || !found->record.startsWith("program ")) return std::nullopt;
    return found;
}

bool startsAsOurThumbnail(QByteArrayView head) {
    // Every record of a thumbnail starts with its first word.
    return jpegRecordStart(head).startsWith("program ");
}

}  // namespace miniskop
