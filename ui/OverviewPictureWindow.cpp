// The picture window behind the overview page's links: decodes the original
// once, at most at the size of the room it gets (a large photograph is reduced
// while it is read), and draws it centred on black, shrunk to the window when
// the window is made smaller. Escape closes it; closing deletes it.
#include "OverviewPictureWindow.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

#include "FileNameBytes.h"
#include "PictureSource.h"

namespace miniskop {

namespace {

// The smallest window, so that a tiny picture still gets a usable frame.
constexpr QSize kMinimumWindow(160, 120);

// The screen's free area, or a common screen size without one.
QRect freeScreenArea() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return QRect(0, 0, 1024, 768);
    return screen->availableGeometry();
}

// The picture decoded no larger than `room`, same proportions; null on failure.
QImage decodeWithin(const QString& path, QSize room) {
    Expected<PictureSource> source = PictureSource::open(path);
    if (!source) return {};
    const QSize natural = source->naturalSize();
    if (natural.isEmpty()) return {};
    if (natural.width() <= room.width() && natural.height() <= room.height()) {
        Expected<QImage> whole = source->decode();
        return whole ? *whole : QImage();
    }
    const QSize fitted = natural.scaled(room, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    Expected<QImage> reduced = source->decodeScaledTo(fitted);
    return reduced ? *reduced : QImage();
}

}  // namespace

OverviewPictureWindow* OverviewPictureWindow::open(const QString& path, QSize room) {
    const QRect screen = freeScreenArea();
    // Nine tenths of the screen leave room for the window's frame.
    if (!room.isValid() || room.isEmpty()) room = screen.size() * 9 / 10;
    QImage picture = decodeWithin(path, room);
    if (picture.isNull()) return nullptr;
    auto* window = new OverviewPictureWindow(path, std::move(picture));
    window->move(screen.center() - window->rect().center());
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

OverviewPictureWindow::OverviewPictureWindow(const QString& path, QImage picture)
    : path_(path), picture_(std::move(picture)) {
    setObjectName(QStringLiteral("OverviewPictureWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // A name that is not UTF-8 shows its odd bytes as the replacement mark.
    const QString name = shownName(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
    setWindowTitle(name);
    setAccessibleName(name);
    setMinimumSize(kMinimumWindow);
    resize(picture_.size().expandedTo(kMinimumWindow));
}

QRect OverviewPictureWindow::pictureRect() const {
    QSize shown = picture_.size();
    if (shown.width() > width() || shown.height() > height()) {
        shown = shown.scaled(size(), Qt::KeepAspectRatio);
    }
    QRect placed(QPoint(0, 0), shown);
    placed.moveCenter(rect().center());
    return placed;
}

void OverviewPictureWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(pictureRect(), picture_);
}

void OverviewPictureWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace miniskop
