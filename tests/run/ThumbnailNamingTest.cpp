// The thumbnail naming rule as the run applies it, picture by picture in list
// order: affixes, version tags, folder names, and no thumbnail path given to
// two pictures of one list.
#include <gtest/gtest.h>

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>

#include "FileNames.h"
#include "QtPrinters.h"
#include "ThumbnailNaming.h"

namespace miniskop {
namespace {

// The path the run gives `entry` when `before`, if any, stands just before it
// in the list.
QString thumbnailJpegPath(const QString& pictureFolder, const QString& entry,
                          const std::optional<QString>& before, const ThumbSettings& settings) {
    const QString thumbFolder = thumbnailFolder(pictureFolder, settings);
    ThumbnailNamer namer;
    if (before) namer.next(thumbFolder, *before, settings);
    return namer.next(thumbFolder, entry, settings);
}

ThumbSettings prefixSettings() {
    ThumbSettings s;
    s.optE = true;
    return s;
}

ThumbSettings suffixSettings() {
    ThumbSettings s;
    s.optE = false;
    return s;
}

struct NamingCase {
    const char* entry;
    const char* before;  // nullptr: first entry
    const char* prefixPath;
    const char* suffixPath;
};

TEST(ThumbnailNaming, PrefixAndSuffixPaths) {
    const NamingCase cases[] = {
        {"Foto.jpg", nullptr, "/Bilder/Thumbnails/t_Foto.jpg", "/Bilder/Thumbnails/Foto_t.jpg"},
        {"Foto.jpg", "Foto.bmp", "/Bilder/Thumbnails/t_Foto[jpg-Version].jpg",
         "/Bilder/Thumbnails/Foto[jpg-Version]_t.jpg"},
        {"Karte.GIF", "Foto.jpg", "/Bilder/Thumbnails/t_Karte.jpg",
         "/Bilder/Thumbnails/Karte_t.jpg"},
        {"a.b.c.bmp", nullptr, "/Bilder/Thumbnails/t_a.b.c.jpg", "/Bilder/Thumbnails/a.b.c_t.jpg"},
        {"README", nullptr, "/Bilder/Thumbnails/t_README.jpg", "/Bilder/Thumbnails/README_t.jpg"},
        // An empty base name equals the empty "previous" of the first entry.
        {".jpg", nullptr, "/Bilder/Thumbnails/t_[jpg-Version].jpg",
         "/Bilder/Thumbnails/[jpg-Version]_t.jpg"},
        // Case matters: no tag.
        {"Foto.jpg", "foto.bmp", "/Bilder/Thumbnails/t_Foto.jpg", "/Bilder/Thumbnails/Foto_t.jpg"},
    };
    for (const NamingCase& c : cases) {
        SCOPED_TRACE(c.entry);
        const QString entry = QString::fromUtf8(c.entry);
        const std::optional<QString> before =
            c.before ? std::optional(QString::fromUtf8(c.before)) : std::nullopt;
        for (const QString& folder : {QStringLiteral("/Bilder"), QStringLiteral("/Bilder/")}) {
            EXPECT_EQ(thumbnailJpegPath(folder, entry, before, prefixSettings()),
                      QString::fromUtf8(c.prefixPath));
            EXPECT_EQ(thumbnailJpegPath(folder, entry, before, suffixSettings()),
                      QString::fromUtf8(c.suffixPath));
        }
    }
}

// A run's list, named picture by picture as the run does: the tag from the
// neighbour first, then whatever keeps two pictures off one thumbnail.
TEST(ThumbnailNaming, NoTwoPicturesOfARunShareAThumbnail) {
    struct Case {
        QStringList entries;  // in list order
        QStringList names;    // prefix mode, "t_"
    };
    const Case cases[] = {
        // Neighbours: the tag comes from the entry just before.
        {{"Foto.bmp", "Foto.gif", "Foto.jpg", "Karte.jpg"},
         {"t_Foto.jpg", "t_Foto[gif-Version].jpg", "t_Foto[jpg-Version].jpg", "t_Karte.jpg"}},
        // Namesakes with another picture between them.
        {{"Foto.bmp", "Foto.bmp.jpg", "Foto.jpg"},
         {"t_Foto.jpg", "t_Foto.bmp.jpg", "t_Foto[jpg-Version].jpg"}},
        {{"Bild.gif", "Bild.interlaced.gif", "Bild.jpeg"},
         {"t_Bild.jpg", "t_Bild.interlaced.jpg", "t_Bild[jpeg-Version].jpg"}},
        // The version tag itself taken: numbered.
        {{"a.png", "a[png-Version].jpg", "a.b.png", "a.png.x", "a.png"},
         {"t_a.jpg", "t_a[png-Version].jpg", "t_a.b.jpg", "t_a.png.jpg", "t_a[png-Version-2].jpg"}},
        // Case decides: two names that differ in case are two names.
        {{"foto.bmp", "Foto.jpg"}, {"t_foto.jpg", "t_Foto.jpg"}},
    };
    ThumbSettings settings;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entries.join(' ').toStdString());
        ThumbnailNamer namer;
        QStringList names;
        for (const QString& entry : c.entries)
            names.append(Dateiname_mit_Extension(namer.next("/nirgends", entry, settings)));
        EXPECT_EQ(names, c.names);
    }
}

// Another run writing the same folder replaces our files, and the file system
// may hand a freed file number to a file under another name: only our own
// file still standing at the path it was written at takes a name.
TEST(ThumbnailNaming, AFileNoLongerWhereThisRunWroteItTakesNoName) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString written = dir.filePath("t_a.jpg");
    const QString elsewhere = dir.filePath("t_b.jpg");
    ThumbSettings settings;
    ThumbnailNamer namer;
    ASSERT_EQ(namer.next(dir.path(), "a.png", settings), written);
    ASSERT_TRUE(QFile(written).open(QIODevice::WriteOnly));
    namer.recordWritten(written);
    ASSERT_TRUE(QFile::rename(written, elsewhere));  // the same file, now named t_b.jpg
    EXPECT_EQ(namer.next(dir.path(), "b.png", settings), elsewhere);
}

TEST(ThumbnailNaming, AffixesAndFolderNameLoseOuterBlanksOnly) {
    ThumbSettings s;
    s.zusatzAnfang = QStringLiteral("  klein _ ");
    s.zusatzEnde = QStringLiteral("\t_t ");
    s.nameOrdner = QStringLiteral("  Meine Thumbs  ");
    EXPECT_EQ(thumbnailJpegPath(QStringLiteral("/B"), QStringLiteral("x.png"), std::nullopt, s),
              QStringLiteral("/B/Meine Thumbs/klein _x.jpg"));
    s.optE = false;
    // Only blanks are trimmed; a tab stays part of the affix.
    EXPECT_EQ(thumbnailStem(QStringLiteral("x.png"), QString(), s), QStringLiteral("x\t_t"));
}

TEST(ThumbnailNaming, EmptyFolderNameIsThePictureFolder) {
    ThumbSettings s;
    s.nameOrdner = QStringLiteral("   ");
    EXPECT_EQ(thumbnailFolder(QStringLiteral("/Bilder"), s), QStringLiteral("/Bilder/"));
    // One separator, not the folder's and another.
    EXPECT_EQ(
        thumbnailJpegPath(QStringLiteral("/Bilder"), QStringLiteral("Foto.jpg"), std::nullopt, s),
        QStringLiteral("/Bilder/t_Foto.jpg"));
}

}  // namespace
}  // namespace miniskop
