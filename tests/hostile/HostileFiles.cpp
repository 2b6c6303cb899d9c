// Hostile picture files, built byte by byte.
#include "HostileFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QtEndian>
#include <iterator>
#include <random>

namespace miniskop::hostile {
namespace {

quint32 crc32(const QByteArray& bytes) {
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void appendBig32(QByteArray& out, quint32 v) {
    char b[4];
    qToBigEndian(v, b);
    out.append(b, 4);
}

void appendLittle16(QByteArray& out, quint16 v) {
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

void appendLittle32(QByteArray& out, quint32 v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

void appendPngChunk(QByteArray& out, const char* type, const QByteArray& data) {
    appendBig32(out, quint32(data.size()));
    const QByteArray typed = QByteArray(type) + data;
    out += typed;
    appendBig32(out, crc32(typed));
}

}  // namespace

QByteArray randomBytes(int size, quint32 seed) {
    std::mt19937 generator(seed);
    QByteArray out(size, Qt::Uninitialized);
    for (char& c : out) c = char(generator() & 0xFF);
    return out;
}

QByteArray pngClaiming(quint32 width, quint32 height, char colourType) {
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    QByteArray header;
    appendBig32(header, width);
    appendBig32(header, height);
    header += '\x08';  // 8 bit
    header += colourType;
    header += QByteArray("\x00\x00\x00", 3);
    appendPngChunk(png, "IHDR", header);
    appendPngChunk(png, "IDAT", QByteArray("\x78\x9c\x63\x60\x00\x00\x00\x02\x00\x01", 10));
    appendPngChunk(png, "IEND", QByteArray());
    return png;
}

QByteArray jpegClaiming(const QByteArray& jpeg, quint16 width, quint16 height) {
    QByteArray out = jpeg;
    for (qsizetype i = 2; i + 9 < out.size(); ++i) {
        const quint8 marker = quint8(out[i + 1]);
        if (quint8(out[i]) == 0xFF && (marker == 0xC0 || marker == 0xC1 || marker == 0xC2)) {
            qToBigEndian(height, out.data() + i + 5);
            qToBigEndian(width, out.data() + i + 7);
            return out;
        }
    }
    return out;
}

QByteArray tiffClaiming(quint32 width, quint32 height) {
    QByteArray tiff("II*\0", 4);
    appendLittle32(tiff, 8 + 16);  // the directory, after 16 bytes of pixels
    tiff += QByteArray(16, '\x80');
    struct Entry {
        quint16 tag, type;
        quint32 value;
    };
    const Entry entries[] = {
        {256, 4, width}, {257, 4, height}, {258, 3, 8},      {259, 3, 1},  {262, 3, 1},
        {273, 4, 8},     {277, 3, 1},      {278, 4, height}, {279, 4, 16},
    };
    appendLittle16(tiff, quint16(std::size(entries)));
    for (const Entry& e : entries) {
        appendLittle16(tiff, e.tag);
        appendLittle16(tiff, e.type);
        appendLittle32(tiff, 1);
        appendLittle32(tiff, e.value);  // a short value sits in the low half
    }
    appendLittle32(tiff, 0);
    return tiff;
}

QByteArray heifClaiming(const QByteArray& heif, quint32 width, quint32 height) {
    QByteArray out = heif;
    // ispe: box size, "ispe", version and flags, then width and height.
    for (qsizetype at = out.indexOf("ispe"); at >= 0 && at + 16 <= out.size();
         at = out.indexOf("ispe", at + 4)) {
        qToBigEndian(width, out.data() + at + 8);
        qToBigEndian(height, out.data() + at + 12);
    }
    return out;
}

QByteArray gifWithScreen(quint16 width, quint16 height) {
    QByteArray gif("GIF89a");
    appendLittle16(gif, width);
    appendLittle16(gif, height);
    gif += QByteArray("\x80\x00\x00", 3);                               // global table of 2 colours
    gif += QByteArray("\xff\x00\x00\x00\x00\xff", 6);                   // red, blue
    gif += QByteArray("\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00", 10);  // 1 x 1 at 0,0
    gif += QByteArray("\x02\x02\x44\x01\x00", 5);                       // LZW data
    gif += ';';
    return gif;
}

QByteArray metafileWithRecordSize(quint32 recordWords) {
    QByteArray wmf;
    // Placeable header: key, handle, bounding box 0,0..400,300, 96 units an inch.
    appendLittle32(wmf, 0x9AC6CDD7u);
    appendLittle16(wmf, 0);
    for (quint16 v : {quint16(0), quint16(0), quint16(400), quint16(300), quint16(96)}) {
        appendLittle16(wmf, v);
    }
    appendLittle32(wmf, 0);
    quint16 checksum = 0;
    for (int i = 0; i < 20; i += 2) checksum ^= qFromLittleEndian<quint16>(wmf.constData() + i);
    appendLittle16(wmf, checksum);
    // Metafile header: on disk, 9 words, version 0x300, size, 1 object, max record.
    appendLittle16(wmf, 1);
    appendLittle16(wmf, 9);
    appendLittle16(wmf, 0x0300);
    appendLittle32(wmf, 9 + 5 + 3 + 3);
    appendLittle16(wmf, 1);
    appendLittle32(wmf, recordWords);
    appendLittle16(wmf, 0);
    // SetWindowExt (5 words), then the hostile record, then the end record.
    appendLittle32(wmf, 5);
    appendLittle16(wmf, 0x020C);
    appendLittle16(wmf, 300);
    appendLittle16(wmf, 400);
    appendLittle32(wmf, recordWords);
    appendLittle16(wmf, 0x041B);  // Rectangle
    appendLittle32(wmf, 3);
    appendLittle16(wmf, 0);
    return wmf;
}

bool writeRawName(const QString& folder, const QByteArray& nameBytes, const QByteArray& bytes) {
    const QByteArray path = QFile::encodeName(folder) + '/' + nameBytes;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    const bool ok = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && ok;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace miniskop::hostile
