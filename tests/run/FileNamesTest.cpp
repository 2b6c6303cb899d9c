// File-name functions and the thumbnail naming rule: splitting at the last
// separator and dot, affixes, version tags, folder names.
#include <gtest/gtest.h>

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include "FileNames.h"
#include "QtPrinters.h"
#include "ThumbNaming.h"
#include "ThumbnailNames.h"

namespace miniskop {
namespace {

// The path the run gives a picture's thumbnail, from the naming steps it takes.
QString thumbnailJpegPath(const QString& pictureFolder, const QString& entry,
                          const QString& previousBaseName, const ThumbSettings& settings) {
    const QString stem = thumbnailStem(entry, versionTag(entry, previousBaseName), settings);
    return thumbnailJpegPathForStem(thumbnailFolder(pictureFolder, settings), stem);
}

struct SplitCase {
    const char* input;
    const char* withExt;
    const char* withoutExt;
    const char* ext;
    const char* folder;
};

TEST(FileNames, SplitsAtLastSeparatorAndDot) {
    const SplitCase cases[] = {
        {"/Bilder/Foto.jpg", "Foto.jpg", "Foto", ".jpg", "/Bilder/"},
        {"Foto.jpg", "Foto.jpg", "Foto", ".jpg", ""},
        {"a.b.c.jpg", "a.b.c.jpg", "a.b.c", ".jpg", ""},
        {"Foto", "Foto", "Foto", ".Foto", ""},
        {"/Bilder/Foto", "Foto", "/Bilder/Foto", "./Bilder/Foto", "/Bilder/"},
        {"/Bil.der/Foto", "Foto", "/Bil.der/Foto", ".der/Foto", "/Bil.der/"},
        {"Foto.", "Foto.", "Foto", ".", ""},
        {".jpg", ".jpg", "", ".jpg", ""},
        {"/Bilder/", "", "/Bilder/", "./Bilder/", "/Bilder/"},
        {"/Bilder/.jpg", ".jpg", "", ".jpg", "/Bilder/"},
        {"/", "", "/", "./", "/"},
        {"Urlaub 2023/Bild.JPEG", "Bild.JPEG", "Bild", ".JPEG", "Urlaub 2023/"},
    };
    for (const SplitCase& c : cases) {
        const QString in = QString::fromUtf8(c.input);
        SCOPED_TRACE(c.input);
        EXPECT_EQ(Dateiname_mit_Extension(in), QString::fromUtf8(c.withExt));
        EXPECT_EQ(Dateiname_ohne_Extension(in), QString::fromUtf8(c.withoutExt));
        EXPECT_EQ(NurName(in), QString::fromUtf8(c.withoutExt));
        EXPECT_EQ(NurExt(in), QString::fromUtf8(c.ext));
        EXPECT_EQ(nur_Pfad(in), QString::fromUtf8(c.folder));
    }
}

TEST(FileNames, BackslashIsAnOrdinaryCharacter) {
    EXPECT_EQ(Dateiname_mit_Extension(QStringLiteral("a\\b.jpg")), QStringLiteral("a\\b.jpg"));
    EXPECT_EQ(nur_Pfad(QStringLiteral("a\\b.jpg")), QString());
}

TEST(FileNames, ClosingSeparatorAddedOnce) {
    EXPECT_EQ(withClosingSeparator(QStringLiteral("/Bilder")), QStringLiteral("/Bilder/"));
    EXPECT_EQ(withClosingSeparator(QStringLiteral("/Bilder/")), QStringLiteral("/Bilder/"));
    EXPECT_EQ(withClosingSeparator(QStringLiteral("/")), QStringLiteral("/"));
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

TEST(ThumbNaming, PrefixAndSuffixPaths) {
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
        const QString previous =
            c.before ? Dateiname_ohne_Extension(QString::fromUtf8(c.before)) : QString();
        for (const QString& folder : {QStringLiteral("/Bilder"), QStringLiteral("/Bilder/")}) {
            EXPECT_EQ(thumbnailJpegPath(folder, entry, previous, prefixSettings()),
                      QString::fromUtf8(c.prefixPath));
            EXPECT_EQ(thumbnailJpegPath(folder, entry, previous, suffixSettings()),
                      QString::fromUtf8(c.suffixPath));
        }
    }
}

// A run's list, named picture by picture as the run does: the tag from the
// neighbour first, then whatever keeps two pictures off one thumbnail.
TEST(ThumbNaming, NoTwoPicturesOfARunShareAThumbnail) {
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
        ThumbnailNameBook book;
        QStringList names;
        QString previous;
        for (const QString& entry : c.entries) {
            const QString path = book.assign(QStringLiteral("/nirgends"), entry,
                                             versionTag(entry, previous), settings);
            names.append(Dateiname_mit_Extension(path));
            previous = Dateiname_ohne_Extension(entry);
        }
        EXPECT_EQ(names, c.names);
    }
}

// Another run writing the same folder replaces our files, and the file system
// may hand a freed file number to a file under another name: only our own
// file still standing at the path it was written at takes a name.
TEST(ThumbNaming, AFileNoLongerWhereThisRunWroteItTakesNoName) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString written = dir.filePath("t_a.jpg");
    const QString elsewhere = dir.filePath("t_b.jpg");
    ThumbSettings settings;
    ThumbnailNameBook book;
    ASSERT_EQ(book.assign(dir.path(), "a.png", QString(), settings), written);
    ASSERT_TRUE(QFile(written).open(QIODevice::WriteOnly));
    book.recordWritten(written);
    ASSERT_TRUE(QFile::rename(written, elsewhere));  // the same file, now named t_b.jpg
    EXPECT_EQ(book.assign(dir.path(), "b.png", QString(), settings), elsewhere);
}

TEST(ThumbNaming, AffixesAndFolderNameLoseOuterBlanksOnly) {
    ThumbSettings s;
    s.zusatzAnfang = QStringLiteral("  klein _ ");
    s.zusatzEnde = QStringLiteral("\t_t ");
    s.nameOrdner = QStringLiteral("  Meine Thumbs  ");
    EXPECT_EQ(thumbnailJpegPath(QStringLiteral("/B"), QStringLiteral("x.png"), QString(), s),
              QStringLiteral("/B/Meine Thumbs/klein _x.jpg"));
    s.optE = false;
    // Only blanks are trimmed; a tab stays part of the affix.
    EXPECT_EQ(thumbnailStem(QStringLiteral("x.png"), QString(), s), QStringLiteral("x\t_t"));
    EXPECT_EQ(trimBlanks(QStringLiteral("   ")), QString());
}

TEST(ThumbNaming, EmptyFolderNameIsThePictureFolder) {
    ThumbSettings s;
    s.nameOrdner = QStringLiteral("   ");
    EXPECT_EQ(thumbnailFolder(QStringLiteral("/Bilder"), s), QStringLiteral("/Bilder/"));
    // One separator, not the folder's and another.
    EXPECT_EQ(
        thumbnailJpegPath(QStringLiteral("/Bilder"), QStringLiteral("Foto.jpg"), QString(), s),
        QStringLiteral("/Bilder/t_Foto.jpg"));
}

}  // namespace
}  // namespace miniskop
