// miniskop-batch end to end over folders whose names trip the naming rule:
// thumbnails written into the picture folder, pictures named like other
// pictures' thumbnails, namesakes apart in the list, "|" and ":" in names, a
// broken first picture; and over what else stands where the program writes
// (files it did not make, links, FIFOs). No picture or other file is ever
// overwritten, every page cell shows its own picture, and each failed
// picture gets one line on stderr.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "BatchTestSupport.h"

namespace miniskop {
namespace {

using testing::BatchResult;
using testing::readAll;
using testing::runBatchTool;

class ThumbnailOwnership : public testing::BatchFolders {
protected:
    QString pic(const QString& name) const { return pics() + '/' + name; }

    // A picture of one colour; the format follows the name's content type
    // given, since names like "Foto.bmp.jpg" say little.
    void writeColoured(const QString& name, QColor colour, const char* format) {
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(colour);
        ASSERT_TRUE(image.save(pic(name), format)) << name.toStdString();
        colours[name] = colour;
        originals[name] = readAll(pic(name));
    }

    BatchResult run(QStringList arguments) {
        arguments << pics();
        return runBatchTool(arguments, config());
    }

    // Every picture still holds the bytes it was made with.
    void expectNoPictureChanged() {
        for (auto it = originals.constBegin(); it != originals.constEnd(); ++it)
            EXPECT_EQ(readAll(pic(it.key())), it.value()) << it.key().toStdString();
    }

    QMap<QString, QColor> colours;
    QMap<QString, QByteArray> originals;
};

int colourDistance(QColor a, QColor b) {
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())});
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QString percentDecoded(QString text) {
    return text.replace("%3A", ":").replace("%23", "#").replace("%3F", "?").replace("%25", "%");
}

// What stands at a path, for telling whether anything touched it: a file's
// bytes, a link's target, or its kind.
QString describe(const QString& path) {
    const QByteArray bytes = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(bytes.constData(), &st) != 0) return QStringLiteral("missing");
    if (S_ISLNK(st.st_mode)) return QStringLiteral("link to ") + QFile::symLinkTarget(path);
    if (S_ISFIFO(st.st_mode)) return QStringLiteral("fifo");
    if (S_ISDIR(st.st_mode)) return QStringLiteral("folder");
    return QStringLiteral("file ") + QString::fromLatin1(readAll(path).toHex());
}

