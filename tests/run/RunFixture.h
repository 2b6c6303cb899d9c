// Shared set-up for the run's tests: a temporary picture folder with generated
// pictures, a recording host listing it, and the run under test.
#pragma once

#include <gtest/gtest.h>

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "QtPrinters.h"
#include "RecordingHost.h"
#include "ThumbnailRun.h"

namespace miniskop::testing {

class RunFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pictures.isValid());
        folder = pictures.path();
    }

    // Writes a picture of one colour; the format follows the extension.
    void writePicture(const QString& name, int width, int height, QColor color = Qt::red) {
        QImage img(width, height, QImage::Format_RGB32);
        img.fill(color);
        ASSERT_TRUE(img.save(at(name))) << name.toStdString();
    }

    void writeBytes(const QString& name, const QByteArray& bytes) {
        QFile f(at(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << name.toStdString();
        f.write(bytes);
    }

    // Lists the folder (pattern "*.*") and clicks Command1 once.
    void listAndRun() {
        ASSERT_TRUE(host.list.setPath(folder));
        run.Command1_Click();
    }

    QString at(const QString& name) const { return folder + QLatin1Char('/') + name; }
    QString thumbs() const { return at(QStringLiteral("Thumbnails")); }

    static QByteArray readAll(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir pictures;
    QString folder;
    RecordingHost host;
    ThumbnailRun run{host};
};

}  // namespace miniskop::testing
