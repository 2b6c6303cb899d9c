// picProgress on screen: a sunken box that shows the image of an
// ImageProgressSurface, which UpdateProgress draws into. The surface is sized
// to the box's inner area and drawn in the box's font.
#pragma once

#include <QFrame>

#include "ImageProgressSurface.h"

namespace miniskop {

class ProgressBox : public QFrame {
    Q_OBJECT
public:
    explicit ProgressBox(QWidget* parent = nullptr);

    // The surface, sized to the inner area (geometry set on a hidden box
    // reaches no resize event until it is shown).
    ImageProgressSurface& surface();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void fitSurface();

    ImageProgressSurface surface_;
};

}  // namespace miniskop
