// Every picture of another imaging library's test suite (image-rs, beside
// this file with its licence) through the shipped miniskop-batch, twice:
// each thumbnail against that library's rendering of the picture, laid on
// white and area-averaged to the thumbnail's size (or against a rendering by
// another independent decoder where image-rs has none, extra-references/),
// and the two runs byte for byte the same. The few pictures that are meant
// to differ or to fail are listed with their reasons. Then the pictures once
// more under valgrind's memcheck, which must find no use of memory a decoder
// left unwritten.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>

#include "ProgramCopy.h"
#include "ThumbnailSize.h"
#include "ThumbnailTestPictures.h"

namespace miniskop {
namespace {

const QString kCorpus = QStringLiteral(MINISKOP_SOURCE_DIR "/tests/corpus/image-rs");
const QString kExtra = QStringLiteral(MINISKOP_SOURCE_DIR "/tests/corpus/extra-references");
const QStringList kKinds = {"*.bmp", "*.gif", "*.ico",  "*.jpg",
                            "*.png", "*.tif", "*.tiff", "*.webp"};

// A thumbnail at the default quality (90) of a picture decoded right stays
// above this against the reference; a wrong decode (turned, shifted,
// garbled, a channel lost) falls far below.
constexpr double kMinPsnr = 26.0;
// JPEG's errors average out over a picture; a colour cast does not. The
// largest mean difference of one channel, in levels.
constexpr double kMaxCast = 5.0;

// Made: as the reference shows it (or no reference), and the same twice.
// Fails: refused with a reason. Differs: made, but unlike the reference.
// Unsteady: two runs made different thumbnails of it.
enum class Seen { Made, Fails, Differs, Unsteady };

struct Exception {
    const char* picture;  // under images/
    Seen seen;            // what the run gives instead of a match
    const char* reason;
};

// An alpha mask whose bits are 0 in every pixel.
constexpr const char* kZeroAlpha =
    "its alpha bits are 0 in every pixel; an alpha channel that is 0 everywhere is taken as no "
    "alpha at all, as Windows shows such files (image-rs issue 539); the reference and "
    "ImageMagick show the picture wholly transparent, which is all white here";

// What is seen now and why. A row that no longer applies fails the test, so
// the table stays true.
const Exception kExceptions[] = {
    {"tiff/testsuite/hpredict.tiff", Seen::Differs,
     "its alpha is associated (premultiplied); the reference takes the colours as not "
     "multiplied; ImageMagick and libtiff's RGBA reader (tiff2rgba) agree with us"},
    {"tiff/testsuite/hpredict_packbits.tiff", Seen::Differs,
     "as hpredict.tiff: associated alpha taken as unassociated by the reference"},
    {"tiff/testsuite/ycbcr_lzw_broken.tif", Seen::Fails,
     "its YCbCrCoefficients are all zero, so no colour can be computed; libtiff refuses it too "
     "(tiff2rgba: \"Invalid values for YCbCrCoefficients tag\")"},
    {"png/transparency/acid2.png", Seen::Differs,
     "2 x 2 pixels of yellow and white: the thumbnail's chroma at half resolution (4:2:0) "
     "blends them; the decoded pixels equal the reference exactly"},
    {"bmp/images/V3_A1_R5_G5_B5.bmp", Seen::Differs, kZeroAlpha},
    {"bmp/images/V3_A1_R5_G5_B5_Top_Down.bmp", Seen::Differs, kZeroAlpha},
    {"bmp/images/V3_A4_R4_G4_B4.bmp", Seen::Differs, kZeroAlpha},
    {"bmp/images/V3_A4_R4_G4_B4_Top_Down.bmp", Seen::Differs, kZeroAlpha},
};

const Exception* exceptionFor(const QString& picture) {
    for (const Exception& e : kExceptions)
        if (picture == QLatin1String(e.picture)) return &e;
    return nullptr;
}

const char* nameOf(Seen seen) {
    switch (seen) {
        case Seen::Made:
            return "made";
        case Seen::Fails:
            return "fails";
        case Seen::Differs:
            return "differs";
        case Seen::Unsteady:
            return "unsteady";
    }
    return "";
}

// The pictures under `root`, as paths relative to it, in a stable order.
QStringList picturesUnder(const QString& root) {
    QStringList pictures;
    QDirIterator it(root, kKinds, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) pictures.append(QDir(root).relativeFilePath(it.next()));
    pictures.sort();
    return pictures;
}

// The rendering a picture is compared with: image-rs's of the picture, else
// one by another decoder (also where image-rs shows an animated PNG's first
// frame and not the default image before it), else image-rs's of the first
// frame of an animation.
QString referenceFor(const QString& picture) {
    for (const QString& candidate :
         {kCorpus + "/reference/" + picture + ".png", kExtra + "/" + picture + ".png",
          kCorpus + "/reference/" + picture + ".anim_01.png"}) {
        if (QFile::exists(candidate)) return candidate;
    }
    return {};
}

// `image` laid on white where it is transparent, as the program shows it.
QImage onWhite(const QImage& image) {
    QImage out(image.size(), QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter painter(&out);
    painter.drawImage(0, 0, image);
    return out;
}

// The largest mean difference of one channel between `a` and `b` (same size).
double colourCast(const QImage& a, const QImage& b) {
    double sums[3] = {0, 0, 0};
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sums[0] += qRed(p) - qRed(q), sums[1] += qGreen(p) - qGreen(q);
            sums[2] += qBlue(p) - qBlue(q);
        }
    }
    const double n = double(a.width()) * a.height();
    return std::max({std::abs(sums[0]), std::abs(sums[1]), std::abs(sums[2])}) / n;
}

// A thumbnail's bytes without its comment segments: the record the program
// writes there names the picture's modification time, which differs from
// copy to copy.
QByteArray withoutComments(const QByteArray& jpeg) {
    QByteArray out = jpeg.left(2);
    qsizetype at = 2;
    while (at + 4 <= jpeg.size() && uchar(jpeg[at]) == 0xFF && uchar(jpeg[at + 1]) != 0xDA) {
        const qsizetype length = (uchar(jpeg[at + 2]) << 8) | uchar(jpeg[at + 3]);
        if (uchar(jpeg[at + 1]) != 0xFE) out += jpeg.mid(at, 2 + length);
        at += 2 + length;
    }
    return out + jpeg.mid(at);
}

// One run of the shipped program over a copy of the pictures: which
// pictures failed, with the reason it printed.
struct BatchRun {
    QTemporaryDir dir;
    std::map<QString, QString> failures;  // picture -> reason

