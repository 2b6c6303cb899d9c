// The run with its pixel work done ahead on worker threads: the same entries,
// files, labels and page as the plain run; settings read at each picture's own
// turn; a cancel that writes nothing past the picture in hand; a wait for a
// picture that never blocks the event pump. Also the in-memory encoder and the
// work queue's hand-over rules.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "JpegWriter.h"
#include "PictureWorkQueue.h"
#include "QtPrinters.h"
#include "RecordingHost.h"
#include "ThumbJpegMemory.h"
#include "ThumbnailRun.h"

namespace miniskop::testing {
namespace {

// A recording host that runs an action at the first DoEvents after picture
// k-1 was recorded, i.e. between two pictures, however many extra DoEvents
// calls waiting for pixels adds.
class TurnHost : public RecordingHost {
public:
    std::map<int, std::function<void()>> beforePicture;  // k >= 1
    // Entries given directly (a FIFO cannot be listed); empty: use `list`.
    QStringList fixedEntries;
    QString fixedPath;
    std::function<void()> onEveryDoEvents;

    void setLabel4(const QString& text) override {
        RecordingHost::setLabel4(text);
        bool isNumber = false;
        const int recorded = text.toInt(&isNumber);
        if (isNumber && !text.isEmpty()) pendingTurn_ = recorded + 1;
    }
    void DoEvents() override {
        RecordingHost::DoEvents();
        if (onEveryDoEvents) onEveryDoEvents();
        if (pendingTurn_ < 0) return;
        const int turn = pendingTurn_;
        pendingTurn_ = -1;
        // Label4 shows "0" at the start click too; that is not a recording.
        if (turn == 1 && label15History.isEmpty()) return;
        const auto action = beforePicture.find(turn);
        if (action != beforePicture.end()) action->second();
    }
    QString fileListPath() const override {
        return fixedEntries.isEmpty() ? RecordingHost::fileListPath() : fixedPath;
    }
    int fileListCount() const override {
        return fixedEntries.isEmpty() ? RecordingHost::fileListCount()
                                      : static_cast<int>(fixedEntries.size());
    }
    QString fileListEntry(int i) const override {
        if (fixedEntries.isEmpty()) return RecordingHost::fileListEntry(i);
        return i >= 0 && i < fixedEntries.size() ? fixedEntries[i] : QString();
    }

private:
    int pendingTurn_ = -1;
};

// Everything a run leaves behind that the user can see.
struct RunRecord {
    QStringList entries;
    std::map<QString, QByteArray> files;  // the thumbnail folder, by name
    QStringList label4;
    QStringList label15;
    QStringList progressAt;
    QStringList failed;
    int finished = 0;
    int failedCount = 0;
};

QImage noisyPicture(int width, int height, quint32 seed) {
    QRandomGenerator random(seed);
    QImage img(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int n = int(random.bounded(40));
            line[x] = qRgb((x * 255 / width + n) % 256, (y * 255 / height + n) % 256,
                           ((x + y) / 3 + n) % 256);
        }
    }
    return img;
}

class PoolRunTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString at(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }
    QString thumbs() const { return at(QStringLiteral("Thumbnails")); }

