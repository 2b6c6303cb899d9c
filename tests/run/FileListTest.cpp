// The file list: wildcard patterns, refused patterns, which directory entries
// count as files, hidden files, sorting, and keeping the old list on failure.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cstring>

#include "FileList.h"
#include "QtPrinters.h"

namespace miniskop {
namespace {

void touch(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write("x");
}

TEST(FileListPattern, WildcardsWithoutRegardToCase) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    } cases[] = {
        {"*.jpg", "Foto.jpg", true},
        {"*.jpg", "FOTO.JPG", true},
        {"*.JPG", "foto.jpg", true},
        {"*.jpg", "Foto.jpeg", false},
        {"*.jpg", "Foto.jpg.bak", false},
        {"*.jpg;*.gif", "a.gif", true},
        {"  *.gif  ", "a.gif", true},
        {"*.bmp ; *.gif", "a.gif", true},
        {"Foto?.jpg", "Foto1.jpg", true},
        {"Foto?.jpg", "Foto.jpg", false},
        {"Foto?.jpg", "Foto12.jpg", false},
        {"*", "README", true},
        {"*.*", "README", true},
        {"*.*", "a.b", true},
        {"Foto.*", "Foto", true},
        {"Foto.*", "Fotos", false},
        {"*.*", ".", true},
        {"a*b*c", "aXXbYYc", true},
        {"a*b*c", "aXXbYY", false},
        {"*Ä*", "bär.png", true},
        {"*.j?g", "x.jpg", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FileList::matches(QString::fromUtf8(c.pattern), QString::fromUtf8(c.name)),
                  c.match)
            << c.pattern << " vs " << c.name;
    }
}

TEST(FileListPattern, RefusedPatterns) {
    EXPECT_TRUE(FileList::isValidPattern(QStringLiteral("*.bmp;*.jpg;*.jpeg;*.gif;*.wmf")));
    EXPECT_TRUE(FileList::isValidPattern(QStringLiteral("*.*")));
    EXPECT_TRUE(FileList::isValidPattern(QStringLiteral(" *.gif ")));
    for (const char* bad : {"", "   ", "*.gif;", ";*.gif", "*.gif;;*.jpg", "*.gif; ;*.jpg",
                            "sub/*.gif", "*.g\tif", "*.gif\x01"}) {
        EXPECT_FALSE(FileList::isValidPattern(QString::fromUtf8(bad))) << bad;
    }
}

