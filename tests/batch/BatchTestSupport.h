// Helpers for the end-to-end tests of miniskop-batch: running the built
// program with its settings folder redirected, and making test pictures.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>

namespace miniskop::testing {

struct BatchResult {
    int exitCode = -1;
    bool normalExit = false;
    QString out;
    QString err;
};

// Path of the built program.
QString batchExecutable();

// Runs miniskop-batch with `arguments`; XDG_CONFIG_HOME points at
// `configHome`, so the user's own settings never come into play.
// `whileRunning` (optional) is called once the process has started.
BatchResult runBatchTool(const QStringList& arguments, const QString& configHome,
                         const std::function<void(QProcess&)>& whileRunning = {});

// Writes a picture with a diagonal colour gradient (and a dark disc, so the
// content is not uniform); `format` as QImage::save takes it ("BMP", "JPG",
// "PNG"), or nullptr to pick it from the suffix.
void writePicture(const QString& path, int width, int height, const char* format = nullptr);

QSize pictureSize(const QString& path);
QByteArray readAll(const QString& path);
int countOf(const QByteArray& haystack, const QByteArray& needle);

}  // namespace miniskop::testing
