// miniskop-batch over photo archives end to end: several folders per call, a
// whole tree with --recursive, and --update re-runs, each compared byte for
// byte with what plain runs give.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMap>
#include <functional>

#include "BatchTestSupport.h"

namespace miniskop {
namespace {

using testing::BatchResult;
using testing::readAll;
using testing::runBatchTool;
using testing::writePicture;

class Archive : public testing::BatchFolders {
public:
    QString at(const QString& relative) const { return pics() + '/' + relative; }

    void picture(const QString& relative, int width = 90, int height = 60) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(at(relative)).path()));
        writePicture(at(relative), width, height);
    }

protected:
    BatchResult run(const QStringList& arguments) { return runBatchTool(arguments, config()); }

    // Every file in a "Thumbnails" folder of the tree, by path below pics().
    // Links to folders are not followed.
    QMap<QString, QByteArray> outputs() const {
        QMap<QString, QByteArray> files;
        QDirIterator it(pics(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (path.contains("/Thumbnails/"))
                files.insert(path.mid(pics().size() + 1), readAll(path));
        }
        return files;
    }
};

TEST_F(Archive, ATreeRunsEachFolderWithPicturesOnceAsItWouldAlone) {
    picture("oben.jpg");
    picture("2023/Urlaub/strand.jpg", 120, 80);
    picture("2023/Urlaub/Thumbnails/alt.jpg");  // a thumbnail folder: never entered
    ASSERT_TRUE(QDir().mkpath(at("2023/leer")));
    picture(".versteckt/geheim.jpg");
    picture("2024/Familie & Freunde/#1 Oma's Garten.jpg");
    ASSERT_TRUE(QFile::link(pics(), at("2024/zurück")));  // a loop back to the top
    // Links to folders are not followed: not out of the tree, not into a
    // hidden folder.
    const QString outside = root.filePath("draussen");
    ASSERT_TRUE(QDir().mkpath(outside));
    writePicture(outside + "/fremd.jpg", 40, 40);
    ASSERT_TRUE(QFile::link("../../draussen", at("2023/nach-draussen")));
    ASSERT_TRUE(QFile::link(".versteckt", at("sichtbar")));
    // A folder whose thumbnail folder cannot be made: named with the reason.
    picture("2025/bild.jpg");
    ASSERT_TRUE(QFile(at("2025/Thumbnails")).open(QIODevice::WriteOnly));
    // A thumbnail folder of another name, made by an earlier run: its
    // thumbnails are no pictures.
    picture("Alt/alt.jpg");
    ASSERT_EQ(run({"--folder-name", "Vorschau", at("Alt")}).exitCode, 0);
    const QString notAFolder = at("oben.jpg");

    const BatchResult r = run({"-r", pics(), at("2023/Urlaub"), at("fehlt"), notAFolder});
    ASSERT_TRUE(r.normalExit);
    EXPECT_EQ(r.exitCode, 1) << "two folders given could not be read";
    EXPECT_TRUE(r.err.contains(at("fehlt"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(notAFolder)) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("FEHLER: Der Thumbnail-Ziel-Ordner kann nicht erstellt werden! (" +
                               at("2025/Thumbnails") + ": Not a directory)\n"))
        << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(outside + "/Thumbnails"));
    EXPECT_FALSE(QFileInfo::exists(at(".versteckt/Thumbnails")));
    EXPECT_FALSE(QFileInfo::exists(at("Alt/Vorschau/Thumbnails")));

    const QStringList pages = {
        "Thumbnails/ThumbIndex.html", "2023/Urlaub/Thumbnails/ThumbIndex.html",
        "2024/Familie & Freunde/Thumbnails/ThumbIndex.html", "Alt/Thumbnails/ThumbIndex.html"};
    QStringList made;
    for (const QString& file : outputs().keys())
        if (file.endsWith("ThumbIndex.html")) made.append(file);
    made.sort();
    QStringList expected = pages;
    expected.sort();
    EXPECT_EQ(made.join(" | ").toStdString(), expected.join(" | ").toStdString());
    EXPECT_FALSE(QFileInfo::exists(at("2023/Urlaub/Thumbnails/Thumbnails")));
    EXPECT_EQ(r.out.count("2023/Urlaub/Thumbnails/ThumbIndex.html"), 1) << "run once";
    // Summary: five folders run, one of which could not be written; with the
    // two folders given that could not be read, three failed.
    EXPECT_TRUE(r.out.endsWith(
        "5 folders: 4 thumbnails made, 0 kept as up to date, 1 failed, 3 folders failed\n"))
        << r.out.toStdString();

    // Each folder's thumbnails and page as a call for that folder alone gives.
    QMap<QString, QByteArray> together = outputs();
    together.remove("2023/Urlaub/Thumbnails/alt.jpg");
    for (const QString& page : pages) {
        const QString folder = QDir::cleanPath(at(page) + "/../..");
        ASSERT_TRUE(QDir(folder + "/Thumbnails").removeRecursively());
        const BatchResult alone = run({folder});
        EXPECT_EQ(alone.exitCode, 0) << alone.err.toStdString();
    }
    EXPECT_EQ(outputs(), together);

    // Asked to, links to folders are entered too, but never a hidden one.
    const BatchResult followed = run({"-r", "--follow-links", at("2023")});
    EXPECT_EQ(followed.exitCode, 0) << followed.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(outside + "/Thumbnails/t_fremd.jpg"));
    EXPECT_EQ(run({"-r", "--follow-links", pics()}).exitCode, 1);  // 2025 still fails
    EXPECT_FALSE(QFileInfo::exists(at(".versteckt/Thumbnails")));
}

