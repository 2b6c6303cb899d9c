// The picture window behind the overview page's links: decodes the original
// once, at most at the size of the room it gets (a large photograph is reduced
// while it is read), and draws it centred on black, shrunk to the window when
// the window is made smaller. Escape closes it; closing deletes it. A large
// picture is decoded on the global thread pool; the result comes back to the
// window's thread, and goes nowhere when the window has been closed meanwhile.
#include "OverviewPictureWindow.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QThreadPool>
#include <memory>

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

// The size a picture of `natural` pixels is shown at in `room`: its own,
// or reduced to fit, same proportions.
QSize shownSize(QSize natural, QSize room) {
    if (natural.width() <= room.width() && natural.height() <= room.height()) return natural;
    return natural.scaled(room, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

// The picture decoded at `shown`; null on failure.
QImage decodeAt(const PictureSource& source, QSize shown) {
    Expected<QImage> image =
        shown == source.naturalSize() ? source.decode() : source.decodeScaledTo(shown);
    return image ? *image : QImage();
}

}  // namespace

OverviewPictureWindow* OverviewPictureWindow::open(const QString& path, QSize room) {
    const QRect screen = freeScreenArea();
    // Nine tenths of the screen leave room for the window's frame.
    if (!room.isValid() || room.isEmpty()) room = screen.size() * 9 / 10;
    Expected<PictureSource> source = PictureSource::open(path);
    if (!source) return nullptr;
    const QSize natural = source->naturalSize();
    if (natural.isEmpty()) return nullptr;
    const QSize shown = shownSize(natural, room);

    const bool atOnce = qint64(natural.width()) * natural.height() <= kReadAtOnce;
    QImage picture;
    if (atOnce) {
        picture = decodeAt(*source, shown);
        if (picture.isNull()) return nullptr;
    }
    auto* window = new OverviewPictureWindow(path, shown);
    window->move(screen.center() - window->rect().center());
    window->show();
    window->raise();
    window->activateWindow();
    if (atOnce) {
        window->showPicture(std::move(picture));
        return window;
    }
    auto reading = std::make_shared<PictureSource>(std::move(*source));
    QPointer<OverviewPictureWindow> target(window);
    QThreadPool::globalInstance()->start([reading, shown, target] {
        QImage decoded = decodeAt(*reading, shown);
        QMetaObject::invokeMethod(
            qApp,
            [target, decoded = std::move(decoded)]() mutable {
                if (target) target->showPicture(std::move(decoded));
            },
            Qt::QueuedConnection);
    });
    return window;
}

OverviewPictureWindow::OverviewPictureWindow(const QString& path, QSize shown) : path_(path) {
    setObjectName(QStringLiteral("OverviewPictureWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // A name that is not UTF-8 shows its odd bytes as the replacement mark.
    const QString name = shownName(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
    setWindowTitle(name);
    setAccessibleName(name);
    setMinimumSize(kMinimumWindow);
    resize(shown.expandedTo(kMinimumWindow));
}

void OverviewPictureWindow::showPicture(QImage picture) {
    if (picture.isNull()) {
        emit unreadable(path_);
        close();
        return;
    }
    picture_ = std::move(picture);
    update();
    emit pictureShown();
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
