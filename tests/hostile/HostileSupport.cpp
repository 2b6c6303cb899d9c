// Helpers of the hostile-input and fault-injection suites.
#include "HostileSupport.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImageReader>
#include <QMap>
#include <QPainter>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <thread>

#include "FileNameBytes.h"
#include "ProgramCopy.h"
#include "SafeFileWriter.h"

namespace miniskop::hostile {

ProcessResult runBatch(const QStringList& arguments, int timeoutMs) {
    // An empty settings home, so the user's own settings file never applies.
    static QTemporaryDir configHome;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome.path());
    process.setProcessEnvironment(env);
    process.start(testing::programCopy(QStringLiteral(MINISKOP_BATCH_EXE)), arguments);
    ProcessResult result;
    if (!process.waitForStarted(30000)) {
        ADD_FAILURE() << "miniskop-batch did not start: " << process.errorString().toStdString();
        return result;
    }
    result.finished = process.waitForFinished(timeoutMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished();
    } else {
        result.finished = process.exitStatus() == QProcess::NormalExit;
    }
    result.exitCode = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    // Under the sanitizers a finding in the child must fail the test, even
    // where the exit status alone would pass.
    for (const char* finding : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer",
                                "runtime error:", "WARNING: ThreadSanitizer"}) {
        if (result.err.contains(QLatin1String(finding)))
            ADD_FAILURE() << "miniskop-batch: " << finding << "\n" << result.err.toStdString();
    }
    return result;
}

namespace {

// Undoes the percent escapes of the page's URLs, as a browser asking the file
// system for the file does: each %XX is a byte of the name.
QString urlDecoded(const QString& text) {
    return nameFromBytes(QByteArray::fromPercentEncoding(nameToBytes(text)));
}

}  // namespace

PageCheck checkPage(const QString& path) {
    PageCheck check;
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral(MINISKOP_HOSTILE_DIR "/check_page.py"), path});
    if (!python.waitForFinished(60000)) {
        python.kill();
        python.waitForFinished();
        check.problem = QStringLiteral("check_page.py did not finish");
        return check;
    }
    const QString out = QString::fromUtf8(python.readAllStandardOutput());
    if (python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
        check.problem = out + QString::fromUtf8(python.readAllStandardError());
        return check;
    }
    check.valid = true;
    for (const QString& line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList f = line.split(QLatin1Char('\t'));
        if (f.size() != 3) {
            check.valid = false;
            check.problem = QStringLiteral("odd cell line: ") + line;
            return check;
        }
        check.cells.append({urlDecoded(f[0]), urlDecoded(f[1]), f[2]});
    }
    return check;
}

QStringList temporaryLeftovers(const QString& root) {
    QStringList found;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        if (it.fileName().startsWith(QLatin1String(kTemporaryPrefix))) found.append(it.filePath());
    }
    return found;
}

QMap<QString, QByteArray> snapshot(const QString& folder) {
    QMap<QString, QByteArray> files;
    for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden)) {
        QFile file(info.filePath());
        if (file.open(QIODevice::ReadOnly)) files.insert(info.fileName(), file.readAll());
    }
    return files;
}

QImage writeTestPicture(const QString& path, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, qRgb(255 * x / width, 255 * y / height, 100));
        }
    }
    QPainter painter(&image);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(20, 20, 40));
    painter.drawEllipse(QPointF(width / 2.0, height / 2.0), width / 4.0, height / 4.0);
    painter.end();
    // QImage::save picks the format from the suffix; names with odd
    // characters are written through a buffer so the suffix is all it sees.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const QByteArray suffix = QFileInfo(path).suffix().toUpper().toLatin1();
    EXPECT_TRUE(image.save(&buffer, suffix == "JPEG" ? "JPG" : suffix.constData(), 95));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
    return image;
}

double meanDifference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.scaled(a.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                         .convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int j = 0; j < x.height(); ++j) {
        for (int i = 0; i < x.width(); ++i) {
            const QRgb p = x.pixel(i, j), q = y.pixel(i, j);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
        }
    }
    return sum / (3.0 * x.width() * x.height());
}

bool isCompleteJpeg(const QByteArray& bytes) {
    if (!bytes.startsWith("\xFF\xD8") || !bytes.endsWith("\xFF\xD9")) return false;
    return !QImage::fromData(bytes, "JPG").isNull();
}

int openDescriptorCount() {
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

int threadCount() {
    return int(QDir(QStringLiteral("/proc/self/task"))
                   .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                   .size());
}

int settledThreadCount(int expected) {
    int count = threadCount();
    for (int i = 0; i < 200 && count != expected; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        count = threadCount();
    }
    return count;
}

}  // namespace miniskop::hostile
