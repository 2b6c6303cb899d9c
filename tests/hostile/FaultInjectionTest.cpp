// The run in process, with faults injected through the file writer's test
// seam (disk full, write errors, a folder that refuses writing) and with the
// picture folder changing under the run (a picture vanishing or turning into a
// FIFO between listing and loading, the whole folder removed mid-run).
// After every case: no temporary file is left, every file that existed before
// is untouched or, for a thumbnail or page being replaced, the complete old or
// the complete new version; the run reports what the program's rules say
// (pictures failing silently, no page and no view buttons when the page
// cannot be written, the settings save failing without a change).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>

#include "FifoWatchdog.h"
#include "FileList.h"
#include "HostileSupport.h"
#include "SafeFileWriter.h"
#include "SettingsFile.h"
#include "ThumbnailRun.h"
#include "Unprivileged.h"

namespace miniskop::hostile {
namespace {

const QStringList kPictures = {"a.jpg", "b.jpg", "c.bmp", "d.png"};

class FaultInjection : public ::testing::Test {
protected:
    // One picture at a time unless a test asks for look-ahead workers.
    explicit FaultInjection(int jobs = 1) : run_(host_, jobs) {}

    void SetUp() override {
        ASSERT_TRUE(root_.isValid());
        folder_ = root_.path() + "/Bilder";
        thumbs_ = folder_ + "/Thumbnails";
        ASSERT_TRUE(QDir().mkpath(thumbs_));
        for (const QString& name : kPictures) writeTestPicture(folder_ + '/' + name, 48, 36);
        // What an earlier run left: an old thumbnail, an old page, and a file
        // of the user's that nothing may touch.
        writeTestPicture(thumbs_ + "/t_b.jpg", 10, 10);
        ASSERT_TRUE(writeText(thumbs_ + "/ThumbIndex.html", "<HTML>alte Seite</HTML>\r\n"));
        ASSERT_TRUE(writeText(thumbs_ + "/notiz.txt", "bleibt"));
        before_ = snapshot(thumbs_);

        host_.folder = folder_;
        host_.entries = kPictures;
        host_.thumbSettings.anzTabelle = "3";
    }

    void TearDown() override {
        setWriteFaultHookForTesting({});
        EXPECT_TRUE(temporaryLeftovers(root_.path()).isEmpty())
            << temporaryLeftovers(root_.path()).join(' ').toStdString();
    }

    static bool writeText(const QString& path, const QByteArray& text) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
    }

    // Every file of the thumbnail folder from before the run is unchanged,
    // except thumbnails and the page, which may be complete new versions.
    void expectOldOrCompleteNew() {
        const QMap<QString, QByteArray> after = snapshot(thumbs_);
        for (auto it = before_.begin(); it != before_.end(); ++it) {
            SCOPED_TRACE(it.key().toStdString());
            ASSERT_TRUE(after.contains(it.key())) << "file lost";
            const QByteArray& now = after[it.key()];
            if (now == it.value()) continue;
            if (it.key().endsWith(".jpg")) {
                EXPECT_TRUE(isCompleteJpeg(now)) << "partial thumbnail";
            } else if (it.key() == "ThumbIndex.html") {
                EXPECT_TRUE(checkPage(thumbs_ + "/ThumbIndex.html").valid) << "partial page";
            } else {
                ADD_FAILURE() << "changed";
            }
        }
        for (auto it = after.begin(); it != after.end(); ++it) {
            if (it.key().endsWith(".jpg")) {
                EXPECT_TRUE(isCompleteJpeg(it.value())) << it.key().toStdString();
            }
        }
    }

    // Fails writes whose target path satisfies `pred` with `err`.
    static void failWrites(std::function<bool(const QString&)> pred, int err) {
        setWriteFaultHookForTesting(
            [pred, err](const QString& path, qsizetype) { return pred(path) ? err : 0; });
    }

    const ThumbnailRun::Outcome& run() {
        run_.Command1_Click();
        EXPECT_EQ(run_.state(), ThumbnailRun::State::Idle);
        return run_.lastOutcome();
    }

    QString pic(const QString& name) const { return folder_ + '/' + name; }

    QTemporaryDir root_;
    QString folder_, thumbs_;
    QMap<QString, QByteArray> before_;
    RecordingHost host_;
    ThumbnailRun run_;
};

// The cases where the folder changes under the run, once as the plain run
// and once with pictures decoded ahead by worker threads. With look-ahead a
// picture may already be decoded when it vanishes; then it is no failure.
class FolderChanges : public FaultInjection, public ::testing::WithParamInterface<int> {
protected:
    FolderChanges() : FaultInjection(GetParam()) {}
    bool lookAhead() const { return GetParam() > 1; }
};

INSTANTIATE_TEST_SUITE_P(Jobs, FolderChanges, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == 1 ? std::string("Plain")
                                                    : std::string("LookAhead");
                         });

