// Metafile checking and drawing through libwmf. See WmfDecoder.h.
#include "WmfDecoder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <utility>

extern "C" {
#include <libwmf/api.h>
#include <libwmf/gd.h>
}

#include "AreaScaler.h"
#include "DecodeLimit.h"
#include "PictureFile.h"
#include "ThumbnailSize.h"
#include "WmfShapeFill.h"

namespace miniskop {

namespace {

constexpr quint32 kPlaceableKey = 0x9AC6CDD7u;
constexpr qint64 kMaxFileBytes = qint64(256) << 20;
constexpr int kMaxSide = 65535;  // larger natural sides are taken as garbage

// What the record walk learns about a metafile.
struct WmfLayout {
    bool placeable = false;
    int frameWidth = 0, frameHeight = 0, unitsPerInch = 0;  // placeable header
    std::optional<QSize> windowExtent;                      // first SetWindowExt
    // With the map mode (an)isotropic when the first drawing record comes,
    // libwmf maps the window onto the viewport: this viewport extent.
    std::optional<QSize> viewport;
    qsizetype firstRecord = 0;       // offset of the first record
    qsizetype plainHeader = 0;       // offset of the plain header
    quint32 largestRecordWords = 0;  // of the records present
};

quint16 u16(const QByteArray& d, qsizetype at) {
    return quint16(uchar(d[at]) | (uchar(d[at + 1]) << 8));
}
qint16 s16(const QByteArray& d, qsizetype at) { return qint16(u16(d, at)); }
quint32 u32(const QByteArray& d, qsizetype at) {
    return u16(d, at) | (quint32(u16(d, at + 2)) << 16);
}

// Records that draw: the mapping in force when the first of them comes is
// the one the drawing is made with.
bool draws(quint16 function) {
    switch (function) {
        case 0x0213:
        case 0x0325:
        case 0x0324:
        case 0x0538:  // lines and polygons
        case 0x041B:
        case 0x061C:
        case 0x0418:  // rectangles, ellipse
        case 0x0817:
        case 0x081A:
        case 0x0830:  // arc, pie, chord
        case 0x0521:
        case 0x0A32:  // text
        case 0x0922:
        case 0x0940:
        case 0x0B23:
        case 0x0B41:  // bitmaps
        case 0x0F43:
        case 0x0D33:
        case 0x041F:
        case 0x061D:
        case 0x0419:
        case 0x0548:  // flood fills
        case 0x0228:
        case 0x0429:
        case 0x012A:
        case 0x012B:  // regions
            return true;
        default:
            return false;
    }
}

bool plainHeaderAt(const QByteArray& d, qsizetype at) {
    if (d.size() - at < 18) return false;
    const quint16 type = u16(d, at), headerWords = u16(d, at + 2), version = u16(d, at + 4);
    return (type == 1 || type == 2) && headerWords == 9 && (version == 0x0100 || version == 0x0300);
}

Expected<WmfLayout> checkLayout(const QByteArray& d) {
    WmfLayout layout;
    qsizetype at = 0;
    if (d.size() >= 22 && u32(d, 0) == kPlaceableKey) {
        layout.placeable = true;
        layout.frameWidth = std::abs(int(s16(d, 10)) - int(s16(d, 6)));
        layout.frameHeight = std::abs(int(s16(d, 12)) - int(s16(d, 8)));
        layout.unitsPerInch = u16(d, 14);
        if (layout.frameWidth == 0 || layout.frameHeight == 0 || layout.unitsPerInch == 0)
            return fail(QStringLiteral("metafile frame is empty"));
        at = 22;
    }
    if (!plainHeaderAt(d, at)) return fail(QStringLiteral("not a metafile"));
    const quint32 maxRecordWords = u32(d, at + 12);
    layout.plainHeader = at;
    at += 18;
    layout.firstRecord = at;
    // The mapping as it stands while the records are walked. Setting the map
    // mode keeps the extents set before it, as Windows does; libwmf starts
    // with a viewport of 1024 x 1024.
    int mapMode = 1;  // MM_TEXT
    std::optional<QSize> window;
    QSize viewport(1024, 1024);
    bool drawn = false;
    // Every record must lie inside the file and within the announced maximum;
    // libwmf does not survive records that break this.
    while (d.size() - at >= 6) {
        const quint32 words = u32(d, at);
        const quint16 function = u16(d, at + 4);
        if (words < 3 || words > maxRecordWords + 0u || qint64(words) * 2 > d.size() - at)
            return fail(QStringLiteral("metafile record out of bounds"));
        layout.largestRecordWords = std::max(layout.largestRecordWords, words);
        if (function == 0x0000) return layout;  // end record
        if (function == 0x020C && words >= 5 && !layout.windowExtent) {
            layout.windowExtent =
                QSize(std::abs(int(s16(d, at + 8))), std::abs(int(s16(d, at + 6))));
        }
        if (!drawn) {
            if (function == 0x0103 && words >= 4) mapMode = u16(d, at + 6);
            if (function == 0x020C && words >= 5) window = QSize(s16(d, at + 8), s16(d, at + 6));
            if (function == 0x020E && words >= 5) viewport = QSize(s16(d, at + 8), s16(d, at + 6));
            if (draws(function)) {
                drawn = true;
                // MM_ISOTROPIC, MM_ANISOTROPIC: the window fills the viewport.
                if ((mapMode == 7 || mapMode == 8) && window && window->width() != 0 &&
                    window->height() != 0 && viewport.width() != 0 && viewport.height() != 0)
                    layout.viewport = viewport;
            }
        }
        at += qsizetype(words) * 2;
    }
    return fail(QStringLiteral("metafile ends without end record"));
}

void put16(QByteArray& d, qsizetype at, int v) {
    d[at] = char(v & 0xff);
    d[at + 1] = char((v >> 8) & 0xff);
}

// libwmf allocates the header's announced largest record size up front, so a
// header of a few bytes could ask for gigabytes. The copy handed to libwmf
// announces the largest record that is really there.
void announceLargestRecord(QByteArray& d, const WmfLayout& layout) {
    const quint32 words = layout.largestRecordWords;
    put16(d, layout.plainHeader + 12, int(words & 0xffff));
    put16(d, layout.plainHeader + 14, int(words >> 16));
}

// Moves the end points of Arc, Pie and Chord records that lie outside the
// shape's box onto the box's edge, along the same ray from the centre. Only
// the ray matters for the drawing, but libwmf clamps the two coordinates of
// such a point separately, which turns the ray, and counts the far point into
// the drawing's extent. Runs over records checkLayout accepted.
void pullArcEndsIntoBox(QByteArray& d, qsizetype at) {
    while (d.size() - at >= 6) {
        const quint32 words = u32(d, at);
        const quint16 function = u16(d, at + 4);
        if (words < 3 || qint64(words) * 2 > d.size() - at || function == 0x0000) return;
        const bool arc = function == 0x0817 || function == 0x081A || function == 0x0830;
        if (arc && words >= 11) {
            const qsizetype p = at + 6;  // yEnd, xEnd, yStart, xStart, bottom, right, top, left
            const double left = s16(d, p + 14), top = s16(d, p + 12);
            const double right = s16(d, p + 10), bottom = s16(d, p + 8);
            const double cx = (left + right) / 2, cy = (top + bottom) / 2;
            const double hw = std::abs(right - left) / 2, hh = std::abs(bottom - top) / 2;
            for (qsizetype end : {p, p + 4}) {  // (y, x) pairs
                const double rx = s16(d, end + 2) - cx, ry = s16(d, end) - cy;
                if (hw <= 0 || hh <= 0 || (std::abs(rx) <= hw && std::abs(ry) <= hh)) continue;
                const double f =
                    std::min(rx != 0 ? hw / std::abs(rx) : 1e9, ry != 0 ? hh / std::abs(ry) : 1e9);
                const double x = std::clamp(std::round(cx + rx * f), std::min(left, right),
                                            std::max(left, right));
                const double y = std::clamp(std::round(cy + ry * f), std::min(top, bottom),
                                            std::max(top, bottom));
                put16(d, end + 2, int(x));
                put16(d, end, int(y));
            }
        }
        at += qsizetype(words) * 2;
    }
}

Expected<QByteArray> readFile(const PictureFile& file) {
    const qint64 size = file.size();
    if (size > kMaxFileBytes) return fail(QStringLiteral("metafile too large"));
    // A file that changes while it is read is not taken.
    std::optional<QByteArray> data = file.readAll(kMaxFileBytes);
    if (!data || data->size() != size) return fail(QStringLiteral("cannot read the file"));
    return std::move(*data);
}

// The clip rectangles libwmf's gd keeps on an image once a clip record ran.
struct GdClipSet {
    int max;
    int count;
    void* list;
};

// The head of libwmf's gd image record (libwmf/gd/gd.h, whose own includes
// need libwmf's private include folder). libwmf hands the truecolour image
// to the caller and does not free it; the image is three malloc blocks: the
// record, the row table and one contiguous pixel array, plus the work arrays
// of polygon filling and dashed lines when those were drawn.
struct GdImageHead {
    unsigned char** pixels;
    int sx, sy, colorsTotal;
    int red[256], green[256], blue[256], open[256];
    int transparent;
    int* polyInts;
    int polyAllocated;
    void* brush;
    void* tile;
    int brushColorMap[256], tileColorMap[256];
    int styleLength, stylePos;
    int* style;
    int interlace, thick;
    int alpha[256];
    int trueColor;
    int** tpixels;
    int alphaBlendingFlag, saveAlphaFlag;
    GdClipSet* clip;
    int* contiguousPixels;
};

void freeGdImage(void* image) {
    auto* head = static_cast<GdImageHead*>(image);
    // Only free what is certainly laid out as expected; else leave it.
    if (head == nullptr || wmf_gd_image_pixels(image) != head->contiguousPixels ||
        head->tpixels == nullptr || head->tpixels[0] != head->contiguousPixels)
        return;
    // Polygon filling and dashed pens leave work arrays on the image.
    std::free(head->polyInts);
    std::free(head->style);
    if (head->clip != nullptr) std::free(head->clip->list);
    std::free(head->clip);
    std::free(head->contiguousPixels);
    std::free(head->tpixels);
    std::free(head);
}

// libwmf and its font layer keep process-wide state; one metafile at a time.
std::mutex& libwmfMutex() {
    static std::mutex mutex;
    return mutex;
}

// One libwmf session over a metafile in memory; destroyed with the object.
class WmfSession {
public:
    explicit WmfSession(QByteArray data) : data_(std::move(data)) {
        wmfAPI_Options options{};
        options.function = wmf_gd_function;
        const unsigned long flags =
            WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
        if (wmf_api_create(&api_, flags, &options) != wmf_E_None) return;
        installWmfShapeFill(api_, shapeFill_);
        opened_ = wmf_mem_open(api_, reinterpret_cast<unsigned char*>(data_.data()),
                               long(data_.size())) == wmf_E_None;
        if (opened_) scanned_ = wmf_scan(api_, 0, &bbox_) == wmf_E_None;
    }
    ~WmfSession() {
        if (api_ != nullptr && api_->device_data != nullptr) {
            freeGdImage(WMF_GD_GetData(api_)->gd_image);
            WMF_GD_GetData(api_)->gd_image = nullptr;
        }
        if (opened_) wmf_mem_close(api_);
        if (api_ != nullptr) wmf_api_destroy(api_);
    }
    WmfSession(const WmfSession&) = delete;
    WmfSession& operator=(const WmfSession&) = delete;

