// cDIBSection: the 24-bit pixel buffer. The pixel memory is one block of
// BytesPerScanLine x height bytes, rows bottom-up, three bytes per pixel (blue,
// green, red). The handles of the drawing-context model are kept as plain
// numbers: non-zero exactly while the buffer owns pixel memory. Pictures come
// in and go out by row copies; resampling and noise fill address the bytes
// directly.
#include "cDIBSection.h"

#include <QClipboard>
#include <QColor>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMimeData>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <random>
#include <vector>

#include "Rounding.h"

namespace miniskop {
namespace {

constexpr qint64 kMaxImageBytes = std::numeric_limits<qint32>::max();

// 3 x width rounded up to a multiple of 4, in 64 bits so that no width overflows.
qint64 scanLineOf(qint64 width) { return ((width + 1) * 3) & ~qint64{3}; }

// Bytes of pixel memory for lWidth x lHeight, or -1 when the size is empty,
// negative or too large to address with 32-bit offsets.
qint64 imageBytesOf(qint32 width, qint32 height) {
    if (width <= 0 || height <= 0) return -1;
    const qint64 line = scanLineOf(width);
    if (line > kMaxImageBytes / height) return -1;
    return line * height;
}

uint8_t clampByte(double v) { return static_cast<uint8_t>(std::clamp(v, 0.0, 255.0)); }

// One row's pixels written into a destination image of another layout.
void storeRow(QImage& dest, int y, int x0, const uint8_t* bgr, int count) {
    uchar* line = dest.scanLine(y);
    switch (dest.format()) {
        case QImage::Format_BGR888:
            std::memcpy(line + 3 * x0, bgr, 3 * static_cast<size_t>(count));
            break;
        case QImage::Format_RGB888:
            for (int i = 0; i < count; ++i) {
                uchar* p = line + 3 * (x0 + i);
                p[0] = bgr[3 * i + 2];
                p[1] = bgr[3 * i + 1];
                p[2] = bgr[3 * i];
            }
            break;
        case QImage::Format_RGB32:
        case QImage::Format_ARGB32:
        case QImage::Format_ARGB32_Premultiplied: {
            auto* px = reinterpret_cast<QRgb*>(line) + x0;
            for (int i = 0; i < count; ++i)
                px[i] = qRgb(bgr[3 * i + 2], bgr[3 * i + 1], bgr[3 * i]);
            break;
        }
        default:
            for (int i = 0; i < count; ++i)
                dest.setPixelColor(x0 + i, y, QColor(bgr[3 * i + 2], bgr[3 * i + 1], bgr[3 * i]));
            break;
    }
}

}  // namespace

bool cDIBSection::CopyToClipboard(bool bAsDIB) {
    if (bAsDIB) {
        if (showMessage_) showMessage_(QStringLiteral("Noch nicht verfügbar!"));
        return false;
    }
    // The clipboard belongs to a GUI application and may only be used from its thread.
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app || QThread::currentThread() != app->thread()) return false;
    if (!bitsPointer_ || Width() <= 0 || Height() <= 0) return false;

    QImage bitmap(Width(), Height(), QImage::Format_RGB32);
    if (bitmap.isNull()) return false;
    PaintPicture(bitmap);
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return false;
    clipboard->setImage(bitmap);
    const QMimeData* data = clipboard->mimeData();
    return data && data->hasImage();
}

bool cDIBSection::CreateDIB(const DeviceContext* /*lhDC*/, qint32 lWidth, qint32 lHeight,
                            quintptr& hDib) {
    bitmapHeader_.biSize = 40;
    bitmapHeader_.biWidth = lWidth;
    bitmapHeader_.biHeight = lHeight;
    bitmapHeader_.biPlanes = 1;
    bitmapHeader_.biBitCount = 24;
    bitmapHeader_.biCompression = 0;
    const qint64 imageBytes = imageBytesOf(lWidth, lHeight);
    bitmapHeader_.biSizeImage = imageBytes > 0 ? static_cast<quint32>(imageBytes) : 0;

    // The memory of a previous section no longer matches the header: drop it.
    memory_.reset();
    bitsPointer_ = nullptr;
    dibHandle_ = 0;
    hDib = 0;
    if (imageBytes <= 0) {
        memoryDC_ = 0;
        return false;
    }
    // Zero-filled, so the bytes after each row's last pixel are defined.
    memory_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(imageBytes)]());
    if (!memory_) {
        memoryDC_ = 0;
        return false;
    }
    bitsPointer_ = memory_.get();
    dibHandle_ = reinterpret_cast<quintptr>(bitsPointer_);
    hDib = dibHandle_;
    // The section is addressed through the buffer itself.
    if (memoryDC_ == 0) memoryDC_ = reinterpret_cast<quintptr>(this);
    return true;
}

