// Reading a DIB's rows, plain or run-length coded, top to bottom. See
// DibRows.h.
#include "DibRows.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "DecodeLimit.h"
#include "PictureFile.h"
#include "PngFastPath.h"

namespace miniskop {

namespace {

// About the bytes one read (plain rows) or one decoded band (coded rows)
// takes; at least one row.
constexpr qint64 kBandBytes = qint64(256) << 10;
constexpr qsizetype kStreamChunk = qsizetype(64) << 10;
constexpr quint32 kOpaqueBlack = 0xff000000u;

Unexpected<Failure> endsEarly() { return fail(QStringLiteral("file ends early")); }

// One channel of a 16- or 32-bit pixel, brought to 8 bits by exact
// rounding (v * 255 / max), through a table where the channel is narrow.
class Channel {
public:
    Channel() = default;
    Channel(uint32_t mask, uchar absent) : mask_(mask), absent_(absent) {
        if (mask == 0) return;
        shift_ = std::countr_zero(mask);
        const int width = std::popcount(mask);
        max_ = (uint64_t(1) << width) - 1;
        if (width > 16) return;
        table_.resize(size_t(max_) + 1);
        for (uint64_t v = 0; v <= max_; ++v) table_[v] = to8(v);
    }
    uchar operator()(uint32_t pixel) const {
        if (mask_ == 0) return absent_;
        const uint64_t v = (pixel & mask_) >> shift_;
        return table_.empty() ? to8(v) : table_[v];
    }

private:
    uchar to8(uint64_t v) const { return uchar((v * 255 + max_ / 2) / max_); }
    uint32_t mask_ = 0;
    uchar absent_ = 0;
    int shift_ = 0;
    uint64_t max_ = 1;
    std::vector<uchar> table_;
};

inline void put(uchar* out, quint32 argb) { std::memcpy(out, &argb, 4); }

// Reads a code stream forward from any offset through a read-ahead buffer.
class ByteStream {
public:
    explicit ByteStream(const PictureFile& file) : file_(&file), buffer_(kStreamChunk) {}
    void seek(qint64 offset) { position_ = offset; }
    qint64 position() const { return position_; }
    bool read(uchar* out, qsizetype n) {
        for (qsizetype i = 0; i < n; ++i) {
            if (position_ < start_ || position_ >= start_ + filled_) {
                start_ = position_;
                filled_ =
                    std::max<qsizetype>(file_->readAt(start_, buffer_.data(), kStreamChunk), 0);
                if (filled_ == 0) return false;
            }
            out[i] = buffer_[size_t(position_ - start_)];
            ++position_;
        }
        return true;
    }

private:
    const PictureFile* file_;
    std::vector<uchar> buffer_;
    qint64 position_ = 0, start_ = 0;
    qsizetype filled_ = 0;
};

// Where the code stream stands: its offset, and the stored row and column
// the next pixel goes to.
struct Cursor {
    qint64 offset = -1;  // -1: the stream never reaches this band
    int row = 0;
    int x = 0;
};

}  // namespace

struct DibRows::State {
    const PictureFile* file = nullptr;
    DibLayout l;
    Channel red, green, blue, alpha;
    bool plain8888 = false;  // 32 bits in blue, green, red, x/alpha order
    int nextRow = 0;         // picture order
    // Plain rows: a band of stored rows and the row handed out.
    std::vector<uchar> raw;
    int rawFirst = 0, rawRows = 0;
    std::vector<uchar> row;
    // Coded rows: bands of bandHeight stored rows, each decoded from its cursor.
    int bandHeight = 1;
    std::vector<Cursor> bandStarts;
    std::vector<uchar> band;  // blue, green, red, alpha
    int bandLoaded = -1;
    ByteStream stream;

    State(const PictureFile& f, const DibLayout& layout) : file(&f), l(layout), stream(f) {}

