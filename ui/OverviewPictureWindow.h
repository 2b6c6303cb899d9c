// A window of its own for one original picture, opened from a link on the
// overview page. The picture is decoded by the program's own reader, so every
// kind of picture the program makes thumbnails of shows here, metafiles and
// BMPs included, whether or not the desktop has a viewer for it. A large
// picture is read on a worker thread while its window already shows, so the
// program never stops answering while a panorama or a scan is read.
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
    // read as a picture. A picture of more than kReadAtOnce pixels is read
    // after the window shows: pictureShown() tells when it is there, and
    // unreadable() that its data turned out damaged (the window then closes).
    static OverviewPictureWindow* open(const QString& path, QSize room = QSize());

    static constexpr qint64 kReadAtOnce = qint64(4) << 20;

    // The picture as decoded: its natural size, or less where that does not
    // fit in the room given. Null while a large picture is being read.
    const QImage& picture() const { return picture_; }
    QString path() const { return path_; }

    // Where the picture is drawn in the window: fitted into it, never
    // enlarged, centred.
    QRect pictureRect() const;

signals:
    void pictureShown();
    void unreadable(const QString& path);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    OverviewPictureWindow(const QString& path, QSize shown);
    void showPicture(QImage picture);
    QString path_;
    QImage picture_;
};

}  // namespace miniskop
