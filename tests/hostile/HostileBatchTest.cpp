// miniskop-batch over a folder of good pictures with awkward names mixed with
// broken, hostile and special files named like pictures. Whatever the folder
// holds, the run must end (every run has a time limit here), the good
// pictures' thumbnails must be right, the page must be valid markup that
// lists every listed picture, and each picture that failed must be named on
// stderr.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>

#include "FileNameBytes.h"
#include "HostileFiles.h"
#include "HostileSupport.h"
#include "ThumbnailSize.h"

namespace miniskop::hostile {
namespace {

const QString kAllTypes =
    QStringLiteral("*.bmp;*.jpg;*.jpeg;*.gif;*.wmf;*.png;*.tif;*.heic;*.avif;*.jxl");

QByteArray seed(const char* name) {
    QFile file(QStringLiteral(MINISKOP_FUZZ_DIR "/corpus/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct GoodPicture {
    QString name;
    int width;
    int height;
};

// Pictures that must come out right, their names full of characters that
// break naive markup, URLs or shell quoting.
const GoodPicture kGood[] = {
    {"Blume.jpg", 200, 150},    {"mit Leerzeichen.bmp", 50, 30},
    {"O'Brien.png", 40, 64},    {"A&B.jpg", 90, 60},
    {"Nr#1.jpg", 60, 90},       {"100%.jpeg", 130, 20},
    {"a<b>c.png", 33, 33},      {"Größe äöü.jpg", 80, 80},
    {"写真.jpg", 70, 50},       {"Frage?.bmp", 20, 40},
    {"Zeile\nneu.jpg", 44, 30}, {"Esc\x1b[31m.png", 30, 44},
};

class HostileFolder : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        folder_ = dir_.path();
        for (const GoodPicture& p : kGood) {
            pictures_.insert(p.name, writeTestPicture(folder_ + '/' + p.name, p.width, p.height));
        }
    }

    QString path(const QString& name) const { return folder_ + '/' + name; }
    QString thumbs() const { return folder_ + QStringLiteral("/Thumbnails"); }

    // Checks the good pictures' thumbnails and returns the page's cells.
    void expectGoodThumbnails() {
        for (const GoodPicture& p : kGood) {
            SCOPED_TRACE(p.name.toStdString());
            const QString stem = p.name.left(p.name.lastIndexOf('.'));
            const QString thumb = thumbs() + QStringLiteral("/t_") + stem + QStringLiteral(".jpg");
            QFile file(thumb);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "no thumbnail";
            const QByteArray bytes = file.readAll();
            EXPECT_TRUE(isCompleteJpeg(bytes));
            const QImage image = QImage::fromData(bytes, "JPG");
            const Expected<QSize> want = thumbnailSize(p.width, p.height, 120, false);
            ASSERT_TRUE(want.has_value());
            EXPECT_EQ(image.size(), *want);
            EXPECT_LT(meanDifference(image, pictures_.value(p.name)), 12.0);
        }
    }

    QTemporaryDir dir_;
    QString folder_;
    QMap<QString, QImage> pictures_;
};

TEST_F(HostileFolder, BrokenAndHostilePicturesAreNamedAndTheOthersComeOutRight) {
    QByteArray jpeg;
    {
        QFile f(path("Blume.jpg"));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        jpeg = f.readAll();
    }
    // Files that cannot give a picture at all: each must be named on stderr.
    const QMap<QString, QByteArray> mustFail = {
        {"leer.jpg", QByteArray()},
        {"zufall-a.jpg", randomBytes(3000, 1)},
        {"zufall-b.bmp", randomBytes(3000, 2)},
        {"zufall-c.gif", randomBytes(3000, 3)},
        {"zufall-d.wmf", randomBytes(3000, 4)},
        {"zufall-e.png", randomBytes(3000, 5)},
        {"nur-kopf.jpg", jpeg.left(20)},
        {"riesig-p.png", pngClaiming(60000, 60000)},
        {"falsche-farbe.png", pngClaiming(16, 16, 5)},  // no such colour type
        {"kaputt-gross.wmf", metafileWithRecordSize(0x7FFFFFFFu)},
        {"kaputt-null.wmf", metafileWithRecordSize(0)},
        // A 1 x 1 frame on a 65535 x 65535 logical screen, which the GIF
        // reader would decode whole: 16 GB, beyond the decoding limit.
        {"riesig-g.gif", gifWithScreen(65535, 65535)},
        // Newer formats: headers claiming 60000 x 60000, files cut in half,
        // and random bytes behind a real signature.
        {"riesig-t.tif", tiffClaiming(60000, 60000)},
        {"riesig-h.heic", heifClaiming(seed("heif/small.heic"), 60000, 60000)},
        {"halb-h.heic", seed("heif/small.heic").left(300)},
        {"halb-a.avif", seed("heif/small.avif").left(250)},
        {"halb-x.jxl", seed("jxl/lossy.jxl").left(112)},
        {"halb-t.tif", seed("tiff/rgb-lzw.tif").left(735)},
        {"zufall-h.heic", QByteArray("\0\0\0\x18"
                                     "ftypheic\0\0\0\0mif1heic",
                                     24) +
                              randomBytes(900, 6)},
        {"zufall-x.jxl", QByteArray("\xff\x0a", 2) + randomBytes(900, 7)},
        {"zufall-t.tif", QByteArray("II*\0\x08\0\0\0", 8) + randomBytes(900, 8)},
    };
    // Files a decoder may partly show (libjpeg fills a cut-off scan with grey)
    // or refuse; either is fine, but a refusal must be named.
    const QMap<QString, QByteArray> mayFail = {
        {"halb.jpg", jpeg.left(jpeg.size() / 2)},
        {"riesig-j.jpg", jpegClaiming(jpeg, 60000, 60000)},
        // A screen wider than the reader tells: shown at the told size.
        {"breit-g.gif", gifWithScreen(2100, 1)},
    };
    for (auto it = mustFail.begin(); it != mustFail.end(); ++it) {
        ASSERT_TRUE(writeFile(path(it.key()), it.value()));
    }
    for (auto it = mayFail.begin(); it != mayFail.end(); ++it) {
        ASSERT_TRUE(writeFile(path(it.key()), it.value()));
    }
    // A name that would drive the terminal (clear it, set its title) is
    // named with its control characters shown as "?".
    const QString driving = QStringLiteral("kaputt\x1b[2J\x1b]0;x\x07.jpg");
    ASSERT_TRUE(writeFile(path(driving), randomBytes(3000, 9)));
    // Things named like pictures that are no files: never listed, never opened.
    ASSERT_TRUE(QDir(folder_).mkdir("ordner.jpg"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo.jpg")).constData(), 0644), 0);
    ASSERT_TRUE(QFile::link(path("gibt-es-nicht.bmp"), path("weg.jpg")));
    ASSERT_TRUE(QFile::link(path("fifo.jpg"), path("fifo-link.gif")));

    const ProcessResult result = runBatch({"--pattern", kAllTypes, "--quiet", folder_});
    ASSERT_TRUE(result.finished) << "the run did not end";
    EXPECT_EQ(result.exitCode, 1) << result.err.toStdString();

    expectGoodThumbnails();

    for (auto it = mustFail.begin(); it != mustFail.end(); ++it) {
        EXPECT_TRUE(result.err.contains(path(it.key())))
            << it.key().toStdString() << " not named on stderr:\n"
            << result.err.toStdString();
    }
    EXPECT_TRUE(result.err.contains(path(QStringLiteral("kaputt?[2J?]0;x?.jpg"))));
    EXPECT_FALSE(result.err.contains(QChar(0x1b))) << result.err.toStdString();
    // One line per failed picture, naming it once; the decoders' own messages
    // never go to stderr on their own.
    for (const QString& line : result.err.split('\n', Qt::SkipEmptyParts)) {
        if (line.startsWith("miniskop-batch: ")) continue;
        const QString named = line.section(": ", 0, 0);
        EXPECT_TRUE(named.startsWith(folder_ + '/')) << "loose: " << line.toStdString();
        EXPECT_EQ(line.count(named), 1) << line.toStdString();
        EXPECT_EQ(result.err.count(named + ": "), 1) << line.toStdString();
    }
    for (auto it = mayFail.begin(); it != mayFail.end(); ++it) {
        const QString stem = it.key().left(it.key().lastIndexOf('.'));
        const QByteArray thumb = [&] {
            QFile f(thumbs() + "/t_" + stem + ".jpg");
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        EXPECT_TRUE(result.err.contains(path(it.key())) || isCompleteJpeg(thumb))
            << it.key().toStdString() << ": neither a thumbnail nor named";
    }
    for (const char* special : {"ordner.jpg", "fifo.jpg", "weg.jpg", "fifo-link.gif"}) {
        EXPECT_FALSE(result.err.contains(path(special))) << special;
        EXPECT_FALSE(QFile::exists(thumbs() + "/t_" + QString(special).section('.', 0, 0) + ".jpg"))
            << special;
    }

    // The page: valid markup, one cell per listed file, in name order, each
    // linking its own thumbnail and picture.
    const PageCheck page = checkPage(thumbs() + "/ThumbIndex.html");
    ASSERT_TRUE(page.valid) << page.problem.toStdString();
    QStringList listed;
    for (const GoodPicture& p : kGood) listed.append(p.name);
    listed += mustFail.keys();
    listed += mayFail.keys();
    listed += driving;
    ASSERT_EQ(page.cells.size(), listed.size());
    QStringList hrefs;
    for (const PageCell& cell : page.cells) {
        hrefs.append(cell.href);
        const QString name = cell.href.mid(3);
        EXPECT_EQ(cell.src, "t_" + name.left(name.lastIndexOf('.')) + ".jpg");
    }
    for (const QString& name : listed)
        EXPECT_TRUE(hrefs.contains("../" + name)) << name.toStdString();

    EXPECT_TRUE(temporaryLeftovers(folder_).isEmpty());
}

TEST_F(HostileFolder, NamesThatAreNotUtf8AreCarriedAsTheirBytes) {
    // Raw bytes no UTF-8 decoder accepts, as archives from older systems
    // hold them (Latin-1): two names that only such bytes tell apart, and a
    // folder named so below the picture folder.
    QFile good(path("Blume.jpg"));
    ASSERT_TRUE(good.open(QIODevice::ReadOnly));
    const QByteArray jpeg = good.readAll();
    const QByteArray folderBytes = QFile::encodeName(folder_);
    for (const QByteArray& name : {QByteArray("kaputt-\xff\xfe-\xc3.jpg"),
                                   QByteArray("Gr\xfcn.jpg"), QByteArray("Gr\xe4n.jpg")})
        ASSERT_TRUE(writeRawName(folder_, name, jpeg));
    // Qt's own file classes cannot name these; the test uses the bytes.
    const auto rawFile = [](const QByteArray& at) {
        QFile file;
        const int fd = ::open(at.constData(), O_RDONLY | O_CLOEXEC);
        return fd >= 0 && file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)
                   ? file.readAll()
                   : QByteArray();
    };
    const QByteArray below = folderBytes + "/Ordner-\xe4";
    ASSERT_EQ(::mkdir(below.constData(), 0755), 0);
    ASSERT_EQ(::link((folderBytes + "/Blume.jpg").constData(), (below + "/bild.jpg").constData()),
              0);

    const ProcessResult result = runBatch({"--pattern", kAllTypes, "--quiet", "-r", folder_});
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    expectGoodThumbnails();
    for (const QByteArray& thumb :
         {QByteArray("/Thumbnails/t_kaputt-\xff\xfe-\xc3.jpg"),
          QByteArray("/Thumbnails/t_Gr\xfcn.jpg"), QByteArray("/Thumbnails/t_Gr\xe4n.jpg"),
          QByteArray("/Ordner-\xe4/Thumbnails/t_bild.jpg")}) {
        EXPECT_TRUE(isCompleteJpeg(rawFile(folderBytes + thumb))) << thumb.toHex().toStdString();
    }
    // The links ask for exactly those bytes; the captions show a mark.
    const PageCheck page = checkPage(thumbs() + "/ThumbIndex.html");
    ASSERT_TRUE(page.valid) << page.problem.toStdString();
    EXPECT_EQ(page.cells.size(), int(std::size(kGood)) + 3);
    QStringList hrefs;
    for (const PageCell& cell : page.cells) hrefs.append(cell.href);
    for (const char* name : {"kaputt-\xff\xfe-\xc3.jpg", "Gr\xfcn.jpg", "Gr\xe4n.jpg"})
        EXPECT_TRUE(hrefs.contains("../" + nameFromBytes(name))) << name;
    EXPECT_TRUE(rawFile(below + "/Thumbnails/ThumbIndex.html").startsWith("<HTML>"));
    EXPECT_TRUE(temporaryLeftovers(folder_).isEmpty());
}

TEST_F(HostileFolder, AFifoNamedLikeAPictureNeverBlocks) {
    // Only special files besides one picture: the FIFO has no writer, so any
    // attempt to open it would wait for ever.
    const QString lone = folder_ + "/allein";
    ASSERT_TRUE(QDir().mkdir(lone));
    writeTestPicture(lone + "/bild.jpg", 30, 30);
    ASSERT_EQ(::mkfifo(QFile::encodeName(lone + "/rohr.jpg").constData(), 0644), 0);
    ASSERT_TRUE(QFile::link(lone + "/rohr.jpg", lone + "/rohr-link.bmp"));
    const ProcessResult result = runBatch({"--quiet", lone}, 60000);
    ASSERT_TRUE(result.finished) << "blocked on the FIFO";
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(QFile::exists(lone + "/Thumbnails/t_bild.jpg"));
}

}  // namespace
}  // namespace miniskop::hostile