    qsizetype usedBytes() const { return qsizetype((qint64(l.width) * l.bits + 7) / 8); }
    void convert(const uchar* in, uchar* out) const;
    bool loadPlain(int stored);
    // Walks the codes from `c` until the stored row `stopRow`, the end of
    // the picture or of the stream (false). With `pixels`, writes the rows
    // from `first` on into it; with `starts`, notes each band's cursor.
    bool walk(Cursor& c, int stopRow, uchar* pixels, int first, std::vector<Cursor>* starts);
    bool loadBand(int index);
};

void DibRows::State::convert(const uchar* in, uchar* out) const {
    const int w = l.width;
    switch (l.bits) {
        case 1:
        case 2:
        case 4: {
            const int mask = (1 << l.bits) - 1;
            for (int x = 0; x < w; ++x) {
                const int bit = x * l.bits;
                put(out + 4 * x, l.palette[(in[bit / 8] >> (8 - l.bits - bit % 8)) & mask]);
            }
            break;
        }
        case 8:
            for (int x = 0; x < w; ++x) put(out + 4 * x, l.palette[in[x]]);
            break;
        case 24:
            for (int x = 0; x < w; ++x, in += 3, out += 4)
                out[0] = in[0], out[1] = in[1], out[2] = in[2], out[3] = 0xff;
            break;
        case 16:
            for (int x = 0; x < w; ++x, in += 2, out += 4) {
                const uint32_t p = uint32_t(in[0]) | uint32_t(in[1]) << 8;
                out[0] = blue(p), out[1] = green(p), out[2] = red(p), out[3] = alpha(p);
            }
            break;
        default:  // 32
            if (plain8888) {
                std::memcpy(out, in, size_t(w) * 4);
                if (!l.hasAlpha())
                    for (int x = 0; x < w; ++x) out[4 * x + 3] = 0xff;
                break;
            }
            for (int x = 0; x < w; ++x, in += 4, out += 4) {
                uint32_t p = 0;
                std::memcpy(&p, in, 4);
                out[0] = blue(p), out[1] = green(p), out[2] = red(p), out[3] = alpha(p);
            }
            break;
    }
}

// Reads the band of stored rows that holds `stored` and runs on in picture
// order from it.
bool DibRows::State::loadPlain(int stored) {
    const qint64 stride = l.stride();
    const int rows = int(std::clamp<qint64>(kBandBytes / stride, 1, l.height));
    rawFirst = l.topDown ? stored : std::max(0, stored - rows + 1);
    rawRows = std::min(rows, l.height - rawFirst);
    const qint64 needed = (rawRows - 1) * stride + usedBytes();
    const qsizetype got =
        file->readAt(l.dataOffset + rawFirst * stride, raw.data(), qsizetype(rawRows * stride));
    return got >= needed;
}

bool DibRows::State::walk(Cursor& c, int stopRow, uchar* pixels, int first,
                          std::vector<Cursor>* starts) {
    const int w = l.width;
    const auto target = [&](int x) -> uchar* {
        return pixels && c.row >= first && x < w
                   ? pixels + (size_t(c.row - first) * size_t(w) + size_t(x)) * 4
                   : nullptr;
    };
    const auto moveTo = [&](int row, int x) {
        c.row = row, c.x = std::min(x, w);
        c.offset = stream.position();
        // A band the codes first reach here starts here; bands jumped over
        // have no pixels.
        const size_t band = size_t(c.row / bandHeight);
        if (starts && band < starts->size() && (*starts)[band].offset < 0) (*starts)[band] = c;
    };
    const int valueBytes = l.coding == DibLayout::Coding::Rle24 ? 3 : 1;
    stream.seek(c.offset);
    while (c.row < stopRow) {
        uchar code[2];
        if (!stream.read(code, 1)) return false;
        if (code[0] > 0) {  // a run of one value
            uchar v[3];
            if (!stream.read(v, valueBytes)) return false;
            for (int i = 0; pixels && i < code[0]; ++i)
                if (uchar* p = target(c.x + i)) {
                    if (l.coding == DibLayout::Coding::Rle24)
                        p[0] = v[0], p[1] = v[1], p[2] = v[2], p[3] = 0xff;
                    else if (l.coding == DibLayout::Coding::Rle4)
                        put(p, l.palette[i % 2 ? v[0] & 15 : v[0] >> 4]);
                    else
                        put(p, l.palette[v[0]]);
                }
            c.x = std::min(c.x + code[0], w);
            continue;
        }
        if (!stream.read(code + 1, 1)) return false;
        const int n = code[1];
        if (n == 0) {  // end of line
            moveTo(c.row + 1, 0);
        } else if (n == 1) {  // end of picture: the rest is left out
            c.row = l.height;
        } else if (n == 2) {  // delta: right and down
            uchar d[2];
            if (!stream.read(d, 2)) return false;
            if (d[1] == 0)
                c.x = std::min(c.x + d[0], w);
            else
                moveTo(c.row + d[1], c.x + d[0]);
        } else {  // n pixels given one by one, padded to an even count of bytes
            const int bytes = l.coding == DibLayout::Coding::Rle4 ? (n + 1) / 2 : n * valueBytes;
            uchar data[255 * 3 + 1];
            if (!stream.read(data, bytes + bytes % 2)) return false;
            for (int i = 0; pixels && i < n; ++i)
                if (uchar* p = target(c.x + i)) {
                    if (l.coding == DibLayout::Coding::Rle24)
                        p[0] = data[3 * i], p[1] = data[3 * i + 1], p[2] = data[3 * i + 2],
                        p[3] = 0xff;
                    else if (l.coding == DibLayout::Coding::Rle4)
                        put(p, l.palette[i % 2 ? data[i / 2] & 15 : data[i / 2] >> 4]);
                    else
                        put(p, l.palette[data[i]]);
                }
            c.x = std::min(c.x + n, w);
        }
    }
    return true;
}

bool DibRows::State::loadBand(int index) {
    const int first = index * bandHeight;
    const int rows = std::min(bandHeight, l.height - first);
    for (size_t i = 0; i < size_t(rows) * size_t(l.width); ++i) put(&band[4 * i], kOpaqueBlack);
    bandLoaded = index;
    Cursor c = bandStarts[size_t(index)];
    if (c.offset < 0) return true;  // the codes end before this band
    // The stream was walked whole when opened; running short now means the
    // file changed since.
    if (walk(c, first + rows, band.data(), first, nullptr)) return true;
    return c.row >= l.height - 1 && c.x >= l.width;
}

Expected<DibRows> DibRows::open(const PictureFile& file, const DibLayout& layout) {
    if (layout.width < 1 || layout.height < 1 || exceedsDecodeLimit(bytesHeld(layout)))
        return fail(QStringLiteral("picture size out of range"));
    auto s = std::make_unique<State>(file, layout);
    const qint64 fileSize = file.size();
    if (layout.coding == DibLayout::Coding::Plain) {
        const qint64 end =
            layout.dataOffset + (layout.height - 1) * layout.stride() + s->usedBytes();
        if (fileSize < end) return endsEarly();
        s->red = Channel(layout.redMask, 0), s->green = Channel(layout.greenMask, 0);
        s->blue = Channel(layout.blueMask, 0), s->alpha = Channel(layout.alphaMask, 0xff);
        s->plain8888 = layout.bits == 32 && layout.redMask == 0xff0000u &&
                       layout.greenMask == 0xff00u && layout.blueMask == 0xffu &&
                       (layout.alphaMask == 0 || layout.alphaMask == 0xff000000u);
        s->raw.resize(size_t(std::clamp<qint64>(kBandBytes / layout.stride(), 1, layout.height) *
                             layout.stride()));
        s->row.resize(size_t(layout.width) * 4);
        return DibRows(std::move(s));
    }
    // Run-length codes: one walk notes where each band of rows starts.
    s->bandHeight =
        int(std::clamp<qint64>(kBandBytes / (qint64(layout.width) * 4), 1, layout.height));
    s->bandStarts.resize(size_t((layout.height - 1) / s->bandHeight + 1));
    Cursor c{layout.dataOffset, 0, 0};
    s->bandStarts[0] = c;
    if (!s->walk(c, layout.height, nullptr, 0, &s->bandStarts) &&
        !(c.row == layout.height - 1 && c.x >= layout.width))
        return endsEarly();
    s->band.resize(size_t(s->bandHeight) * size_t(layout.width) * 4);
    return DibRows(std::move(s));
}

Expected<uchar*> DibRows::next() {
    State& s = *d_;
    if (s.nextRow >= s.l.height) return fail(QStringLiteral("no more rows"));
    const int y = s.nextRow++;
    const int stored = s.l.topDown ? y : s.l.height - 1 - y;
    if (s.l.coding == DibLayout::Coding::Plain) {
        if ((stored < s.rawFirst || stored >= s.rawFirst + s.rawRows) && !s.loadPlain(stored))
            return endsEarly();
        s.convert(s.raw.data() + (stored - s.rawFirst) * s.l.stride(), s.row.data());
        return s.row.data();
    }
    const int index = stored / s.bandHeight;
    if (index != s.bandLoaded && !s.loadBand(index)) return endsEarly();
    return s.band.data() + size_t(stored - index * s.bandHeight) * size_t(s.l.width) * 4;
}

qint64 DibRows::bytesHeld(const DibLayout& l) {
    const qint64 row = qint64(std::max(l.width, 1)) * 4;
    // The channel tables: up to 64 KiB each.
    const qint64 tables = l.bits >= 16 ? 4 * (qint64(1) << 16) : 0;
    if (l.coding == DibLayout::Coding::Plain)
        return std::max(kBandBytes, l.stride()) + row + tables;
    const qint64 bands = qint64(std::max(l.height, 1)) / std::max<qint64>(kBandBytes / row, 1) + 1;
    return std::max(kBandBytes, row) + bands * qint64(sizeof(Cursor)) + kStreamChunk;
}

DibRows::DibRows(std::unique_ptr<State> state) : d_(std::move(state)) {}
DibRows::DibRows(DibRows&&) noexcept = default;
DibRows& DibRows::operator=(DibRows&&) noexcept = default;
DibRows::~DibRows() = default;

DibScaler::DibScaler(QSize source, QSize target, bool alphaCounts)
    : source_(source), target_(target), alphaCounts_(alphaCounts) {
    scaler_.emplace(source, target);
}

bool DibScaler::someAlpha(const uchar* bgra) const {
    for (int x = 0; x < source_.width(); ++x)
        if (bgra[4 * x + 3] != 0) return true;
    return false;
}

void DibScaler::startOverWithAlpha() {
    alphaSeen_ = true;
    const int done = source_.height() - scaler_->rowsMissing();
    scaler_.emplace(source_, target_);
    const std::vector<uchar> white(size_t(source_.width()) * 4, 0xff);
    for (int i = 0; i < done; ++i) scaler_->pushRow(white.data());
}

void DibScaler::pushRow(uchar* bgra, bool transparent) {
    if (transparent) layPngRowOnWhite(bgra, size_t(source_.width()));
    scaler_->pushRow(bgra);
}

}  // namespace miniskop
