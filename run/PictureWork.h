// The pixel work of one picture of the run, done away from the run's thread:
// load and scale the picture the way resize does on the run's canvas, and
// encode the thumbnail to JPEG bytes. The work is keyed by everything it read
// (path, the picture file's size and time, size bound, enlarge option,
// quality, and the thumbnail to keep when it is current); the run uses a
// result only when the key it reads at the picture's own turn is the same.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

#include "Expected.h"
#include "ThumbnailCanvas.h"
#include "ThumbnailRecord.h"

namespace miniskop {

struct PictureKey {
    QString path;
    float sizeBound = 0.0f;  // S, fraction kept
    bool enlarge = false;
    qint32 quality = 0;
    PictureState picture;  // the file as it was when the key was made
    // With --update: the thumbnail path; a thumbnail there that carries this
    // key's record is kept and the picture is not decoded.
    QString keepIfCurrent;

    friend bool operator==(const PictureKey&, const PictureKey&) = default;
};

// What resize left on a canvas of its own, and the encoded thumbnail.
struct PictureWork {
    PictureKey key;
    Status scaled;
    // The canvas after resize. Fields resize did not reach keep the marker
    // value kUntouched, so applying the work changes only what resize changed.
    ThumbnailCanvas canvas;
    // The thumbnail as saveThumb would write it; absent when scaling failed or
    // the encoder could not produce it (the run then writes the file itself).
    std::optional<QByteArray> jpeg;
    // The size of the thumbnail kept as current (nothing was decoded).
    std::optional<QSize> kept;
};

inline constexpr int kUntouched = -1;

// Does the work of `key`. Never throws: any failure, an exception included,
// ends up in `scaled`.
// With `budget`, the decoding shares it with the other threads at work.
PictureWork makePictureWork(const PictureKey& key, DecodeBudget* budget = nullptr) noexcept;

// Test hook: called on the thread doing the work, at the start of every
// makePictureWork, before anything is read. Lets a test hold a picture's work
// for as long as it needs without timing. Empty (no call) by default.
void setPictureWorkHookForTesting(std::function<void(const PictureKey&)> hook);

// Leaves `canvas` as a resize of the same picture would have left it: picThumb
// given an empty picture first, then every field resize set.
void applyPictureWork(const PictureWork& work, ThumbnailCanvas& canvas);

}  // namespace miniskop