void cDIBSection::CreateFromPicture(const QImage& picThis) {
    // A null picture has no bitmap: 0 x 0, which Create refuses.
    if (!Create(picThis.width(), picThis.height())) return;
    LoadPictureBlt(picThis);
}

bool cDIBSection::Create(qint32 lWidth, qint32 lHeight) {
    ClearUp();
    memoryDC_ = reinterpret_cast<quintptr>(this);
    if (CreateDIB(nullptr, lWidth, lHeight, dibHandle_)) {
        previousBitmap_ = 0;  // a fresh context holds no bitmap of ours
        return true;
    }
    memoryDC_ = 0;
    return false;
}

qint32 cDIBSection::BytesPerScanLine() const {
    const qint64 line = scanLineOf(bitmapHeader_.biWidth);
    if (line < std::numeric_limits<qint32>::min() || line > std::numeric_limits<qint32>::max())
        return 0;
    return static_cast<qint32>(line);
}

void cDIBSection::LoadPictureBlt(const DeviceContext& lhDC, qint32 lSrcLeft, qint32 lSrcTop,
                                 qint32 lSrcWidth, qint32 lSrcHeight, RasterOp /*eRop*/) {
    if (!bitsPointer_ || lhDC.isNull()) return;
    const qint64 w = lSrcWidth < 0 ? Width() : lSrcWidth;
    const qint64 h = lSrcHeight < 0 ? Height() : lSrcHeight;

    // One conversion pass for the whole source; BGR888 is already our byte order.
    const QImage src =
        lhDC.format() == QImage::Format_BGR888 ? lhDC : lhDC.convertToFormat(QImage::Format_BGR888);
    if (src.isNull()) return;

    // Columns that lie inside both the source picture and the buffer.
    const qint64 firstCol = std::max<qint64>(0, -qint64{lSrcLeft});
    const qint64 endCol = std::min<qint64>({w, Width(), qint64{src.width()} - lSrcLeft});
    if (endCol <= firstCol) return;
    const size_t rowBytes = 3 * static_cast<size_t>(endCol - firstCol);
    const qint64 stride = BytesPerScanLine();

    const qint64 rows = std::min<qint64>(h, Height());
    for (qint64 dy = 0; dy < rows; ++dy) {
        const qint64 sy = lSrcTop + dy;
        if (sy < 0 || sy >= src.height()) continue;
        // Top row of the picture goes to the last row in memory.
        uint8_t* dest = bitsPointer_ + (Height() - 1 - dy) * stride + 3 * firstCol;
        const uchar* from = src.constScanLine(static_cast<int>(sy)) + 3 * (lSrcLeft + firstCol);
        std::memcpy(dest, from, rowBytes);
    }
}

void cDIBSection::PaintPicture(DeviceContext& lhDC, qint32 lDestLeft, qint32 lDestTop,
                               qint32 lDestWidth, qint32 lDestHeight, qint32 lSrcLeft,
                               qint32 lSrcTop, RasterOp /*eRop*/) const {
    if (!bitsPointer_ || lhDC.isNull()) return;
    const qint64 w = lDestWidth < 0 ? Width() : lDestWidth;
    const qint64 h = lDestHeight < 0 ? Height() : lDestHeight;

    // Offsets i within the copied block that lie inside both the buffer and lhDC.
    const qint64 firstCol = std::max<qint64>({0, -qint64{lSrcLeft}, -qint64{lDestLeft}});
    const qint64 endCol =
        std::min<qint64>({w, qint64{Width()} - lSrcLeft, qint64{lhDC.width()} - lDestLeft});
    if (endCol <= firstCol) return;
    const qint64 stride = BytesPerScanLine();

    for (qint64 i = 0; i < h; ++i) {
        const qint64 sy = lSrcTop + i;  // counted from the top of the buffer
        const qint64 dy = lDestTop + i;
        if (sy < 0 || sy >= Height() || dy < 0 || dy >= lhDC.height()) continue;
        const uint8_t* from =
            bitsPointer_ + (Height() - 1 - sy) * stride + 3 * (lSrcLeft + firstCol);
        storeRow(lhDC, static_cast<int>(dy), static_cast<int>(lDestLeft + firstCol), from,
                 static_cast<int>(endCol - firstCol));
    }
}

quintptr cDIBSection::hdc() const { return bitsPointer_ ? memoryDC_ : 0; }

