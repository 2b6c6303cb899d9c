// miniskop-batch end to end over folders whose names trip the naming rule:
// thumbnails written into the picture folder, pictures named like other
// pictures' thumbnails, namesakes apart in the list, "|" and ":" in names, a
// broken first picture. No picture is ever overwritten, every page cell shows
// its own picture, and each failed picture gets one line on stderr.
#include <gtest/gtest.h>

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

QString percentDecoded(QString text) {
    return text.replace("%3A", ":").replace("%23", "#").replace("%3F", "?").replace("%25", "%");
}

TEST_F(ThumbnailOwnership, NoThumbnailIsWrittenOverAPictureOfTheList) {
    struct Case {
        const char* label;
        QStringList arguments;
        QStringList pictures;  // sorted as the list has them
        const char* refused;   // picture that counts as failed
        const char* overwritten;
    };
    const Case cases[] = {
        {"no affix: Foto.bmp would become Foto.jpg",
         {"--folder-name", "", "--prefix", ""},
         {"Foto.bmp", "Foto.jpg"},
         "Foto.bmp",
         "Foto.jpg"},
        {"a picture named like another's thumbnail",
         {"--folder-name", ""},
         {"Foto.jpg", "t_Foto.jpg"},
         "Foto.jpg",
         "t_Foto.jpg"},
        {"the picture folder spelled as '.'",
         {"--folder-name", ".", "--suffix", ""},
         {"Foto.jpg"},
         "Foto.jpg",
         "Foto.jpg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        QDir(pics()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(pics()));
        originals.clear();
        int hue = 0;
        for (const QString& name : c.pictures)
            writeColoured(name, QColor::fromHsv(hue += 90, 200, 200),
                          name.endsWith(".bmp") ? "BMP" : "JPG");

        const BatchResult r = run(c.arguments);
        ASSERT_TRUE(r.normalExit);
        EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
        expectNoPictureChanged();
        const QString reason =
            c.overwritten == QLatin1String(c.refused)
                ? QStringLiteral("the thumbnail would overwrite the picture itself")
                : "the thumbnail " + pic(c.overwritten) + " would overwrite the picture " +
                      pic(c.overwritten);
        EXPECT_TRUE(r.err.contains(pic(c.refused) + ": " + reason + "\n")) << r.err.toStdString();
        EXPECT_TRUE(r.out.contains("ThumbIndex.html")) << "the page is still written";
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