TEST_F(Archive, UpdateGivesExactlyWhatAFullRunGives) {
    struct Case {
        const char* label;
        std::function<void(Archive&)> change;
        QStringList options;
        int pictures;
        int kept;
    };
    const auto rewrite = [](Archive& a, const QString& relative, int width) {
        a.picture(relative, width, 50);
        // A new modification time even on a file system with coarse times.
        QFile file(a.at(relative));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(10),
                                     QFileDevice::FileModificationTime));
    };
    const Case cases[] = {
        {"nothing changed", [](Archive&) {}, {}, 4, 4},
        {"one picture changed", [&](Archive& a) { rewrite(a, "b/zwei.jpg", 77); }, {}, 4, 3},
        {"a setting changed", [](Archive&) {}, {"--quality", "70"}, 4, 0},
        {"a thumbnail cut short",
         [](Archive& a) {
             QFile thumb(a.at("a/Thumbnails/t_eins.jpg"));
             ASSERT_TRUE(thumb.resize(thumb.size() - 100));
         },
         {},
         4,
         3},
        {"a thumbnail another program wrote",
         [](Archive& a) {
             ASSERT_TRUE(
                 QImage(a.at("a/Thumbnails/t_eins.jpg")).save(a.at("a/Thumbnails/t_eins.jpg")));
         },
         {},
         4,
         3},
        // eins.bmp sorts first and now takes t_eins.jpg; eins.jpg moves to its
        // version-tagged name. Neither may keep the other's thumbnail.
        {"a namesake added", [](Archive& a) { a.picture("a/eins.bmp", 40, 40); }, {}, 5, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ASSERT_TRUE(QDir(pics()).removeRecursively());
        picture("a/eins.jpg", 200, 100);
        picture("a/vier.jpg", 100, 200);
        picture("b/drei.jpg", 64, 64);
        picture("b/zwei.jpg", 300, 120);
        const QStringList common = {"-r", "--pattern", "*.jpg;*.bmp", pics()};
        ASSERT_EQ(run(common).exitCode, 0);

        c.change(*this);
        const BatchResult update = run(QStringList{"--update"} + c.options + common);
        EXPECT_EQ(update.exitCode, 0) << update.err.toStdString();
        EXPECT_TRUE(update.out.endsWith(QStringLiteral("2 folders: %1 thumbnails made, %2 kept as "
                                                       "up to date, 0 failed\n")
                                            .arg(c.pictures - c.kept)
                                            .arg(c.kept)))
            << update.out.toStdString();
        // Each folder's count is its thumbnails, made or kept: together the
        // summary's two numbers.
        int counted = 0;
        for (const QString& line : update.out.split('\n')) {
            if (line.startsWith("Anzahl erzeugter Thumbnails: ")) {
                counted += line.section(' ', -1).toInt();
            }
        }
        EXPECT_EQ(counted, c.pictures);
        const QMap<QString, QByteArray> updated = outputs();

        const BatchResult full = run(c.options + common);
        EXPECT_EQ(full.exitCode, 0) << full.err.toStdString();
        EXPECT_EQ(outputs(), updated);
    }
}

}  // namespace
}  // namespace miniskop