quintptr cDIBSection::hDib() const { return bitsPointer_ ? dibHandle_ : 0; }

void cDIBSection::RandomiseBits(bool bGray) {
    if (!bitsPointer_) return;
    // Seeded from the time of day (to the nanosecond, so that quick successive
    // calls still differ); values from 0 up to but excluding 1.
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    const auto ofDay =
        std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch) % std::chrono::hours(24);
    std::mt19937 engine(static_cast<std::mt19937::result_type>(ofDay.count()));
    std::uniform_real_distribution<float> random(0.0f, 1.0f);
    const auto level = [&] {
        return static_cast<uint8_t>(roundHalfEven(static_cast<double>(random(engine)) * 255.0));
    };

    const qint64 stride = BytesPerScanLine();
    for (qint64 y = 0; y < Height(); ++y) {
        uint8_t* p = bitsPointer_ + y * stride;
        for (qint64 x = 0; x < Width(); ++x, p += 3) {
            if (bGray) {
                p[0] = p[1] = p[2] = level();
            } else {
                p[0] = 0;
                p[1] = level();
                p[2] = level();
            }
        }
    }
}

void cDIBSection::ClearUp() {
    memory_.reset();
    memoryDC_ = 0;
    dibHandle_ = 0;
    previousBitmap_ = 0;
    bitsPointer_ = nullptr;
}

std::unique_ptr<cDIBSection> cDIBSection::Resample(qint32 lNewHeight, qint32 lNewWidth) const {
    // Without pixels there is nothing to read from.
    if (!bitsPointer_) return nullptr;
    auto target = std::make_unique<cDIBSection>(showMessage_);
    if (!target->Create(lNewWidth, lNewHeight)) return nullptr;
    if (lNewWidth == Width() && lNewHeight == Height()) {
        // Same layout on both sides: a plain block copy of the pixel rows.
        const qint64 stride = BytesPerScanLine();
        for (qint64 y = 0; y < Height(); ++y)
            std::memcpy(target->bitsPointer_ + y * stride, bitsPointer_ + y * stride,
                        3 * static_cast<size_t>(Width()));
    } else {
        ResampleInto(*target);
    }
    return target;
}

// Bilinear interpolation in single precision. The scale divides by the target
// size (not the size less one), so the last target column and row stop short
// of the source's last ones. Rows are taken in memory order on both sides.
void cDIBSection::ResampleInto(cDIBSection& target) const {
    const qint32 sw = Width(), sh = Height();
    const qint32 dw = target.Width(), dh = target.Height();
    const float xScale = static_cast<float>(static_cast<double>(sw - 1) / dw);
    const float yScale = static_cast<float>(static_cast<double>(sh - 1) / dh);
    const qint64 srcStride = BytesPerScanLine();
    const qint64 dstStride = target.BytesPerScanLine();

    // Column positions are the same for every row: work them out once.
    struct Column {
        qint64 left, right;  // byte offsets of P?0 and P?1's columns
        float dx;
    };
    std::vector<Column> columns(static_cast<size_t>(dw));
    for (qint32 x = 0; x < dw; ++x) {
        const float fx = static_cast<float>(x) * xScale;
        const qint32 ix = std::clamp(static_cast<qint32>(std::floor(fx)), 0, sw - 1);
        columns[x] = {3 * qint64{ix}, 3 * qint64{std::min(ix + 1, sw - 1)},
                      fx - static_cast<float>(ix)};
    }

    for (qint32 y = 0; y < dh; ++y) {
        const float fy = static_cast<float>(y) * yScale;
        const qint32 iy = std::clamp(static_cast<qint32>(std::floor(fy)), 0, sh - 1);
        const double dy = fy - static_cast<float>(iy);
        const uint8_t* row0 = bitsPointer_ + iy * srcStride;
        const uint8_t* row1 = bitsPointer_ + std::min(iy + 1, sh - 1) * srcStride;
        uint8_t* out = target.bitsPointer_ + y * dstStride;
        for (const Column& c : columns) {
            const double dx = c.dx;
            for (int ch = 0; ch < 3; ++ch, ++out) {
                const double left =
                    roundHalfEven(row0[c.left + ch] * (1.0 - dy) + row1[c.left + ch] * dy);
                const double right =
                    roundHalfEven(row0[c.right + ch] * (1.0 - dy) + row1[c.right + ch] * dy);
                *out = clampByte(roundHalfEven(left * (1.0 - dx) + right * dx));
            }
        }
    }
}

}  // namespace miniskop
