// Helpers for the end-to-end tests of miniskop-batch: running the built
// program with its settings folder redirected, a fixture with folders of the
// test's own, and making test pictures.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QProcess>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

namespace miniskop::testing {

struct BatchResult {
    int exitCode = -1;
    bool normalExit = false;
    QString out;
    QString err;
};

// Path of a copy of the built program in a folder of its own: the program
// reads a Miniskop.ini beside itself first, and the build tree may hold one.
QString batchExecutable();

// Runs miniskop-batch with `arguments`; XDG_CONFIG_HOME points at
// `configHome`, so the user's own settings never come into play.
// `whileRunning` (optional) is called once the process has started.
BatchResult runBatchTool(const QStringList& arguments, const QString& configHome,
                         const std::function<void(QProcess&)>& whileRunning = {});

// A picture folder and a settings folder under a temporary root.
class BatchFolders : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        ASSERT_TRUE(QDir().mkpath(pics()));
        ASSERT_TRUE(QDir().mkpath(config()));
    }

    QString pics() const { return root.filePath("pics"); }
    QString config() const { return root.filePath("config"); }

    QTemporaryDir root;
};

// Writes a picture with a diagonal colour gradient (and a dark disc, so the
// content is not uniform); `format` as QImage::save takes it ("BMP", "JPG",
// "PNG"), or nullptr to pick it from the suffix.
void writePicture(const QString& path, int width, int height, const char* format = nullptr);

QSize pictureSize(const QString& path);
QByteArray readAll(const QString& path);
int countOf(const QByteArray& haystack, const QByteArray& needle);

}  // namespace miniskop::testing
