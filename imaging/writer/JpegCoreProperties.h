// The encoder's parameter record and its init/write/free calls, a thin layer of
// our own over libjpeg-turbo. The caller zero-fills a record, lets jpegInit set
// it up, sets the DIB and JPG fields, and calls jpegWrite.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>
#include <cstdint>

#include "Expected.h"

namespace miniskop {

enum JpegColor : qint32 { JC_UNKNOWN = 0, JC_GRAY = 1, JC_RGB = 2, JC_BGR = 3, JC_YCBCR = 4 };
enum JpegSubsampling : qint32 { JS_NONE = 0, JS_422 = 1, JS_411 = 2 };  // JS_411: 2x2 (4:2:0)
enum JpegResult : qint32 {
    JR_OK = 0,
    JR_INVALID_RECORD = -1,
    JR_BAD_SOURCE = -2,
    JR_ENCODE_FAILED = -3,
    JR_FILE_FAILED = -4
};
enum JpegIoMode : qint32 { JFILE_WRITEWHOLEIMAGE = 8 };

struct JPEG_CORE_PROPERTIES {
    // Source pixels.
    qint32 DIBWidth;
    qint32 DIBHeight;  // negative: rows in memory are bottom-up
    const uint8_t* DIBBytes;
    qint32 DIBPadBytes;  // bytes after the last pixel of each row
    qint32 DIBChannels;  // set by jpegInit: 3
    qint32 DIBColor;     // set by jpegInit: JC_BGR
    // Output.
    const char* JPGFile;  // file name in the system's 8-bit encoding, NUL-terminated
    qint32 JPGWidth;
    qint32 JPGHeight;
    qint32 JPGChannels;     // set by jpegInit: 3
    qint32 JPGColor;        // set by jpegInit: JC_YCBCR
    qint32 JPGSubSampling;  // set by jpegInit: JS_NONE (full-resolution colour)
    qint32 jquality;        // 1..100, set by jpegInit to 75
    // Encoder state owned between jpegInit and jpegFree.
    void* state;
};

qint32 jpegInit(JPEG_CORE_PROPERTIES* record);
// Encodes the whole source image and writes it to JPGFile, whole or not at all:
// jpegEncode followed by jpegWriteEncoded.
qint32 jpegWrite(JPEG_CORE_PROPERTIES* record, qint32 mode);
qint32 jpegFree(JPEG_CORE_PROPERTIES* record);

// Encodes the whole source image into `out` (JPGFile is not looked at): the
// bytes jpegWrite writes.
qint32 jpegEncode(const JPEG_CORE_PROPERTIES* record, QByteArray* out);
// Writes encoded bytes to `path`, whole or not at all (the file writing of
// jpegWrite); a failure names the path and the system's reason.
Status jpegWriteEncoded(const QString& path, QByteArrayView bytes);

}  // namespace miniskop
