// One picture's pixel work on a canvas of its own. See PictureWork.h.
#include "PictureWork.h"

#include <exception>
#include <mutex>

#include "JpegWriter.h"

namespace miniskop {
namespace {

const QSize kUntouchedSize(kUntouched, kUntouched);

std::mutex& hookMutex() {
    static std::mutex mutex;
    return mutex;
}

std::function<void(const PictureKey&)>& hook() {
    static std::function<void(const PictureKey&)> h;
    return h;
}

void callHook(const PictureKey& key) {
    std::function<void(const PictureKey&)> h;
    {
        std::lock_guard lock(hookMutex());
        h = hook();
    }
    if (h) h(key);
}

void markUntouched(PictureBox& box) {
    box.width = kUntouched;
    box.height = kUntouched;
}

// Copies what resize set on `from` (anything not carrying the marker).
void copyTouched(const PictureBox& from, PictureBox& to) {
    if (from.width != kUntouched) to.width = from.width;
    if (from.height != kUntouched) to.height = from.height;
    if (from.width != kUntouched || from.height != kUntouched || !from.image.isNull())
        to.image = from.image;
}

void doWork(PictureWork& work, DecodeBudget* budget) {
    ThumbnailCanvas& canvas = work.canvas;
    markUntouched(canvas.picSource);
    markUntouched(canvas.picThumb);
    canvas.ImgSizer.size = kUntouchedSize;
    if (!work.key.keepIfCurrent.isEmpty()) {
        work.kept = currentThumbnail(work.key.keepIfCurrent, work.key);
        if (work.kept) return;
    }
    work.scaled = canvas.resize(work.key.path, work.key.sizeBound, work.key.enlarge, budget);
    if (!work.scaled) return;
    auto bytes = encodeThumbJpeg(canvas.picThumb.drawnImage(), work.key.quality);
    if (bytes) work.jpeg = withThumbnailRecord(*bytes, work.key);
}

}  // namespace

void setPictureWorkHookForTesting(std::function<void(const PictureKey&)> h) {
    std::lock_guard lock(hookMutex());
    hook() = std::move(h);
}

PictureWork makePictureWork(const PictureKey& key, DecodeBudget* budget) noexcept {
    PictureWork work;
    work.key = key;
    try {
        callHook(key);
        doWork(work, budget);
    } catch (const std::exception& e) {
        work.scaled = fail(QStringLiteral("Bild nicht verarbeitet: %1").arg(e.what()));
        work.jpeg.reset();
    } catch (...) {
        work.scaled = fail(QStringLiteral("Bild nicht verarbeitet"));
        work.jpeg.reset();
    }
    return work;
}

void applyPictureWork(const PictureWork& work, ThumbnailCanvas& canvas) {
    const ThumbnailCanvas& done = work.canvas;
    canvas.picThumb.image = QImage();
    if (work.kept) {
        // A thumbnail kept as current: the box takes its size, nothing else.
        canvas.picThumb.width = work.kept->width();
        canvas.picThumb.height = work.kept->height();
        return;
    }
    if (done.ImgSizer.size != kUntouchedSize) {
        canvas.ImgSizer.size = done.ImgSizer.size;
        canvas.ImgSizer.holdsPicture = done.ImgSizer.holdsPicture;
    }
    copyTouched(done.picSource, canvas.picSource);
    if (work.scaled) {
        canvas.picThumb = done.picThumb;
    } else {
        copyTouched(done.picThumb, canvas.picThumb);
    }
}

}  // namespace miniskop
