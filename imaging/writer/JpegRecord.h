// A record kept inside a thumbnail JPEG: one comment segment right after the
// JFIF header, holding a text of the writer's choosing and a checksum of
// every byte that follows it. Reading it back tells what the file was made
// from and whether the file is still whole: a thumbnail cut short or damaged
// (a power cut before the data reached the disk) no longer matches.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QSize>
#include <optional>

namespace miniskop {

// `jpeg` (a complete JPEG: SOI first, EOI last) with the record inserted.
// Returns `jpeg` unchanged when it does not start with SOI or the record is
// too long for a segment.
QByteArray withJpegRecord(const QByteArray& jpeg, const QByteArray& record);

struct JpegRecord {
    QByteArray record;
    QSize size;  // the picture's size from its frame header
};

// The record of a JPEG made by withJpegRecord, when the bytes after it are
// exactly those it was written with and the file ends with EOI; none else.
std::optional<JpegRecord> readJpegRecord(const QByteArray& jpeg);

// The record's text as far as `head`, a file's first bytes, holds it, when
// the file starts as withJpegRecord writes one; empty otherwise. Nothing
// beyond the head is checked: it tells a file's maker, not that it is whole.
QByteArrayView jpegRecordStart(QByteArrayView head);

}  // namespace miniskop
