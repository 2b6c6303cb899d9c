// Drive1, the drive list: one entry per mounted file system, the root file
// system first, pseudo file systems left out. Drive() is the chosen file
// system's mount point, which the folder list accepts as a path.
#pragma once

#include <QComboBox>
#include <QList>
#include <QString>

namespace miniskop {

class DriveList : public QComboBox {
    Q_OBJECT
public:
    struct Volume {
        QString rootPath;     // mount point, e.g. "/" or "/media/usb"
        QString displayName;  // label or device, may be empty
    };

    explicit DriveList(QWidget* parent = nullptr);

    // Mount point of the chosen entry.
    QString Drive() const;

    // Shows the entry whose file system holds `path`, without a change event.
    void selectDriveOf(const QString& path);

    // Replaces the entries (the constructor fills them from the mounted file
    // systems); keeps the given order.
    void setVolumes(const QList<Volume>& volumes);

    // The mounted file systems worth offering, root first, then by mount point.
    static QList<Volume> mountedVolumes();
    // Whether a file system type is a kernel or runtime pseudo file system.
    static bool isPseudoFileSystem(const QByteArray& type, const QString& rootPath);

signals:
    // The user picked an entry (Drive1_Change).
    void driveChanged();
};

}  // namespace miniskop