    void write(const QString& name, const QImage& img) {
        ASSERT_TRUE(img.save(at(name))) << name.toStdString();
    }
    void writeBytes(const QString& name, const QByteArray& bytes) {
        QFile f(at(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    // A varied folder: reduced JPEG decoding, other formats, a version tag
    // pair, a picture that cannot be loaded, pictures smaller than the bound.
    void writeMixedFolder() {
        write("a_big.jpg", noisyPicture(1600, 1200, 1));
        write("b_wide.png", noisyPicture(300, 100, 2));
        write("c_tall.bmp", noisyPicture(50, 200, 3));
        writeBytes("d_broken.png", "not a picture at all");
        write("Foto.bmp", noisyPicture(160, 120, 4));
        write("Foto.png", noisyPicture(161, 121, 5));
        write("g_small.bmp", noisyPicture(30, 20, 6));
        write("h_dot.png", noisyPicture(1, 1, 7));
        write("i_photo.jpg", noisyPicture(900, 1300, 8));
        write("j_last.png", noisyPicture(240, 240, 9));
    }

    // Runs once with `jobs` on a fresh host, records it, then removes the
    // thumbnail folder so the next run starts from the same state.
    RunRecord runWith(int jobs, const std::function<void(TurnHost&, ThumbnailRun&)>& prepare = {}) {
        RunRecord record;
        TurnHost host;
        EXPECT_TRUE(host.list.setPath(dir.path()));
        {
            ThumbnailRun run(host, jobs);
            if (prepare) prepare(host, run);
            run.Command1_Click();
            record.entries = run.ThumbEntries();
            record.finished = run.lastOutcome().finished;
            record.failedCount = run.lastOutcome().failed;
        }  // the workers are gone: nothing more can appear in the folder
        QDirIterator it(thumbs(), QDir::Files | QDir::Hidden);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile f(path);
            EXPECT_TRUE(f.open(QIODevice::ReadOnly));
            record.files[it.fileName()] = f.readAll();
        }
        record.label4 = host.label4History;
        record.label15 = host.label15History;
        record.progressAt = host.progressAt;
        record.failed = host.failedPictures;
        EXPECT_TRUE(QDir(thumbs()).removeRecursively());
        return record;
    }

    static void expectSame(const RunRecord& plain, const RunRecord& pooled) {
        EXPECT_EQ(pooled.entries, plain.entries);
        EXPECT_EQ(pooled.label4, plain.label4);
        EXPECT_EQ(pooled.label15, plain.label15);
        EXPECT_EQ(pooled.progressAt, plain.progressAt);
        EXPECT_EQ(pooled.failed, plain.failed);
        EXPECT_EQ(pooled.finished, plain.finished);
        EXPECT_EQ(pooled.failedCount, plain.failedCount);
        ASSERT_EQ(pooled.files.size(), plain.files.size());
        for (const auto& [name, bytes] : plain.files) {
            const auto other = pooled.files.find(name);
            ASSERT_NE(other, pooled.files.end()) << name.toStdString();
            EXPECT_TRUE(other->second == bytes) << name.toStdString() << " differs";
        }
    }

    QTemporaryDir dir;
};

TEST_F(PoolRunTest, WorkersGiveByteIdenticalThumbnailsAndPage) {
    writeMixedFolder();
    const RunRecord plain = runWith(1);
    ASSERT_EQ(plain.entries.size(), 10);
    ASSERT_EQ(plain.failed, QStringList{at("d_broken.png")});
    // The page and one thumbnail per loadable picture, the broken one a blank.
    ASSERT_EQ(plain.files.size(), 11u);
    EXPECT_EQ(plain.entries[0], QStringLiteral("a_big.jpg|t_a_big.jpg|120|90"));
    EXPECT_EQ(plain.entries[3], QStringLiteral("d_broken.png|t_d_broken.jpg|30|120"));

    for (int jobs : {2, 3, 8}) {
        SCOPED_TRACE(jobs);
        expectSame(plain, runWith(jobs));
    }
}

TEST_F(PoolRunTest, EnlargedAndFractionalBoundsMatchThePlainRun) {
    write("a.png", noisyPicture(40, 30, 11));
    write("b.jpg", noisyPicture(119, 119, 12));
    write("c.png", noisyPicture(700, 20, 13));
    const auto prepare = [](TurnHost& host, ThumbnailRun&) {
        host.enlarge = true;
        host.record.groesseMin = QStringLiteral("80.5");
        host.record.setQJPG(37);
    };
    const RunRecord plain = runWith(1, prepare);
    EXPECT_EQ(plain.entries,
              (QStringList{"a.png|t_a.jpg|81|60", "b.jpg|t_b.jpg|81|81", "c.png|t_c.jpg|81|2"}));
    expectSame(plain, runWith(2, prepare));
}

TEST_F(PoolRunTest, SettingsChangedBetweenPicturesApplyFromTheNextPicture) {
    for (int k = 0; k < 7; ++k)
        write(QStringLiteral("p%1.png").arg(k), noisyPicture(400, 300, 20 + k));
    // Before picture 2 every setting the pixel work reads changes, and so do
    // the names; pictures 2 onwards were started ahead with the old ones.
    const auto prepare = [](TurnHost& host, ThumbnailRun&) {
        host.beforePicture[2] = [&host] {
            host.record.groesseMin = QStringLiteral("50");
            host.record.setQJPG(20);
            host.record.zusatzAnfang = QStringLiteral("neu_");
        };
        host.beforePicture[4] = [&host] { host.enlarge = true; };
        host.beforePicture[5] = [&host] { host.record.groesseMin = QStringLiteral("800"); };
    };
    const RunRecord plain = runWith(1, prepare);
    EXPECT_EQ(plain.entries, (QStringList{"p0.png|t_p0.jpg|120|90", "p1.png|t_p1.jpg|120|90",
                                          "p2.png|neu_p2.jpg|50|38", "p3.png|neu_p3.jpg|50|38",
                                          "p4.png|neu_p4.jpg|50|38", "p5.png|neu_p5.jpg|800|600",
                                          "p6.png|neu_p6.jpg|800|600"}));
    for (int jobs : {2, 4}) {
        SCOPED_TRACE(jobs);
        expectSame(plain, runWith(jobs, prepare));
    }
}

TEST_F(PoolRunTest, CancelWritesNothingPastThePictureInHand) {
    for (int k = 0; k < 9; ++k)
        write(QStringLiteral("p%1.jpg").arg(k), noisyPicture(800, 600, 40 + k));
    const auto prepare = [](TurnHost& host, ThumbnailRun& run) {
        // The click lands while picture 2 is in hand: it is finished, and the
        // pictures already worked on ahead are thrown away.
        host.beforePicture[2] = [&run] { run.Command1_Click(); };
    };
    const RunRecord plain = runWith(1, prepare);
    EXPECT_EQ(plain.finished, 3);
    for (int jobs : {2, 3}) {
        SCOPED_TRACE(jobs);
        const RunRecord pooled = runWith(jobs, prepare);
        expectSame(plain, pooled);
        std::vector<QString> names;
        for (const auto& [name, bytes] : pooled.files) names.push_back(name);
        EXPECT_EQ(names,
                  (std::vector<QString>{"ThumbIndex.html", "t_p0.jpg", "t_p1.jpg", "t_p2.jpg"}));
    }
}

// Releases a FIFO's reader by opening and closing the writing end once.
void releaseFifo(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY);
    if (fd >= 0) ::close(fd);
}

TEST_F(PoolRunTest, WaitingForAPictureKeepsEventsFlowingAndSeesTheCancel) {
    write("a.png", noisyPicture(64, 48, 60));
    write("c.png", noisyPicture(64, 48, 61));
    write("d.png", noisyPicture(64, 48, 62));
    // Reading picture b blocks until the test lets it go: the worker holds it
    // for as long as the test wants, with no timing involved.
    const QString fifo = at("b.png");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    TurnHost host;
    host.fixedPath = dir.path();
    host.fixedEntries = QStringList{"a.png", "b.png", "c.png", "d.png"};
    ThumbnailRun run(host, 2);

    // Without events flowing while b is awaited, the run would hang: a
    // watchdog lets b go after a while so that the test fails instead.
    std::atomic<bool> released{false};
    std::atomic<bool> finished{false};
    std::thread watchdog([&] {
        for (int k = 0; k < 300 && !finished; ++k)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!released.exchange(true)) releaseFifo(fifo);
    });