TEST_F(FaultInjection, DiskFullOnOneThumbnailKeepsTheOldOneAndTheRunGoesOn) {
    failWrites([](const QString& p) { return p.endsWith("/t_b.jpg"); }, ENOSPC);
    const auto& outcome = run();
    EXPECT_EQ(outcome.finished, 4);
    EXPECT_EQ(outcome.failed, 1);
    EXPECT_EQ(host_.failedPictures, QStringList{pic("b.jpg")});
    // The system's reason, not only that saving failed.
    ASSERT_EQ(host_.failureReasons.size(), 1);
    EXPECT_TRUE(host_.failureReasons[0].contains(QString::fromLocal8Bit(std::strerror(ENOSPC))))
        << host_.failureReasons[0].toStdString();
    EXPECT_TRUE(host_.messages.isEmpty());
    EXPECT_EQ(snapshot(thumbs_).value("t_b.jpg"), before_.value("t_b.jpg"));
    for (const char* t : {"t_a.jpg", "t_c.jpg", "t_d.jpg"})
        EXPECT_TRUE(QFile::exists(thumbs_ + '/' + t));
    EXPECT_TRUE(outcome.pageWritten);
    EXPECT_TRUE(host_.viewButtons);
    const PageCheck page = checkPage(thumbs_ + "/ThumbIndex.html");
    ASSERT_TRUE(page.valid) << page.problem.toStdString();
    EXPECT_EQ(page.cells.size(), 4);
    expectOldOrCompleteNew();
}

TEST_F(FaultInjection, WriteErrorsOnEveryThumbnailStillGiveThePage) {
    failWrites([](const QString& p) { return p.endsWith(".jpg"); }, EIO);
    const auto& outcome = run();
    EXPECT_EQ(outcome.failed, 4);
    EXPECT_EQ(host_.failedPictures.size(), 4);
    EXPECT_TRUE(outcome.pageWritten);
    EXPECT_EQ(snapshot(thumbs_).keys(), before_.keys());        // no new thumbnail
    EXPECT_EQ(host_.label4, "Anzahl erzeugter Thumbnails: 0");  // none was written
    expectOldOrCompleteNew();
}

TEST_F(FaultInjection, APageThatCannotBeWrittenKeepsTheOldPageAndTheViewButtonsOff) {
    for (const int err : {ENOSPC, EIO}) {
        SCOPED_TRACE(err);
        failWrites([](const QString& p) { return p.endsWith("/ThumbIndex.html"); }, err);
        const auto& outcome = run();
        EXPECT_EQ(outcome.finished, 4);
        EXPECT_EQ(outcome.failed, 0);
        EXPECT_FALSE(outcome.pageWritten);
        EXPECT_FALSE(outcome.pageError.isEmpty());
        EXPECT_FALSE(host_.viewButtons);
        EXPECT_TRUE(host_.pagesWritten.isEmpty());
        EXPECT_TRUE(host_.messages.isEmpty());  // the page step fails silently
        EXPECT_EQ(snapshot(thumbs_).value("ThumbIndex.html"), before_.value("ThumbIndex.html"));
        expectOldOrCompleteNew();
    }
}

TEST_F(FaultInjection, AThumbnailFolderThatRefusesWritingLeavesEverythingAsItWas) {
    // Root ignores permission bits, so the refusal comes through the seam.
    const QString inThumbs = thumbs_ + '/';
    failWrites([inThumbs](const QString& p) { return p.startsWith(inThumbs); }, EACCES);
    const auto& outcome = run();
    EXPECT_EQ(outcome.failed, 4);
    EXPECT_FALSE(outcome.pageWritten);
    EXPECT_FALSE(host_.viewButtons);
    EXPECT_EQ(snapshot(thumbs_), before_);
}

TEST_F(FaultInjection, AReallyReadOnlyThumbnailFolderLeavesEverythingAsItWas) {
    if (rerunAsUnprivilegedUser()) return;  // root writes into read-only folders
    ASSERT_EQ(::chmod(QFile::encodeName(thumbs_).constData(), 0555), 0);
    const auto& outcome = run();
    ::chmod(QFile::encodeName(thumbs_).constData(), 0755);
    EXPECT_EQ(outcome.failed, 4);
    EXPECT_FALSE(outcome.pageWritten);
    EXPECT_EQ(snapshot(thumbs_), before_);
}

