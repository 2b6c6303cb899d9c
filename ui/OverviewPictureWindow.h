// A window of its own for one original picture, opened from a link on the
// overview page. The picture is decoded by the program's own reader, so every
// kind of picture the program makes thumbnails of shows here, metafiles and
// BMPs included, whether or not the desktop has a viewer for it.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <QWidget>

namespace miniskop {

class OverviewPictureWindow : public QWidget {
    Q_OBJECT
public:
    // Opens a window on the picture at `path`, no larger than `room` (the
    // screen's free area when not given); nullptr when the file cannot be
    // read as a picture.
    static OverviewPictureWindow* open(const QString& path, QSize room = QSize());

    // The picture as decoded: its natural size, or less where that does not
    // fit in the room given.
    const QImage& picture() const { return picture_; }
    QString path() const { return path_; }

    // Where the picture is drawn in the window: fitted into it, never
    // enlarged, centred.
    QRect pictureRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    OverviewPictureWindow(const QString& path, QImage picture);
    QString path_;
    QImage picture_;
};

}  // namespace miniskop