    int callsWhileBInHand = 0;
    QString label4AtCancel;
    host.onEveryDoEvents = [&] {
        if (host.label15() != QLatin1Char(' ') + fifo) return;
        // The first call with b shown is the progress redraw; the next ones
        // come from waiting for b's pixels.
        if (++callsWhileBInHand != 2) return;
        run.Command1_Click();  // "Abbrechen"
        label4AtCancel = host.label4();
        if (!released.exchange(true)) releaseFifo(fifo);
    };
    run.Command1_Click();
    finished = true;
    watchdog.join();

    EXPECT_GE(callsWhileBInHand, 2) << "the run waited without letting events through";
    EXPECT_EQ(label4AtCancel, QStringLiteral("Anzahl erzeugter Thumbnails: 1"));
    EXPECT_EQ(host.label4(), QStringLiteral("Anzahl erzeugter Thumbnails: 2"));
    // b could not be read (its writer closed at once): listed with a blank.
    EXPECT_EQ(run.ThumbEntries(), (QStringList{"a.png|t_a.jpg|64|48", "b.png|t_b.jpg|64|48"}));
    EXPECT_EQ(host.failedPictures, QStringList{fifo});
    EXPECT_TRUE(QFileInfo::exists(thumbs() + "/t_b.jpg"));
    EXPECT_FALSE(QFileInfo::exists(thumbs() + "/t_c.jpg"));
    EXPECT_FALSE(QFileInfo::exists(thumbs() + "/t_d.jpg"));
    EXPECT_EQ(host.pagesWritten.size(), 1);
}

TEST(ThumbJpegMemory, SameBytesAsTheFileWriter) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("t.jpg");
    struct Case {
        int width, height, quality;
    };
    for (const Case c : {Case{1, 1, 90}, Case{7, 3, 1}, Case{120, 90, 90}, Case{33, 120, 100},
                         Case{121, 17, 55}}) {
        SCOPED_TRACE(
            QStringLiteral("%1x%2 q%3").arg(c.width).arg(c.height).arg(c.quality).toStdString());
        const QImage picture = noisyPicture(c.width, c.height, quint32(c.width * 7 + c.height));
        ASSERT_TRUE(saveThumb(picture, file, c.quality));
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const Expected<QByteArray> bytes = encodeThumbJpeg(picture, c.quality);
        ASSERT_TRUE(bytes);
        EXPECT_TRUE(*bytes == f.readAll());
    }
    EXPECT_FALSE(encodeThumbJpeg(QImage(), 90));
    EXPECT_FALSE(encodeThumbJpeg(noisyPicture(4, 4, 1), 101));
}

class WorkQueueTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        for (int k = 0; k < 4; ++k) {
            const QString path = dir.filePath(QStringLiteral("q%1.png").arg(k));
            ASSERT_TRUE(noisyPicture(200 + k, 100, 70 + k).save(path));
            keys.push_back(PictureKey{path, 50.0f, false, 90});
        }
    }
    QTemporaryDir dir;
    std::vector<PictureKey> keys;
};

TEST_F(WorkQueueTest, TakeGivesWorkForExactlyTheKeyAskedFor) {
    PictureWorkQueue queue(2);
    for (int k = 0; k < 4; ++k) queue.prefetch(k, keys[k]);
    EXPECT_EQ(queue.held(), 4);

    // Same key: the work done ahead.
    PictureWork first = queue.take(0, keys[0], {});
    EXPECT_EQ(first.key, keys[0]);
    ASSERT_TRUE(first.scaled);
    EXPECT_EQ(first.canvas.picThumb.image.size(), QSize(50, 25));
    EXPECT_EQ(first.canvas.picSource.width, 200);
    ASSERT_TRUE(first.jpeg);
    EXPECT_TRUE(*first.jpeg == *encodeThumbJpeg(first.canvas.picThumb.image, 90));

    // Another bound, quality or path than the one started ahead: redone.
    PictureKey changed = keys[1];
    changed.sizeBound = 30.0f;
    changed.quality = 40;
    const PictureWork redone = queue.take(1, changed, {});
    EXPECT_EQ(redone.key, changed);
    EXPECT_EQ(redone.canvas.picThumb.image.size(), QSize(30, 15));
    EXPECT_TRUE(*redone.jpeg == *encodeThumbJpeg(redone.canvas.picThumb.image, 40));

    // Taking position 3 drops what was held for 2; taking 2 again redoes it.
    EXPECT_EQ(queue.take(3, keys[3], {}).key, keys[3]);
    EXPECT_EQ(queue.held(), 0);
    queue.prefetch(0, keys[0]);
    queue.prefetch(1, keys[1]);
    queue.discardAll();
    EXPECT_EQ(queue.held(), 0);
}

TEST_F(WorkQueueTest, FailedWorkCarriesTheReasonAndTouchesOnlyWhatResizeReached) {
    PictureWorkQueue queue(1);
    const PictureWork missing =
        queue.take(0, PictureKey{dir.filePath("missing.png"), 50.0f, false, 90}, {});
    EXPECT_FALSE(missing.scaled);
    EXPECT_FALSE(missing.jpeg);

    // A canvas that held an earlier thumbnail keeps its size, loses its pixels.
    ThumbnailCanvas canvas;
    canvas.picThumb.width = 70;
    canvas.picThumb.height = 35;
    canvas.picThumb.image = noisyPicture(70, 35, 1);
    canvas.picSource.width = 140;
    canvas.picSource.height = 70;
    applyPictureWork(missing, canvas);
    EXPECT_EQ(canvas.picThumb.width, 70);
    EXPECT_EQ(canvas.picThumb.height, 35);
    EXPECT_TRUE(canvas.picThumb.image.isNull());
    EXPECT_EQ(canvas.picSource.width, 140);

    // A bound of 0 fails after loading: the natural size is taken, the
    // thumbnail box keeps its size.
    const PictureWork unbounded = queue.take(1, PictureKey{keys[2].path, 0.0f, false, 90}, {});
    EXPECT_FALSE(unbounded.scaled);
    applyPictureWork(unbounded, canvas);
    EXPECT_EQ(canvas.picSource.width, 202);
    EXPECT_EQ(canvas.picSource.height, 100);
    EXPECT_EQ(canvas.ImgSizer.size, QSize(202, 100));
    EXPECT_EQ(canvas.picThumb.width, 70);

    // And the same sequence through resize on the canvas itself.
    ThumbnailCanvas direct;
    direct.picThumb.width = 70;
    direct.picThumb.height = 35;
    EXPECT_FALSE(direct.resize(keys[2].path, 0.0f, false));
    EXPECT_EQ(direct.picSource.width, canvas.picSource.width);
    EXPECT_EQ(direct.ImgSizer.size, canvas.ImgSizer.size);
    EXPECT_EQ(direct.ImgSizer.holdsPicture, canvas.ImgSizer.holdsPicture);
    EXPECT_EQ(direct.picThumb.width, canvas.picThumb.width);
}

}  // namespace
}  // namespace miniskop::testing
