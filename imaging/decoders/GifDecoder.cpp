// The first frame of a GIF through giflib's record interface, composed on
// its logical screen row by row. See GifDecoder.h.
#include "GifDecoder.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "AreaScaler.h"
#include "DecodeLimit.h"
#include "PictureFile.h"

namespace miniskop {

namespace {

// giflib reads through this, at its own position.
struct GifSource {
    const PictureFile* file = nullptr;
    qint64 position = 0;
};

int readGif(GifFileType* gif, GifByteType* out, int length) {
    auto* source = static_cast<GifSource*>(gif->UserData);
    const qsizetype got = source->file->readAt(source->position, out, length);
    source->position += got;
    return int(got);
}

struct GifClose {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

// An open GIF file; the state giflib reads through stays in place.
struct OpenGif {
    std::unique_ptr<GifSource> source = std::make_unique<GifSource>();
    std::unique_ptr<GifFileType, GifClose> gif;

    Unexpected<Failure> failure() const {
        const int error = gif ? gif->Error : 0;
        // giflib's words for a file that stops before the frame does.
        if (error == D_GIF_ERR_READ_FAILED || error == D_GIF_ERR_EOF_TOO_SOON)
            return fail(QStringLiteral("GIF: data ends before the picture"));
        const char* text = GifErrorString(error);
        return fail(QStringLiteral("GIF: %1").arg(text ? QString::fromLatin1(text)
                                                       : QStringLiteral("damaged file")));
    }
};

Expected<OpenGif> openGif(const PictureFile& file) {
    OpenGif open;
    open.source->file = &file;
    int error = 0;
    open.gif.reset(DGifOpen(open.source.get(), readGif, &error));
    if (!open.gif) {
        const char* text = GifErrorString(error);
        return fail(QStringLiteral("GIF: %1").arg(text ? QString::fromLatin1(text)
                                                       : QStringLiteral("cannot open")));
    }
    return open;
}

// The first frame: where it lies on the screen, its colours and its pixels.
struct Frame {
    QRect rect;                  // on the screen; may reach beyond it
    int transparent = -1;        // colour index shown as transparent, or -1
    std::vector<QRgb> colours;   // the frame's own table, else the screen's
    std::vector<uchar> indices;  // rect.width() x rect.height()
};

// Reads records up to the first image descriptor; with `pixels`, its pixels
// too. The graphic control extension before it names the transparent colour.
Expected<Frame> readFirstFrame(OpenGif& open, bool pixels) {
    GifFileType* gif = open.gif.get();
    Frame frame;
    for (int records = 0; records < 100000; ++records) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) return open.failure();
        if (type == TERMINATE_RECORD_TYPE) return fail(QStringLiteral("GIF: no picture in file"));
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return open.failure();
            if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4)
                frame.transparent = (block[1] & 0x01) ? int(block[4]) : -1;
            while (block) {
                if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return open.failure();
            }
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) continue;
        if (DGifGetImageDesc(gif) == GIF_ERROR) return open.failure();
        const GifImageDesc& d = gif->Image;
        frame.rect = QRect(d.Left, d.Top, d.Width, d.Height);
        if (!pixels) return frame;
        if (d.Width < 1 || d.Height < 1 || exceedsDecodeLimit(frame.rect.size()))
            return fail(QStringLiteral("GIF: frame size out of range"));
        const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
        if (map && map->Colors) {
            for (int i = 0; i < map->ColorCount; ++i)
                frame.colours.push_back(
                    qRgb(map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue));
        }
        frame.indices.resize(size_t(d.Width) * size_t(d.Height));
        // Interlaced frames send every eighth row from 0, every eighth from
        // 4, every fourth from 2, then every second from 1.
        const int starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
        for (int pass = 0; pass < (d.Interlace ? 4 : 1); ++pass) {
            const int step = d.Interlace ? steps[pass] : 1;
            for (int y = d.Interlace ? starts[pass] : 0; y < d.Height; y += step) {
                if (DGifGetLine(gif, &frame.indices[size_t(y) * size_t(d.Width)], d.Width) ==
                    GIF_ERROR)
                    return open.failure();
            }
        }
        return frame;
    }
    return fail(QStringLiteral("GIF: no picture in file"));
}

// Hands the screen's rows, top to bottom, to `push` as blue, green, red, x.
void composeRows(const Frame& frame, QSize screen,
                 const std::function<void(const uchar* bgrx)>& push) {
    std::vector<quint32> row(size_t(screen.width()));
    const QRect shown = frame.rect.intersected(QRect(QPoint(0, 0), screen));
    for (int y = 0; y < screen.height(); ++y) {
        std::fill(row.begin(), row.end(), 0xffffffffu);  // transparent: white
        if (y >= shown.top() && y <= shown.bottom()) {
            const uchar* in = frame.indices.data() +
                              size_t(y - frame.rect.top()) * size_t(frame.rect.width()) +
                              size_t(shown.left() - frame.rect.left());
            for (int x = shown.left(); x <= shown.right(); ++x, ++in) {
                const int index = *in;
                if (index == frame.transparent) continue;
                // An index beyond the colour table has no colour: black.
                row[size_t(x)] = index < int(frame.colours.size())
                                     ? frame.colours[size_t(index)] | 0xff000000u
                                     : 0xff000000u;
            }
        }
        push(reinterpret_cast<const uchar*>(row.data()));
    }
}

Expected<Frame> framePixels(const PictureFile& file) {
    auto open = openGif(file);
    if (!open) return unexpected(open.error());
    return readFirstFrame(*open, true);
}

}  // namespace

bool looksLikeGif(const QByteArray& head) {
    return head.startsWith("GIF87a") || head.startsWith("GIF89a");
}

Expected<GifInfo> readGifInfo(const PictureFile& file) {
    auto open = openGif(file);
    if (!open) return unexpected(open.error());
    QSize screen(open->gif->SWidth, open->gif->SHeight);
    if (screen.isEmpty()) {
        // No screen to speak of: the first frame's extent stands for it.
        auto frame = readFirstFrame(*open, false);
        if (!frame) return unexpected(frame.error());
        screen = QSize(frame->rect.right() + 1, frame->rect.bottom() + 1);
    }
    if (screen.width() < 1 || screen.height() < 1)
        return fail(QStringLiteral("GIF: picture without area"));
    if (const qint64 pixels = qint64(screen.width()) * screen.height() * 4;
        exceedsDecodeLimit(pixels))
        return tooLarge(pixels, decodeLimit());
    return GifInfo{screen};
}

Expected<QImage> decodeGif(const PictureFile& file, const GifInfo& info) {
    auto frame = framePixels(file);
    if (!frame) return unexpected(frame.error());
    QImage image(info.displayed, QImage::Format_RGB32);
    if (image.isNull()) return fail(QStringLiteral("GIF: out of memory"));
    int y = 0;
    composeRows(*frame, info.displayed, [&](const uchar* bgrx) {
        std::memcpy(image.scanLine(y++), bgrx, size_t(info.displayed.width()) * 4);
    });
    return image;
}

Expected<QImage> decodeGifScaled(const PictureFile& file, const GifInfo& info, QSize target) {
    auto frame = framePixels(file);
    if (!frame) return unexpected(frame.error());
    AreaScaler scaler(info.displayed, target);
    composeRows(*frame, info.displayed, [&](const uchar* bgrx) { scaler.pushRow(bgrx); });
    QImage result = scaler.takeResult();
    if (result.isNull()) return fail(QStringLiteral("GIF: out of memory"));
    return result;
}

}  // namespace miniskop
