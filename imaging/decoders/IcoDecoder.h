// Windows icons and cursors (ICO, CUR), read by our own decoder. Of the
// entries the directory lists, the largest is taken, and of equally large
// ones the deepest (the first where they tie), by what each entry's own
// header says: directories often give 0 or nonsense for the depth. A
// bitmap entry is a DIB without file header whose height counts its mask
// too (DibRows.h reads it); its AND mask makes pixels transparent, unless
// it has 32 bits a pixel and some alpha, which then counts instead. A PNG
// entry is decoded by libspng. Transparent pixels are laid on white.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include "DibRows.h"
#include "Expected.h"

namespace miniskop {

class PictureFile;

// True when `head` (the file's first bytes) starts an icon or cursor
// directory of at least one entry.
bool looksLikeIco(const QByteArray& head);

struct IcoInfo {
    QSize displayed;  // the chosen entry's size
    qint64 offset = 0;
    qint64 size = 0;   // bytes the directory gives the entry
    bool png = false;  // a PNG entry; else a bitmap one, described by:
    DibLayout layout;  // its colours (height without the mask)
    qint64 maskOffset = 0;
    qint64 bytesHeld = 0;  // what decoding holds, apart from the result
};

// Reads the directory and chooses the entry.
Expected<IcoInfo> readIcoInfo(const PictureFile& file);

// The chosen entry scaled to exactly `target`, Format_RGB32.
Expected<QImage> decodeIcoScaled(const PictureFile& file, const IcoInfo& info, QSize target);

}  // namespace miniskop