// Nothing the program did not make is ever written over, read as a picture
// or waited for: pictures of the list, files the pattern leaves out, the
// user's own page, links and FIFOs at a thumbnail's name, a thumbnail folder
// that is a link. Each such file is named on stderr and its picture (or the
// page) counts as failed; the program's own thumbnails are no pictures.
TEST_F(ThumbnailOwnership, NothingIsWrittenOverAFileTheProgramDidNotMake) {
    struct Case {
        const char* label;
        QStringList pictures;         // made by the test, the format from the name
        std::function<void()> setUp;  // what else stands around
        QStringList arguments;
        int exitCode;
        QStringList untouched;  // below the test's root: never changed
        QString errLine;        // a line stderr holds (ROOT: the test's root)
        bool pageWritten;
        QStringList absent;  // below the test's root: never made
    };
    const auto fifo = [this](const char* path) {
        return [this, path] {
            ASSERT_TRUE(QDir().mkpath(pic("Thumbnails")));
            ASSERT_EQ(::mkfifo(QFile::encodeName(root.filePath(path)).constData(), 0644), 0);
        };
    };
    const auto link = [this](const char* target, const char* path) {
        return [this, target, path] {
            ASSERT_TRUE(QDir().mkpath(QFileInfo(root.filePath(path)).path()));
            ASSERT_TRUE(QFile::link(target, root.filePath(path)));
        };
    };
    const Case cases[] = {
        {"no affix: Foto.bmp would become Foto.jpg",
         {"Foto.bmp", "Foto.jpg"},
         {},
         {"--folder-name", "", "--prefix", ""},
         1,
         {"pics/Foto.jpg"},
         "ROOT/pics/Foto.bmp: the thumbnail ROOT/pics/Foto.jpg would overwrite the picture "
         "ROOT/pics/Foto.jpg",
         true,
         {}},
        {"a picture named like another's thumbnail",
         {"Foto.jpg", "t_Foto.jpg"},
         {},
         {"--folder-name", ""},
         1,
         {"pics/t_Foto.jpg"},
         "ROOT/pics/Foto.jpg: the thumbnail ROOT/pics/t_Foto.jpg would overwrite the picture "
         "ROOT/pics/t_Foto.jpg",
         true,
         {}},
        {"a photo the pattern leaves out where the thumbnail goes",
         {"Foto.png", "Foto.jpg"},
         {},
         {"--pattern", "*.png", "--folder-name", "", "--prefix", ""},
         1,
         {"pics/Foto.jpg"},
         "ROOT/pics/Foto.png: ROOT/pics/Foto.jpg was not made by Miniskop and is left as it is",
         true,
         {}},
        {"the user's own page where the page goes",
         {"Foto.jpg"},
         [this] { ASSERT_TRUE(writeFile(pic("index.html"), "<p>mine")); },
         {"--folder-name", "", "--page-name", "index.html"},
         1,
         {"pics/index.html"},
         "miniskop-batch: the overview page was not written: ROOT/pics/index.html was not made "
         "by Miniskop and is left as it is",
         false,
         {}},
        {"--update over a FIFO at the thumbnail's name",
         {"Foto.jpg"},
         fifo("pics/Thumbnails/t_Foto.jpg"),
         {"--update"},
         1,
         {"pics/Thumbnails/t_Foto.jpg"},
         "ROOT/pics/Foto.jpg: ROOT/pics/Thumbnails/t_Foto.jpg was not made by Miniskop and is "
         "left as it is",
         true,
         {}},
        {"--update over a link to /dev/zero at the thumbnail's name",
         {"Foto.jpg"},
         link("/dev/zero", "pics/Thumbnails/t_Foto.jpg"),
         {"--update"},
         1,
         {"pics/Thumbnails/t_Foto.jpg"},
         "ROOT/pics/Foto.jpg: ROOT/pics/Thumbnails/t_Foto.jpg was not made by Miniskop and is "
         "left as it is",
         true,
         {}},
        {"a thumbnail folder that is a link to someone else's folder",
         {"Foto.jpg"},
         [this] {
             ASSERT_TRUE(QDir().mkpath(root.filePath("victim")));
             for (const char* name : {"ThumbIndex.html", "t_Foto.jpg", ".miniskop-tmp-abc"})
                 ASSERT_TRUE(writeFile(root.filePath("victim/") + name, "mine"));
             ASSERT_TRUE(QFile::link("../victim", pic("Thumbnails")));
         },
         {},
         1,
         {"victim/ThumbIndex.html", "victim/t_Foto.jpg", "victim/.miniskop-tmp-abc",
          "pics/Thumbnails"},
         "FEHLER: Der Thumbnail-Ziel-Ordner kann nicht erstellt werden! "
         "(ROOT/pics/Thumbnails: a symbolic link, not followed)",
         false,
         {}},
        {"the program's own thumbnails in the picture folder are no pictures",
         {"Foto.jpg"},
         [this] {
             ASSERT_EQ(run({"--folder-name", ""}).exitCode, 0);
             ASSERT_TRUE(QFile::exists(pic("t_Foto.jpg")));
         },
         {"--folder-name", ""},
         0,
         {},
         "",
         true,
         {"pics/t_t_Foto.jpg"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        for (const char* folder : {"pics", "victim"})
            QDir(root.filePath(folder)).removeRecursively();
        QFile::remove(pic("Thumbnails"));  // a link left by the row before
        ASSERT_TRUE(QDir().mkpath(pics()));
        originals.clear();
        int hue = 0;
        for (const QString& name : c.pictures) {
            const char* format = name.endsWith(".bmp")   ? "BMP"
                                 : name.endsWith(".png") ? "PNG"
                                                         : "JPG";
            writeColoured(name, QColor::fromHsv(hue += 90, 200, 200), format);
        }
        if (c.setUp) c.setUp();
        if (HasFatalFailure()) return;
        QMap<QString, QString> before;
        for (const QString& path : c.untouched) before[path] = describe(root.filePath(path));

        const BatchResult r = run(c.arguments);
        ASSERT_TRUE(r.normalExit);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err.toStdString();
        expectNoPictureChanged();
        for (const QString& path : c.untouched)
            EXPECT_EQ(describe(root.filePath(path)), before[path]) << path.toStdString();
        for (const QString& path : c.absent)
            EXPECT_EQ(describe(root.filePath(path)), "missing") << path.toStdString();
        if (c.errLine.isEmpty()) {
            EXPECT_EQ(r.err, QString());
        } else {
            const QString line = QString(c.errLine).replace("ROOT", root.path()) + '\n';
            EXPECT_TRUE(r.err.contains(line)) << r.err.toStdString();
        }
        const QString page =
            pics() + (c.arguments.contains("--folder-name") ? "/" : "/Thumbnails/");
        EXPECT_EQ(r.out.contains(page), c.pageWritten) << r.out.toStdString();
    }
}

// Pictures of distinct colours under every awkward name at once, in the
// picture folder itself: each cell's SRC must show the colour of the picture
// its link names (a neutral grey for the broken one), and nothing is lost.
TEST_F(ThumbnailOwnership, EveryCellShowsItsOwnPicture) {
    const QStringList modes[] = {{"--folder-name", ""},
                                 {"--folder-name", "", "--suffix", "_t"},
                                 {"--folder-name", "", "--prefix", ""}};
    for (const QStringList& mode : modes) {
        SCOPED_TRACE(mode.join(' ').toStdString());
        QDir(pics()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(pics()));
        originals.clear();
        colours.clear();
        writeColoured("Foto.jpg", QColor(220, 30, 30), "JPG");
        writeColoured("t_Foto.jpg", QColor(30, 220, 30), "JPG");
        writeColoured("Foto.bmp", QColor(30, 30, 220), "BMP");
        writeColoured("Foto.bmp.jpg", QColor(220, 220, 30), "JPG");
        writeColoured("a|b.jpg", QColor(30, 220, 220), "JPG");
        writeColoured("Bild:1.jpg", QColor(220, 30, 220), "JPG");
        {
            QFile broken(pic("0kaputt.jpg"));  // first in the list
            ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
            broken.write("kein Bild");
        }

        const BatchResult r = run(mode + QStringList{"--pattern", "*.jpg;*.bmp"});
        ASSERT_TRUE(r.normalExit);
        EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
        expectNoPictureChanged();

        // One line per failed picture, naming it once, and nothing else loose.
        QMap<QString, int> linesOf;
        for (const QString& line : r.err.split('\n', Qt::SkipEmptyParts)) {
            if (line.startsWith("miniskop-batch: ")) continue;
            const QString named = line.section(": ", 0, 0);
            EXPECT_TRUE(originals.contains(named.mid(pics().size() + 1)) ||
                        named == pic("0kaputt.jpg"))
                << line.toStdString();
            EXPECT_EQ(line.count(named), 1) << line.toStdString();
            ++linesOf[named];
        }
        EXPECT_EQ(linesOf.value(pic("0kaputt.jpg")), 1) << r.err.toStdString();
        for (auto it = linesOf.constBegin(); it != linesOf.constEnd(); ++it)
            EXPECT_EQ(it.value(), 1) << it.key().toStdString();

        const QByteArray html = readAll(pic("ThumbIndex.html"));
        const QRegularExpression cellPattern(
            "WIDTH='(\\d+)' HEIGHT='(\\d+)' SRC='([^']*)'.*?href='\\.\\./([^']*)'");
        int cells = 0;
        for (auto it = cellPattern.globalMatch(QString::fromLatin1(html)); it.hasNext(); ++cells) {
            const QRegularExpressionMatch m = it.next();
            const QString picture = m.captured(4);
            const QString source = percentDecoded(m.captured(3));
            SCOPED_TRACE(picture.toStdString());
            // Without an affix the broken picture's thumbnail would be the
            // picture itself: its cell shows that file, which shows nothing.
            if (picture == "0kaputt.jpg" && source == picture) continue;
            const QImage shown(pic(source));
            ASSERT_FALSE(shown.isNull()) << m.captured(3).toStdString();
            EXPECT_GT(m.captured(1).toInt(), 0);
            EXPECT_GT(m.captured(2).toInt(), 0);
            const QColor middle = shown.pixelColor(shown.width() / 2, shown.height() / 2);
            const QColor expected = colours.value(picture, QColor(240, 240, 240));
            EXPECT_LE(colourDistance(middle, expected), 12) << m.captured(3).toStdString();
        }
        EXPECT_EQ(cells, 7);
    }
}

}  // namespace
}  // namespace miniskop