TEST_F(FaultInjection, ReadOnlyOldFilesAreReplacedWhole) {
    QFile::setPermissions(thumbs_ + "/t_b.jpg", QFile::ReadOwner);
    QFile::setPermissions(thumbs_ + "/ThumbIndex.html", QFile::ReadOwner);
    const auto& outcome = run();
    EXPECT_EQ(outcome.failed, 0);
    EXPECT_TRUE(outcome.pageWritten);
    const QMap<QString, QByteArray> after = snapshot(thumbs_);
    EXPECT_NE(after.value("t_b.jpg"), before_.value("t_b.jpg"));
    EXPECT_NE(after.value("ThumbIndex.html"), before_.value("ThumbIndex.html"));
    expectOldOrCompleteNew();
}

TEST_P(FolderChanges, APictureVanishingBeforeItIsLoadedFailsAloneAndKeepsItsEntry) {
    host_.onPictureShown = [this](int i, const QString&) {
        if (i == 1) QFile::remove(pic("b.jpg"));
        if (i == 2) {  // and one that turns into a folder
            QFile::remove(pic("c.bmp"));
            QDir().mkdir(pic("c.bmp"));
        }
    };
    const auto& outcome = run();
    EXPECT_EQ(outcome.finished, 4);
    if (lookAhead()) {
        for (const QString& failed : host_.failedPictures) {
            EXPECT_TRUE(failed == pic("b.jpg") || failed == pic("c.bmp")) << failed.toStdString();
        }
    } else {
        EXPECT_EQ(host_.failedPictures, (QStringList{pic("b.jpg"), pic("c.bmp")}));
    }
    EXPECT_EQ(run_.ThumbEntries().size(), 4);
    const PageCheck page = checkPage(thumbs_ + "/ThumbIndex.html");
    ASSERT_TRUE(page.valid) << page.problem.toStdString();
    EXPECT_EQ(page.cells.size(), 4);
    expectOldOrCompleteNew();
}

TEST_P(FolderChanges, APictureTurningIntoAFifoBeforeItIsLoadedDoesNotBlockTheRun) {
    host_.onPictureShown = [&](int i, const QString&) {
        if (i != 1) return;
        QFile::remove(pic("b.jpg"));
        ASSERT_EQ(::mkfifo(QFile::encodeName(pic("b.jpg")).constData(), 0644), 0);
    };
    ThumbnailRun::Outcome outcome;
    EXPECT_TRUE(ranWithoutWaitingOn(pic("b.jpg"), [&] { outcome = run(); }))
        << "the run waited on a FIFO";
    EXPECT_EQ(outcome.finished, 4);
    if (!lookAhead()) {
        EXPECT_EQ(host_.failedPictures, QStringList{pic("b.jpg")});
    }
    QFile::remove(pic("b.jpg"));
}

TEST_P(FolderChanges, ThePictureFolderRemovedMidRunEndsTheRunWithoutAPage) {
    host_.onPictureShown = [this](int i, const QString&) {
        if (i == 2) {
            ASSERT_TRUE(QDir(folder_).removeRecursively());
        }
    };
    const auto& outcome = run();
    EXPECT_EQ(outcome.finished, 4);
    if (!lookAhead()) {
        EXPECT_EQ(host_.failedPictures, (QStringList{pic("c.bmp"), pic("d.png")}));
    }
    EXPECT_FALSE(outcome.pageWritten);
    EXPECT_FALSE(host_.viewButtons);
    EXPECT_FALSE(QDir(folder_).exists());
}

// The settings file goes through the same writer.
TEST(SettingsFileFaults, AFailedSaveLeavesTheOldFileWhole) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("Miniskop.ini");
    ThumbSettings settings;
    ASSERT_TRUE(Speichern(settings, ini).ok());
    QFile f(ini);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray old = f.readAll();
    f.close();

    settings.nameOrdner = "Andere";
    for (const int err : {ENOSPC, EIO, EACCES}) {
        setWriteFaultHookForTesting([err](const QString&, qsizetype) { return err; });
        EXPECT_FALSE(Speichern(settings, ini).ok()) << err;
        setWriteFaultHookForTesting({});
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), old) << err;
        f.close();
        EXPECT_TRUE(temporaryLeftovers(dir.path()).isEmpty()) << err;
    }
}

TEST(SettingsFileFaults, DefaultsThatCannotBeSavedLeaveTheFileAsItWas) {
    // An empty quality makes the reader restore and save the defaults.
    QTemporaryDir dir;
    const QString ini = dir.filePath("Miniskop.ini");
    const QByteArray content = "[JPG-Qualitaet]\r\nqJPG=\r\n";
    {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    setWriteFaultHookForTesting([](const QString&, qsizetype) { return ENOSPC; });
    ThumbSettings settings;
    settings.nameHTML = "x.html";
    const Status status = Ini_Lesen(settings, ini);
    setWriteFaultHookForTesting({});
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(settings.nameHTML, "ThumbIndex.html");  // defaults in memory all the same
    QFile f(ini);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), content);
    EXPECT_TRUE(temporaryLeftovers(dir.path()).isEmpty());
}

}  // namespace
}  // namespace miniskop::hostile
