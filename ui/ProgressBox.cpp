// picProgress: paints the progress surface's image inside a thin sunken frame.
#include "ProgressBox.h"

#include <QEvent>
#include <QPainter>

namespace miniskop {

ProgressBox::ProgressBox(QWidget* parent)
    : QFrame(parent), surface_(1, 1, palette().color(QPalette::Window), font()) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
}

ImageProgressSurface& ProgressBox::surface() {
    fitSurface();
    return surface_;
}

void ProgressBox::fitSurface() {
    const QSize inner = contentsRect().size().expandedTo(QSize(1, 1));
    // A resize clears the surface; the next UpdateProgress draws it afresh.
    if (surface_.image().size() != inner) surface_.resize(inner.width(), inner.height());
}

void ProgressBox::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    fitSurface();
}

void ProgressBox::changeEvent(QEvent* event) {
    QFrame::changeEvent(event);
    if (event->type() == QEvent::FontChange) surface_.setFont(font());
}

void ProgressBox::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.drawImage(contentsRect().topLeft(), surface_.image());
}

}  // namespace miniskop
