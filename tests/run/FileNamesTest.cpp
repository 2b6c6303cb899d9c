// File-name functions: splitting at the last separator and dot.
#include <gtest/gtest.h>

#include "FileNames.h"
#include "QtPrinters.h"

namespace miniskop {
namespace {

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

}  // namespace
}  // namespace miniskop