class FileListFolder : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString at(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

TEST_F(FileListFolder, OnlyRegularFilesAndLinksToThem) {
    touch(at("plain.jpg"));
    touch(at(".hidden.jpg"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.jpg"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(at("pipe.jpg")).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(at("plain.jpg"), at("link.jpg")));
    ASSERT_TRUE(QFile::link(at("folder.jpg"), at("dirlink.jpg")));
    ASSERT_TRUE(QFile::link(at("missing.jpg"), at("dangling.jpg")));

    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray sockPath = QFile::encodeName(at("sock.jpg"));
    ASSERT_LT(static_cast<size_t>(sockPath.size()), sizeof(addr.sun_path));
    std::memcpy(addr.sun_path, sockPath.constData(), sockPath.size());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);

    const Expected<QStringList> listed = listFolder(dir.path(), QStringLiteral("*.*"));
    ::close(sock);
    ASSERT_TRUE(listed) << listed.error().message.toStdString();
    EXPECT_EQ(*listed, (QStringList{"link.jpg", "plain.jpg"}));
}

TEST_F(FileListFolder, SortedByNameWithoutRegardToCase) {
    for (const char* name : {"b.jpg", "B.jpg", "a.jpg", "C.jpg", "Foto.jpg", "foto.bmp", "Foto.gif",
                             "_x.jpg", "10.jpg", "9.jpg"}) {
        touch(at(name));
    }
    FileList list;
    ASSERT_TRUE(list.setPattern(QStringLiteral("*.*")));
    ASSERT_TRUE(list.setPath(dir.path()));
    // Equal ignoring case: the exact comparison decides (upper case first).
    EXPECT_EQ(list.entries(), (QStringList{"10.jpg", "9.jpg", "_x.jpg", "a.jpg", "B.jpg", "b.jpg",
                                           "C.jpg", "foto.bmp", "Foto.gif", "Foto.jpg"}));
    EXPECT_EQ(list.ListCount(), 10);
    EXPECT_EQ(list.List(0), QStringLiteral("10.jpg"));
    EXPECT_EQ(list.List(10), QString());
    EXPECT_EQ(list.List(-1), QString());
}

TEST_F(FileListFolder, OrderMatchesComparisonWithoutRegardToCase) {
    const QStringList names = {"Äpfel.jpg",  "apfel.jpg",  "Zebra.jpg",   "éclair.jpg",
                               "Eclair.jpg", "straße.jpg", "STRASSE.jpg", "ß.jpg",
                               "[1].jpg",    "~x.jpg",     "ÖL.jpg",      "öl.jpg",
                               "Ωmega.jpg",  "ωmega.jpg",  "x y.jpg",     "x-y.jpg"};
    for (const QString& n : names) touch(at(n));
    QStringList expected = names;
    std::sort(expected.begin(), expected.end(), [](const QString& a, const QString& b) {
        const int c = QString::compare(a, b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    const Expected<QStringList> listed = listFolder(dir.path(), QStringLiteral("*.jpg"));
    ASSERT_TRUE(listed);
    EXPECT_EQ(*listed, expected);
}

TEST_F(FileListFolder, PatternNarrowsAndRefusalKeepsTheList) {
    for (const char* name : {"a.jpg", "b.GIF", "c.txt", "d.wmf", "README"}) touch(at(name));
    FileList list;
    ASSERT_TRUE(list.setPath(dir.path()));
    EXPECT_EQ(list.ListCount(), 5);  // the default "*.*" lists every file

    ASSERT_TRUE(list.setPattern(QStringLiteral("*.bmp;*.jpg;*.jpeg;*.gif;*.wmf")));
    EXPECT_EQ(list.entries(), (QStringList{"a.jpg", "b.GIF", "d.wmf"}));

    EXPECT_FALSE(list.setPattern(QStringLiteral("*.gif;")));
    EXPECT_EQ(list.pattern(), QStringLiteral("*.bmp;*.jpg;*.jpeg;*.gif;*.wmf"));
    EXPECT_EQ(list.ListCount(), 3);

    touch(at("e.jpeg"));
    EXPECT_EQ(list.ListCount(), 3);  // not re-read until asked
    ASSERT_TRUE(list.setPath(list.path()));
    EXPECT_EQ(list.ListCount(), 4);
}

TEST_F(FileListFolder, FailedFolderChangeKeepsFolderAndEntries) {
    touch(at("a.jpg"));
    touch(at("notafolder"));
    FileList list;
    ASSERT_TRUE(list.setPath(dir.path()));
    const QString before = list.path();
    EXPECT_FALSE(list.setPath(at("missing")));
    EXPECT_FALSE(list.setPath(at("notafolder")));
    EXPECT_FALSE(list.setPath(QString()));
    EXPECT_EQ(list.path(), before);
    EXPECT_EQ(list.entries(), (QStringList{"a.jpg", "notafolder"}));
}

TEST_F(FileListFolder, OneReadingGivesSubfoldersAndTheOtherFilesAskedFor) {
    for (const char* name : {"a.jpg", "b.PNG", "c.heic", "d.txt", "e.png", ".f.png"}) {
        touch(at(name));
    }
    for (const char* sub : {"Sub", "alt", ".versteckt"}) ASSERT_TRUE(QDir(dir.path()).mkdir(sub));
    ASSERT_TRUE(QFile::link(at("Sub"), at("zu-sub")));
    ASSERT_TRUE(QFile::link(at("b.PNG"), at("g.png")));

    FolderReadRequest request;
    request.pattern = QStringLiteral("*.jpg");
    request.subfolders = true;
    request.otherExtensions = {QStringLiteral("png"), QStringLiteral("heic")};
    Expected<FolderReading> reading = readFolder(dir.path(), request);
    ASSERT_TRUE(reading) << reading.error().message.toStdString();
    EXPECT_EQ(reading->entries, QStringList{"a.jpg"});
    EXPECT_EQ(reading->subfolders, (QStringList{"alt", "Sub", "zu-sub"}));
    const std::map<QString, QStringList> unlisted = {{"heic", {"c.heic"}},
                                                     {"png", {"b.PNG", "e.png", "g.png"}}};
    EXPECT_EQ(reading->unlisted, unlisted);

    // Folders alone; and a reading told to stop fails.
    request.files = false;
    reading = readFolder(dir.path(), request);
    ASSERT_TRUE(reading);
    EXPECT_TRUE(reading->entries.isEmpty());
    EXPECT_TRUE(reading->unlisted.empty());
    EXPECT_EQ(reading->subfolders.size(), 3);
    std::atomic<bool> stop{true};
    request.stop = &stop;
    EXPECT_FALSE(readFolder(dir.path(), request));
}

TEST_F(FileListFolder, EmptyFolderAndTrailingSeparator) {
    FileList list;
    ASSERT_TRUE(list.setPath(dir.path() + "/"));
    EXPECT_EQ(list.ListCount(), 0);
    EXPECT_FALSE(list.path().endsWith('/'));
    ASSERT_TRUE(list.setPath("/"));
    EXPECT_EQ(list.path(), QStringLiteral("/"));
}

}  // namespace
}  // namespace miniskop
