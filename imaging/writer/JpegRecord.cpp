// The record segment of a thumbnail JPEG. See JpegRecord.h.
#include "JpegRecord.h"

#include <zlib.h>

namespace miniskop {
namespace {

// What starts our comment, so a comment of another writer is never taken
// for a record.
constexpr char kSignature[] = "Miniskop record\n";
constexpr int kSignatureSize = sizeof kSignature - 1;
constexpr int kCrcDigits = 8;  // the checksum closes the comment: "crc32 " + 8 hex digits
constexpr int kMaxSegment = 0xFFFF - 2;

quint8 at(QByteArrayView bytes, qsizetype i) { return quint8(bytes[i]); }

quint16 big16(QByteArrayView bytes, qsizetype i) {
    return quint16(at(bytes, i) << 8 | at(bytes, i + 1));
}

// Where the record's comment segment starts (its marker) in a JPEG's first
// bytes: right after SOI, or after the JFIF header. -1 when no comment
// segment stands there.
qsizetype recordCommentAt(QByteArrayView bytes) {
    const auto byte = [&](qsizetype i) { return i < bytes.size() ? at(bytes, i) : 0; };
    if (byte(0) != 0xFF || byte(1) != 0xD8) return -1;
    qsizetype i = 2;
    if (byte(i) == 0xFF && byte(i + 1) == 0xE0) i += 2 + (byte(i + 2) << 8 | byte(i + 3));
    if (i + 4 > bytes.size() || byte(i) != 0xFF || byte(i + 1) != 0xFE) return -1;
    return i;
}

QByteArray crcText(const QByteArray& bytes, qsizetype from) {
    uLong crc = crc32(0L, Z_NULL, 0);
    const auto* data = reinterpret_cast<const Bytef*>(bytes.constData()) + from;
    for (qsizetype left = bytes.size() - from; left > 0;) {
        const uInt chunk = uInt(std::min<qsizetype>(left, 1 << 30));
        crc = crc32(crc, data, chunk);
        data += chunk;
        left -= chunk;
    }
    return QByteArray::number(qulonglong(crc), 16).rightJustified(kCrcDigits, '0');
}

// The frame size from the first SOF marker at or after `from`.
QSize frameSize(const QByteArray& jpeg, qsizetype from) {
    qsizetype i = from;
    while (i + 9 < jpeg.size() && at(jpeg, i) == 0xFF) {
        const quint8 marker = at(jpeg, i + 1);
        const bool sof =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (sof) return QSize(big16(jpeg, i + 7), big16(jpeg, i + 5));
        if (marker == 0xDA) break;  // the scan: no frame header before it
        i += 2 + big16(jpeg, i + 2);
    }
    return {};
}

}  // namespace

QByteArray withJpegRecord(const QByteArray& jpeg, const QByteArray& record) {
    if (jpeg.size() < 4 || at(jpeg, 0) != 0xFF || at(jpeg, 1) != 0xD8) return jpeg;
    const qsizetype payload = kSignatureSize + record.size() + 6 + kCrcDigits;
    if (payload > kMaxSegment) return jpeg;
    // After the JFIF header when there is one: readers expect it first.
    qsizetype insertAt = 2;
    if (at(jpeg, 2) == 0xFF && at(jpeg, 3) == 0xE0 && jpeg.size() >= 6)
        insertAt = std::min(jpeg.size(), 4 + qsizetype(big16(jpeg, 4)));
    const QByteArray after = jpeg.mid(insertAt);

    QByteArray segment("\xFF\xFE", 2);
    segment.append(char((payload + 2) >> 8)).append(char((payload + 2) & 0xFF));
    segment += kSignature;
    segment += record;
    segment += "crc32 ";
    segment += crcText(after, 0);
    return jpeg.left(insertAt) + segment + after;
}

std::optional<JpegRecord> readJpegRecord(const QByteArray& jpeg) {
    if (jpeg.size() < 6 || at(jpeg, 0) != 0xFF || at(jpeg, 1) != 0xD8) return std::nullopt;
    if (at(jpeg, jpeg.size() - 2) != 0xFF || at(jpeg, jpeg.size() - 1) != 0xD9) return std::nullopt;
    const qsizetype i = recordCommentAt(jpeg);
    if (i < 0) return std::nullopt;
    const qsizetype length = big16(jpeg, i + 2);
    const qsizetype end = i + 2 + length;
    if (length < 2 + kSignatureSize + 6 + kCrcDigits || end > jpeg.size()) return std::nullopt;
    const QByteArray payload = jpeg.mid(i + 4, length - 2);
    if (!payload.startsWith(kSignature)) return std::nullopt;
    const QByteArray crcLine = payload.right(6 + kCrcDigits);
    if (!crcLine.startsWith("crc32 ") || crcLine.mid(6) != crcText(jpeg, end)) return std::nullopt;
    JpegRecord found;
    found.record = payload.mid(kSignatureSize, payload.size() - kSignatureSize - 6 - kCrcDigits);
    found.size = frameSize(jpeg, end);
    if (!found.size.isValid() || found.size.isEmpty()) return std::nullopt;
    return found;
}

QByteArrayView jpegRecordStart(QByteArrayView head) {
    const qsizetype i = recordCommentAt(head);
    if (i < 0) return {};
    const QByteArrayView payload = head.sliced(i + 4);
    if (!payload.startsWith(kSignature)) return {};
    return payload.sliced(kSignatureSize);
}

}  // namespace miniskop
