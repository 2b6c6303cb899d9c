// Running miniskop-batch as a child process and making test pictures.
#include "BatchTestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QProcessEnvironment>

#include "ProgramCopy.h"

namespace miniskop::testing {

QString batchExecutable() { return programCopy(QStringLiteral(MINISKOP_BATCH_EXE)); }

BatchResult runBatchTool(const QStringList& arguments, const QString& configHome,
                         const std::function<void(QProcess&)>& whileRunning) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    process.setProcessEnvironment(env);
    process.start(batchExecutable(), arguments);
    BatchResult result;
    if (!process.waitForStarted(30000)) {
        ADD_FAILURE() << "miniskop-batch did not start: " << process.errorString().toStdString();
        return result;
    }
    if (whileRunning) whileRunning(process);
    if (!process.waitForFinished(300000)) {
        ADD_FAILURE() << "miniskop-batch did not finish";
        process.kill();
        process.waitForFinished();
    }
    result.normalExit = process.exitStatus() == QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

void writePicture(const QString& path, int width, int height, const char* format) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, qRgb(255 * x / width, 255 * y / height, 128));
        }
    }
    QPainter painter(&image);
    painter.setBrush(QColor(30, 30, 60));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(width / 2.0, height / 2.0), width / 4.0, height / 4.0);
    painter.end();
    ASSERT_TRUE(image.save(path, format)) << path.toStdString();
}

QSize pictureSize(const QString& path) { return QImageReader(path).size(); }

QByteArray readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

int countOf(const QByteArray& haystack, const QByteArray& needle) {
    int count = 0;
    for (qsizetype at = haystack.indexOf(needle); at >= 0;
         at = haystack.indexOf(needle, at + needle.size())) {
        ++count;
    }
    return count;
}

}  // namespace miniskop::testing
