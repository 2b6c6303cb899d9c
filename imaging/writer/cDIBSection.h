// cDIBSection: the program's pixel buffer, a 24-bit device-independent bitmap.
// Three bytes per pixel in blue, green, red order; rows stored bottom-up, each
// padded to a multiple of 4 bytes. Pictures are copied in and out by block
// transfers; the pixel memory is addressed directly.
#pragma once

#include <QImage>
#include <QtGlobal>
#include <cstdint>
#include <functional>
#include <memory>

namespace miniskop {

// The 40-byte bitmap header as the buffer fills it.
struct BITMAPINFOHEADER {
    quint32 biSize = 0;
    qint32 biWidth = 0;
    qint32 biHeight = 0;
    quint16 biPlanes = 0;
    quint16 biBitCount = 0;
    quint32 biCompression = 0;
    quint32 biSizeImage = 0;
    qint32 biXPelsPerMeter = 0;
    qint32 biYPelsPerMeter = 0;
    quint32 biClrUsed = 0;
    quint32 biClrImportant = 0;
};

// Raster operation of the block transfers; only the plain copy is offered.
enum RasterOp : quint32 { SRCCOPY = 0x00CC0020 };

// A drawing surface that block transfers read from or write to: here simply an
// image (the buffer's own memory context is the buffer itself).
using DeviceContext = QImage;

class cDIBSection {
public:
    // Shows a plain message box with an OK button (the main window routes it
    // through its one message function). Without one, messages are dropped.
    using MessageFn = std::function<void(const QString& text)>;

    cDIBSection() = default;
    explicit cDIBSection(MessageFn showMessage) : showMessage_(std::move(showMessage)) {}
    ~cDIBSection() { ClearUp(); }
    cDIBSection(const cDIBSection&) = delete;
    cDIBSection& operator=(const cDIBSection&) = delete;

    // Copies the buffer to the clipboard as a bitmap (needs a GUI application).
    // With bAsDIB true it shows "Noch nicht verfügbar!" and returns false.
    bool CopyToClipboard(bool bAsDIB = true);

    // Fills the header for lWidth x lHeight and makes the pixel memory; hDib
    // receives the section handle (non-zero on success).
    bool CreateDIB(const DeviceContext* lhDC, qint32 lWidth, qint32 lHeight, quintptr& hDib);
    // Sizes the buffer to the picture and copies its pixels in (24 bits, bottom-up).
    void CreateFromPicture(const QImage& picThis);
    // Releases any previous memory and makes lWidth x lHeight pixels.
    bool Create(qint32 lWidth, qint32 lHeight);

    qint32 BytesPerScanLine() const;  // (biWidth + 1) * 3, lowest two bits cleared
    qint32 Width() const { return bitmapHeader_.biWidth; }
    qint32 Height() const { return bitmapHeader_.biHeight; }

    // Block transfer from lhDC into the buffer; a negative width/height means
    // the buffer's own.
    void LoadPictureBlt(const DeviceContext& lhDC, qint32 lSrcLeft = 0, qint32 lSrcTop = 0,
                        qint32 lSrcWidth = -1, qint32 lSrcHeight = -1, RasterOp eRop = SRCCOPY);
    // Block transfer from the buffer into lhDC (which must be Format_RGB32 or
    // Format_RGB888 and large enough; pixels outside it are skipped).
    void PaintPicture(DeviceContext& lhDC, qint32 lDestLeft = 0, qint32 lDestTop = 0,
                      qint32 lDestWidth = -1, qint32 lDestHeight = -1, qint32 lSrcLeft = 0,
                      qint32 lSrcTop = 0, RasterOp eRop = SRCCOPY) const;

    quintptr hdc() const;   // the memory context: non-zero while there is pixel memory
    quintptr hDib() const;  // the section: non-zero while there is pixel memory
    uint8_t* DIBSectionBitsPtr() const { return bitsPointer_; }

    // Fills every pixel with noise (grey, or blue 0 with random green and red).
    void RandomiseBits(bool bGray = false);
    // Releases the pixel memory; Width and Height keep reporting the last size.
    void ClearUp();
    // A new buffer of lNewWidth x lNewHeight, bilinearly resampled (a plain
    // copy at the same size); nullptr when it cannot be made.
    std::unique_ptr<cDIBSection> Resample(qint32 lNewHeight, qint32 lNewWidth) const;

    const BITMAPINFOHEADER& header() const { return bitmapHeader_; }

private:
    void ResampleInto(cDIBSection& target) const;

    MessageFn showMessage_;
    std::unique_ptr<uint8_t[]> memory_;
    quintptr dibHandle_ = 0;
    quintptr previousBitmap_ = 0;
    quintptr memoryDC_ = 0;
    uint8_t* bitsPointer_ = nullptr;
    BITMAPINFOHEADER bitmapHeader_;
};

}  // namespace miniskop