    QString thumbnail(const QString& picture) const {
        const QFileInfo info(dir.filePath("images/" + picture));
        return info.path() + "/Thumbnails/t_" + info.completeBaseName() + ".jpg";
    }
};

// Copies the pictures under `from` to `to`, but for those `leaveOut` takes.
bool copyTree(const QString& from, const QString& to,
              const std::function<bool(const QString&)>& leaveOut = {}) {
    for (const QString& picture : picturesUnder(from)) {
        if (leaveOut && leaveOut(picture)) continue;
        const QString target = to + "/" + picture;
        if (!QDir().mkpath(QFileInfo(target).path()) || !QFile::copy(from + "/" + picture, target))
            return false;
    }
    return true;
}

void runOver(BatchRun& run) {
    ASSERT_TRUE(run.dir.isValid());
    const QString pictures = run.dir.filePath("images");
    ASSERT_TRUE(copyTree(kCorpus + "/images", pictures));
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", run.dir.filePath("config"));  // no settings of the user's
    process.setProcessEnvironment(env);
    process.start(testing::programCopy(QStringLiteral(MINISKOP_BATCH_EXE)),
                  {"-q", "-r", "--pattern", kKinds.join(';'), pictures});
    ASSERT_TRUE(process.waitForFinished(600000));
    ASSERT_EQ(process.exitStatus(), QProcess::NormalExit);
    // Exit status 1: some pictures failed, each named on a line of its own.
    ASSERT_LE(process.exitCode(), 1) << process.readAllStandardError().toStdString();
    const QString prefix = pictures + "/";
    for (const QString& line : QString::fromUtf8(process.readAllStandardError()).split('\n')) {
        if (!line.startsWith(prefix)) continue;
        const qsizetype colon = line.indexOf(QStringLiteral(": "), prefix.size());
        if (colon < 0) continue;
        run.failures[line.mid(prefix.size(), colon - prefix.size())] = line.mid(colon + 2);
    }
}

TEST(Corpus, EveryPictureAsAnotherDecoderShowsItAndTheSameEveryTime) {
    const QStringList pictures = picturesUnder(kCorpus + "/images");
    ASSERT_GT(pictures.size(), 100);
    BatchRun first, second;
    runOver(first);
    runOver(second);
    if (HasFatalFailure()) return;

    QStringList wrong, report;
    for (const QString& picture : pictures) {
        const Exception* exception = exceptionFor(picture);
        const QString thumbnailFile = first.thumbnail(picture);
        const auto failure = first.failures.find(picture);
        Seen seen = Seen::Made;
        QString detail;
        if (failure != first.failures.end()) {
            seen = Seen::Fails;
            detail = failure->second;
            // A failure says why, and says it every time.
            if (detail.trimmed().isEmpty() || second.failures.count(picture) != 1)
                wrong.append(picture + ": failure without reason or only once");
        } else {
            // Made twice, byte for byte the same: nothing depends on memory
            // the decoders left unwritten.
            const QByteArray bytes = withoutComments(testpics::readBytes(thumbnailFile));
            const QString referenceFile = referenceFor(picture);
            const QImage thumbnail = QImage(thumbnailFile).convertToFormat(QImage::Format_RGB32);
            if (bytes.size() < 100 || thumbnail.isNull()) {
                wrong.append(picture + ": no thumbnail");
            } else if (bytes != withoutComments(testpics::readBytes(second.thumbnail(picture)))) {
                seen = Seen::Unsteady;
            } else if (!referenceFile.isEmpty()) {
                const QImage reference = onWhite(QImage(referenceFile));
                const Expected<QSize> size = thumbnailSize(
                    float(reference.width()), float(reference.height()), 120.0f, false);
                if (!size || thumbnail.size() != *size) {
                    seen = Seen::Differs;
                    detail = QStringLiteral("%1 x %2 instead of %3 x %4")
                                 .arg(thumbnail.width())
                                 .arg(thumbnail.height())
                                 .arg(size ? size->width() : 0)
                                 .arg(size ? size->height() : 0);
                } else {
                    const QImage averaged = testpics::referenceAreaAverage(reference, *size);
                    const double psnr = testpics::psnr(thumbnail, averaged);
                    const double cast = colourCast(thumbnail, averaged);
                    detail =
                        QStringLiteral("%1 dB, cast %2").arg(psnr, 0, 'f', 1).arg(cast, 0, 'f', 1);
                    if (psnr < kMinPsnr || cast > kMaxCast) seen = Seen::Differs;
                }
            } else {
                detail = QStringLiteral("no reference");
            }
        }
        const Seen expected = exception ? exception->seen : Seen::Made;
        const QString line =
            QStringLiteral("%1: %2 (%3)").arg(picture, QLatin1String(nameOf(seen)), detail);
        report.append(line);
        if (seen != expected) {
            wrong.append(
                line + QStringLiteral(", expected ") + QLatin1String(nameOf(expected)) +
                (exception ? QStringLiteral(": ") + QLatin1String(exception->reason) : QString()));
        }
    }
    EXPECT_TRUE(wrong.isEmpty()) << wrong.join('\n').toStdString();
    if (qEnvironmentVariableIsSet("MINISKOP_CORPUS_REPORT"))
        std::printf("%s\n", qPrintable(report.join('\n')));
    // Every exception names a picture of the corpus.
    for (const Exception& e : kExceptions)
        EXPECT_TRUE(pictures.contains(QLatin1String(e.picture))) << e.picture;
}

TEST(Corpus, NoUninitialisedMemoryReachesAThumbnail) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "valgrind does not run programs built with a sanitizer";
#endif
    if (QStandardPaths::findExecutable("valgrind").isEmpty())
        GTEST_SKIP() << "needs the Debian package valgrind";
    // Every picture, one at a time through memcheck, which stops the run at the first use
    // of memory no decoder wrote (its exit status then says so).
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString pictures = dir.filePath("images");
    ASSERT_TRUE(copyTree(kCorpus + "/images", pictures));
    // And the kind whose samples Qt's TIFF reader once left partly unwritten:
    // 16-bit planes stored apart, by strips and by tiles.
    if (!QStandardPaths::findExecutable("convert").isEmpty()) {
        const QString photo = kCorpus + "/reference/jpg/progressive/cat.jpg.png";
        const QString strips = pictures + "/made/planar16.tif";
        const QString tiles = pictures + "/made/planar16-tiles.tif";
        ASSERT_TRUE(QDir().mkpath(pictures + "/made"));
        for (const QStringList& args :
             {QStringList{photo, "-depth", "16", "-interlace", "plane", strips},
              QStringList{photo, "-depth", "16", "-interlace", "plane", "-define",
                          "tiff:tile-geometry=64x64", tiles}}) {
            ASSERT_EQ(QProcess::execute("convert", args), 0);
        }
    }
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    process.setProcessEnvironment(env);
    process.start("valgrind",
                  {"--tool=memcheck", "-q", "--error-exitcode=99", "--exit-on-first-error=yes",
                   testing::programCopy(QStringLiteral(MINISKOP_BATCH_EXE)), "-q", "-j", "1", "-r",
                   "--pattern", kKinds.join(';'), pictures});
    ASSERT_TRUE(process.waitForFinished(600000));
    const QString errors = QString::fromUtf8(process.readAllStandardError());
    EXPECT_LE(process.exitCode(), 1) << errors.toStdString();
    EXPECT_FALSE(errors.contains("uninitialised")) << errors.toStdString();
}

}  // namespace
}  // namespace miniskop
