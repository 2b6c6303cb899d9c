// resize: one picture file in, the scaled thumbnail drawn into the hidden work
// surface picThumb out. picSource holds the loaded picture (its size is the
// natural size; its pixels may be a reduced decode), ImgSizer learns the
// natural size. The surfaces live as long as the main window.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include "DecodeBudget.h"
#include "Expected.h"

namespace miniskop {

// A hidden picture box: a size in pixels and the image drawn into it.
struct PictureBox {
    int width = 0;
    int height = 0;
    QImage image;  // empty when the box was given an empty picture

    // The box's persistent image as it would be saved: `image` when it has the
    // box's size, otherwise a neutral blank of the box's size (null when the
    // box has no area).
    QImage drawnImage() const;
};

// An image control that sizes itself to the picture put into it.
struct ImageControl {
    QSize size;
    bool holdsPicture = false;
};

class ThumbnailCanvas {
public:
    PictureBox picSource;
    PictureBox picThumb;
    ImageControl ImgSizer;

    // Loads `PicPath`, scales it by the bound S (the thumbnail size setting's
    // numeric value, fraction kept) and the enlarge option, and draws it into
    // picThumb. On failure the steps already done stay done: picThumb has been
    // given an empty picture and keeps its previous size.
    // With `budget`, the decoding waits until its bytes fit into the budget
    // that the threads decoding at once share. A picture that would take
    // more than that budget (without one: the decoding limit) is refused
    // with a failure that carries both amounts.
    Status resize(const QString& PicPath, float S, bool enlarge, DecodeBudget* budget = nullptr);
};

}  // namespace miniskop
