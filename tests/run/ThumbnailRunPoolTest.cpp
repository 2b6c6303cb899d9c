// The run with its pixel work done ahead on worker threads: the same entries,
// files, labels and page as the plain run; settings read at each picture's own
// turn; a cancel that writes nothing past the picture in hand; a wait for a
// picture that never blocks the event pump. Also the in-memory encoder and the
// work queue's hand-over rules.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "DecodeBudget.h"
#include "JpegWriter.h"
#include "PictureSource.h"
#include "PictureWork.h"
#include "PictureWorkQueue.h"
#include "QtPrinters.h"
#include "RecordingHost.h"
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
    RunRecord runWith(int jobs, const std::function<void(TurnHost&, ThumbnailRun&)>& prepare = {},
                      ThumbnailRun::PixelWork where = ThumbnailRun::PixelWork::InlineForOneJob) {
        RunRecord record;
        TurnHost host;
        EXPECT_TRUE(host.list.setPath(dir.path()));
        {
            ThumbnailRun run(host, jobs, where);
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
    SCOPED_TRACE("one worker");
    expectSame(plain, runWith(1, {}, ThumbnailRun::PixelWork::Workers));
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
    SCOPED_TRACE("one worker");
    expectSame(plain, runWith(1, prepare, ThumbnailRun::PixelWork::Workers));
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
    for (int jobs : {1, 2, 3}) {
        SCOPED_TRACE(jobs);
        const RunRecord pooled = runWith(jobs, prepare, ThumbnailRun::PixelWork::Workers);
        expectSame(plain, pooled);
        std::vector<QString> names;
        for (const auto& [name, bytes] : pooled.files) names.push_back(name);
        EXPECT_EQ(names,
                  (std::vector<QString>{"ThumbIndex.html", "t_p0.jpg", "t_p1.jpg", "t_p2.jpg"}));
    }
}

// Holds the pixel work of one picture on its worker until the test opens the
// gate, with no timing involved. A watchdog opens it after a long while so
// that a run that never lets events through fails instead of hanging.
class WorkGate {
public:
    explicit WorkGate(QString heldPath) : heldPath_(std::move(heldPath)) {
        setPictureWorkHookForTesting([this](const PictureKey& key) { onWork(key); });
        watchdog_ = std::thread([this] {
            std::unique_lock lock(mutex_);
            if (!changed_.wait_for(lock, std::chrono::seconds(30), [this] { return done_; }))
                open_ = true;
            changed_.notify_all();
        });
    }
    ~WorkGate() {
        setPictureWorkHookForTesting({});
        {
            std::lock_guard lock(mutex_);
            done_ = open_ = true;
        }
        changed_.notify_all();
        watchdog_.join();
    }
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    bool isOpen() const {
        std::lock_guard lock(mutex_);
        return open_;
    }
    // Is the held picture's work in progress on a worker right now?
    bool holding() const {
        std::lock_guard lock(mutex_);
        return holding_;
    }
    std::vector<std::thread::id> workThreads() const {
        std::lock_guard lock(mutex_);
        return threads_;
    }

private:
    void onWork(const PictureKey& key) {
        std::unique_lock lock(mutex_);
        threads_.push_back(std::this_thread::get_id());
        if (key.path != heldPath_) return;
        holding_ = true;
        changed_.wait(lock, [this] { return open_; });
        holding_ = false;
    }

    const QString heldPath_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    bool done_ = false;
    bool holding_ = false;
    std::vector<std::thread::id> threads_;
    std::thread watchdog_;
};

// How a run is made: the window's default (workers only, one per core), one
// worker (the window on a one-core machine), two jobs (the batch tool).
struct RunMaker {
    const char* name;
    std::function<std::unique_ptr<ThumbnailRun>(RunHost&)> make;
};

const RunMaker kWorkerRuns[] = {
    {"window default", [](RunHost& h) { return std::make_unique<ThumbnailRun>(h); }},
    {"one worker",
     [](RunHost& h) {
         return std::make_unique<ThumbnailRun>(h, 1, ThumbnailRun::PixelWork::Workers);
     }},
    {"two jobs", [](RunHost& h) { return std::make_unique<ThumbnailRun>(h, 2); }},
};

TEST_F(PoolRunTest, WaitingForAPictureKeepsEventsFlowingAndSeesTheCancel) {
    for (const char* name : {"a.png", "b.png", "c.png", "d.png", "e.png"})
        write(name, noisyPicture(64, 48, quint32(name[0])));
    const QString held = at("b.png");

    for (const RunMaker& maker : kWorkerRuns) {
        SCOPED_TRACE(maker.name);
        // The gate outlives the run, whose workers may still be busy with
        // pictures ahead until the run is gone.
        WorkGate gate(held);
        TurnHost host;
        EXPECT_TRUE(host.list.setPath(dir.path()));
        const std::unique_ptr<ThumbnailRun> run = maker.make(host);
        EXPECT_FALSE(run->worksInline());

        // Picture b's pixels are held on a worker: while the run waits for
        // them its thread keeps calling the event pump, and a cancel click
        // handled there finishes b and nothing after it.
        int callsWhileHeld = 0;
        QString label4AtCancel;
        host.onEveryDoEvents = [&] {
            if (!gate.holding() || gate.isOpen()) return;
            if (host.label15() != QLatin1Char(' ') + held) return;
            if (++callsWhileHeld < 3) return;
            run->Command1_Click();  // "Abbrechen"
            label4AtCancel = host.label4();
            gate.open();
        };
        run->Command1_Click();

        EXPECT_GE(callsWhileHeld, 3) << "the run waited without letting events through";
        EXPECT_EQ(label4AtCancel, QStringLiteral("Anzahl erzeugter Thumbnails: 1"));
        EXPECT_EQ(host.label4(), QStringLiteral("Anzahl erzeugter Thumbnails: 2"));
        EXPECT_EQ(run->ThumbEntries(), (QStringList{"a.png|t_a.jpg|64|48", "b.png|t_b.jpg|64|48"}));
        EXPECT_TRUE(host.failedPictures.isEmpty());
        EXPECT_TRUE(QFileInfo::exists(thumbs() + "/t_b.jpg"));
        for (const char* ahead : {"/t_c.jpg", "/t_d.jpg", "/t_e.jpg"})
            EXPECT_FALSE(QFileInfo::exists(thumbs() + ahead)) << ahead;
        EXPECT_EQ(host.pagesWritten.size(), 1);
        // No picture's pixels were worked on by the run's own thread.
        const std::vector<std::thread::id> threads = gate.workThreads();
        EXPECT_GE(threads.size(), 2u);
        for (const std::thread::id id : threads) EXPECT_NE(id, std::this_thread::get_id());
        ASSERT_TRUE(QDir(thumbs()).removeRecursively());
    }
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
        const auto bytes = encodeThumbJpeg(picture, c.quality);
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
            keys.push_back(PictureKey{path, 50.0f, false, 90, {}, {}});
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
    EXPECT_TRUE(*first.jpeg ==
                withThumbnailRecord(*encodeThumbJpeg(first.canvas.picThumb.image, 90), keys[0]));

    // Another bound, quality or path than the one started ahead: redone.
    PictureKey changed = keys[1];
    changed.sizeBound = 30.0f;
    changed.quality = 40;
    const PictureWork redone = queue.take(1, changed, {});
    EXPECT_EQ(redone.key, changed);
    EXPECT_EQ(redone.canvas.picThumb.image.size(), QSize(30, 15));
    EXPECT_TRUE(*redone.jpeg ==
                withThumbnailRecord(*encodeThumbJpeg(redone.canvas.picThumb.image, 40), changed));

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
        queue.take(0, PictureKey{dir.filePath("missing.png"), 50.0f, false, 90, {}, {}}, {});
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
    const PictureWork unbounded =
        queue.take(1, PictureKey{keys[2].path, 0.0f, false, 90, {}, {}}, {});
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

// Pictures on four workers, against budgets that hold two
// of them, one of them but not two (each is more than half: it runs alone,
// and the queue never deadlocks however many such pictures wait), and less
// than one (each is refused with both amounts, nothing is decoded).
TEST_F(WorkQueueTest, DecodingSharesOneBudget) {
    std::vector<PictureKey> bmps;
    for (int k = 0; k < 6; ++k) {
        const QString path = dir.filePath(QStringLiteral("b%1.bmp").arg(k));
        ASSERT_TRUE(noisyPicture(400, 300, 90 + k).save(path));
        bmps.push_back(PictureKey{path, 60.0f, false, 90, {}, {}});
    }
    const auto source = PictureSource::open(bmps[0].path);
    ASSERT_TRUE(source);
    const qint64 onePicture = source->decodeBytes(QSize(60, 45));
    const struct {
        qint64 budget;
        qint64 mostHeld;  // 0: refused
    } cases[] = {
        {onePicture * 2, onePicture * 2}, {onePicture * 3 / 2, onePicture}, {onePicture - 1, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.budget);
        PictureWorkQueue queue(4, c.budget);
        for (int k = 0; k < int(bmps.size()); ++k) queue.prefetch(k, bmps[k]);
        for (int k = 0; k < int(bmps.size()); ++k) {
            const PictureWork work = queue.take(k, bmps[k], {});
            if (c.mostHeld == 0) {
                ASSERT_FALSE(work.scaled);
                EXPECT_EQ(work.scaled.error().neededBytes, onePicture);
                EXPECT_EQ(work.scaled.error().allowedBytes, c.budget);
                continue;
            }
            ASSERT_TRUE(work.scaled) << work.scaled.error().message.toStdString();
            EXPECT_EQ(work.canvas.picThumb.image.size(), QSize(60, 45));
        }
        // Whether two pictures met within the first budget is up to the threads.
        EXPECT_LE(queue.budget().peak(), c.mostHeld);
        EXPECT_GE(queue.budget().peak(), std::min(c.mostHeld, onePicture));
        EXPECT_EQ(queue.budget().inFlight(), 0);
    }
}

// The budget's order: a request of more than half waits until nothing else
// is held, nothing starts beside it, and a smaller request that comes later
// does not pass it.
TEST(DecodeBudget, APictureOfMoreThanHalfRunsAloneAndInTurn) {
    // Waits for what another thread does; a minute means it never will.
    const auto reached = [](const std::function<bool()>& condition) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (!condition() && std::chrono::steady_clock::now() < end) std::this_thread::yield();
        return condition();
    };
    DecodeBudget budget(100);
    auto small = budget.acquire(10);
    std::atomic<int> stage{0};
    std::thread large([&] {
        auto grant = budget.acquire(60);
        stage = 1;
        while (stage != 2) std::this_thread::yield();
    });
    EXPECT_TRUE(reached([&] { return budget.waiting() == 1; }));
    std::thread later([&] { auto grant = budget.acquire(10); });
    // 10 + 60 and 10 + 10 would fit: both wait, the large one for the small
    // one to end, the later one for its turn.
    EXPECT_TRUE(reached([&] { return budget.waiting() == 2; }));
    EXPECT_EQ(stage, 0);
    EXPECT_EQ(budget.inFlight(), 10);
    small.release();
    ASSERT_TRUE(reached([&] { return stage == 1; }));
    EXPECT_EQ(budget.inFlight(), 60);
    EXPECT_EQ(budget.waiting(), 1);  // not beside the large one
    stage = 2;
    large.join();
    later.join();
    EXPECT_EQ(budget.peak(), 60);
    EXPECT_EQ(budget.inFlight(), 0);
}

TEST_F(WorkQueueTest, WorkDroppedWhileAwaitedIsDoneAgainOnAWorker) {
    // The pump, called while take() waits for the held picture, throws all
    // held work away, the running picture's result included.
    const PictureKey key = keys[1];
    const auto gate = std::make_unique<WorkGate>(key.path);  // outlives the workers
    PictureWorkQueue queue(1);
    queue.prefetch(0, key);
    int pumps = 0;
    const PictureWork work = queue.take(0, key, [&] {
        if (!gate->holding() || gate->isOpen()) return;
        ++pumps;
        queue.discardAll();
        gate->open();
    });
    EXPECT_EQ(pumps, 1);
    // Work for exactly the key asked for, not the empty result of the work
    // that was thrown away, and done on a worker both times.
    EXPECT_EQ(work.key, key);
    ASSERT_TRUE(work.scaled);
    EXPECT_EQ(work.canvas.picThumb.image.size(), QSize(50, 25));
    const std::vector<std::thread::id> threads = gate->workThreads();
    EXPECT_EQ(threads.size(), 2u);
    for (const std::thread::id id : threads) EXPECT_NE(id, std::this_thread::get_id());
    EXPECT_EQ(queue.held(), 0);
}

}  // namespace
}  // namespace miniskop::testing