    bool ok() const { return scanned_; }
    const wmfD_Rect& bbox() const { return bbox_; }

    // Draws the device rectangle `frame` into a width x height picture.
    QImage play(const wmfD_Rect& frame, QSize size) {
        wmf_gd_t* device = WMF_GD_GetData(api_);
        device->type = wmf_gd_image;
        device->bbox = frame;
        device->width = unsigned(size.width());
        device->height = unsigned(size.height());
        if (wmf_play(api_, 0, &bbox_) != wmf_E_None || device->gd_image == nullptr) return {};
        const int* pixels = wmf_gd_image_pixels(device->gd_image);
        if (pixels == nullptr) return {};
        QImage image(size, QImage::Format_RGB32);
        if (image.isNull()) return image;
        for (int y = 0; y < size.height(); ++y) {
            auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
            const int* in = pixels + qsizetype(y) * size.width();
            for (int x = 0; x < size.width(); ++x) {
                // gd: 7-bit alpha, 0 opaque, 127 fully transparent; lay on white.
                const quint32 p = quint32(in[x]);
                const quint32 t = std::min((p >> 24) & 0x7fu, 127u);
                auto over = [t](quint32 c) { return (c * (127 - t) + 255 * t + 63) / 127; };
                line[x] = 0xff000000u | (over((p >> 16) & 0xff) << 16) |
                          (over((p >> 8) & 0xff) << 8) | over(p & 0xff);
            }
        }
        return image;
    }

private:
    QByteArray data_;
    WmfShapeFill shapeFill_;
    wmfAPI* api_ = nullptr;
    bool opened_ = false;
    bool scanned_ = false;
    wmfD_Rect bbox_{};
};

// Natural size and the device rectangle that shows the whole picture.
struct Placement {
    QSize natural;
    wmfD_Rect frame;
};

Expected<Placement> place(const WmfLayout& layout, const WmfSession& session) {
    Placement p;
    if (layout.placeable) {
        // libwmf's device unit for placeable files is the point (1/72 inch).
        const double inchesW = double(layout.frameWidth) / layout.unitsPerInch;
        const double inchesH = double(layout.frameHeight) / layout.unitsPerInch;
        p.natural = QSize(int(std::lround(inchesW * 96.0)), int(std::lround(inchesH * 96.0)));
        p.frame = {{0.0f, 0.0f}, {float(inchesW * 72.0), float(inchesH * 72.0)}};
    } else if (layout.windowExtent && !layout.windowExtent->isEmpty()) {
        // Otherwise the device unit is the logical unit, counted from the
        // window origin; one unit is taken as one pixel.
        p.natural = *layout.windowExtent;
        p.frame = {{0.0f, 0.0f}, {float(p.natural.width()), float(p.natural.height())}};
    } else {
        const wmfD_Rect& b = session.bbox();
        p.natural = QSize(int(std::ceil(b.BR.x - b.TL.x)), int(std::ceil(b.BR.y - b.TL.y)));
        p.frame = b;
    }
    if (layout.viewport && (layout.placeable || layout.windowExtent)) {
        // The window is drawn onto the viewport, which therefore frames the
        // whole picture (from 0 towards the extent's sign along each axis).
        const QSize v = *layout.viewport;
        p.frame = {{float(std::min(0, v.width())), float(std::min(0, v.height()))},
                   {float(std::max(0, v.width())), float(std::max(0, v.height()))}};
    }
    if (p.natural.width() < 1 || p.natural.height() < 1 || p.natural.width() > kMaxSide ||
        p.natural.height() > kMaxSide)
        return fail(QStringLiteral("metafile size out of range"));
    return p;
}

}  // namespace

bool looksLikeWmf(const QByteArray& head) {
    if (head.size() >= 4 && u32(head, 0) == kPlaceableKey) return true;
    return plainHeaderAt(head, 0);
}

namespace {

// Reads a metafile, checks and repairs its records, opens it in libwmf and
// places it, then hands the session and placement to `use`. libwmf keeps
// global state, so everything from opening to the last drawing call runs
// under its lock.
template <typename Use>
auto withPlacedMetafile(const PictureFile& file, Use&& use)
    -> decltype(use(std::declval<WmfSession&>(), std::declval<const Placement&>())) {
    auto data = readFile(file);
    if (!data) return unexpected(data.error());
    auto layout = checkLayout(*data);
    if (!layout) return unexpected(layout.error());
    pullArcEndsIntoBox(*data, layout->firstRecord);
    announceLargestRecord(*data, *layout);
    std::lock_guard lock(libwmfMutex());
    WmfSession session(std::move(*data));
    if (!session.ok()) return fail(QStringLiteral("libwmf cannot read the metafile"));
    auto placement = place(*layout, session);
    if (!placement) return unexpected(placement.error());
    return use(session, *placement);
}

}  // namespace

Expected<WmfInfo> readWmfInfo(const PictureFile& file) {
    return withPlacedMetafile(file,
                              [](WmfSession&, const Placement& placement) -> Expected<WmfInfo> {
                                  return WmfInfo{placement.natural};
                              });
}

Expected<QImage> decodeWmf(const PictureFile& file, QSize atLeast) {
    return withPlacedMetafile(
        file, [&](WmfSession& session, const Placement& placement) -> Expected<QImage> {
            const QSize size = coveringSize(placement.natural, atLeast);
            if (exceedsDecodeLimit(size)) return fail(QStringLiteral("metafile too large to draw"));
            QImage image = session.play(placement.frame, size);
            if (image.isNull()) return fail(QStringLiteral("libwmf cannot draw the metafile"));
            return image;
        });
}

Expected<QImage> decodeWmfScaled(const PictureFile& file, const WmfInfo& info, QSize target) {
    auto image = decodeWmf(file, reducedDecodeSize(info.displayed, target));
    if (!image) return image;
    QImage scaled = AreaScaler::scale(*image, target);
    if (scaled.isNull()) return fail(QStringLiteral("cannot scale picture"));
    return scaled;
}

}  // namespace miniskop
