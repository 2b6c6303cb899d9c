// The pixel rows of a device-independent bitmap (the body of a BMP file and
// of a bitmap icon), handed out top to bottom as blue, green, red, alpha
// whichever way the file stores them, so they can go straight into the area
// scaler. Rows are read a band at a time through reads at an offset: a
// bottom-up file is read from its end, and a large picture is never held
// whole. Run-length coded pictures (RLE4, RLE8, OS/2 RLE24) are first walked
// once to note where each band of rows starts in the code stream, then
// decoded band by band in picture order. Pixels the file leaves out (runs
// skipped by a delta or an early end of line or of the picture, indices
// beyond the palette) are opaque black, as Windows draws them; pixels of
// runs that overrun their row are dropped. Data that ends before the
// picture does is a failure ("file ends early"), never a picture with holes.
#pragma once

#include <QImage>
#include <QSize>
#include <QtGlobal>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "AreaScaler.h"
#include "Expected.h"

namespace miniskop {

class PictureFile;

// How the pixel data of a DIB is laid out, as its header says.
struct DibLayout {
    enum class Coding { Plain, Rle8, Rle4, Rle24 };
    int width = 0;
    int height = 0;
    bool topDown = false;  // the first stored row is the top one
    int bits = 0;          // 1, 2, 4, 8, 16, 24 or 32 a pixel
    Coding coding = Coding::Plain;
    // Up to 8 bits a pixel: the colours as 0xAARRGGBB (alpha 0xFF); entries
    // the file does not give are opaque black.
    std::array<quint32, 256> palette{};
    // 16 and 32 bits a pixel: where each channel's bits lie (contiguous; 0
    // for a channel the pixels do not carry).
    uint32_t redMask = 0, greenMask = 0, blueMask = 0, alphaMask = 0;
    qint64 dataOffset = 0;  // file offset of the first stored row or code

    // Bytes of one stored row of plain data, padded to four.
    qint64 stride() const { return (qint64(width) * bits + 31) / 32 * 4; }
    bool hasAlpha() const { return alphaMask != 0; }
};

// The rows of one DIB of `file`, top row first.
class DibRows {
public:
    // Checks that the file holds the plain rows, or walks the run-length
    // codes; fails with a reason when data is missing.
    static Expected<DibRows> open(const PictureFile& file, const DibLayout& layout);

    DibRows(DibRows&&) noexcept;
    DibRows& operator=(DibRows&&) noexcept;
    ~DibRows();

    // The next row: width pixels of blue, green, red, alpha (0xFF where the
    // pixels carry no alpha). Valid until the next call.
    Expected<uchar*> next();

    // The most bytes a reader of `layout` holds at once.
    static qint64 bytesHeld(const DibLayout& layout);

private:
    struct State;
    explicit DibRows(std::unique_ptr<State> state);
    std::unique_ptr<State> d_;
};

// Rows of blue, green, red, alpha into the area scaler, laid on white. As
// browsers and Windows do, an alpha channel counts only once some pixel's
// alpha is not 0 (a picture whose alpha is 0 throughout was written by a
// program that left it empty). Until then each row goes through `fallback`,
// which may give it alpha of its own (an icon's mask) and returns whether
// it did; otherwise its alpha is not looked at. When the first pixel with
// alpha shows, the rows before it were wholly transparent, and are put in
// again as white.
class DibScaler {
public:
    DibScaler(QSize source, QSize target, bool alphaCounts);

    template <class Fallback>
    void push(uchar* bgra, Fallback fallback) {
        if (alphaCounts_ && !alphaSeen_ && someAlpha(bgra)) startOverWithAlpha();
        const bool transparent = alphaSeen_ || fallback(bgra);
        pushRow(bgra, transparent);
    }
    // True once the alpha channel counts.
    bool alphaSeen() const { return alphaSeen_; }
    int rowsMissing() const { return scaler_->rowsMissing(); }
    QImage takeResult() { return scaler_->takeResult(); }

private:
    bool someAlpha(const uchar* bgra) const;
    void startOverWithAlpha();
    void pushRow(uchar* bgra, bool transparent);

    QSize source_, target_;
    bool alphaCounts_;
    bool alphaSeen_ = false;
    std::optional<AreaScaler> scaler_;
};

}  // namespace miniskop
