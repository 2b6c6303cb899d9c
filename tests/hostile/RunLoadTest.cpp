// Load: one run over 100,000 tiny pictures (MINISKOP_LOAD_PICTURES changes
// the count), and a run cancelled and restarted 50 times in a row. Afterwards
// the process holds no more descriptors or threads than before and no
// temporary file is left. Labelled "load" in ctest.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <optional>

#include "FileList.h"
#include "HostileSupport.h"
#include "ThumbnailRun.h"

namespace miniskop::hostile {
namespace {

QByteArray tinyBmp() {
    QImage image(2, 2, QImage::Format_RGB32);
    image.fill(qRgb(200, 80, 30));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return bytes;
}

// Writes `count` copies of `bytes` as bild000000.bmp ... into `folder`.
void writeCopies(const QString& folder, int count, const QByteArray& bytes) {
    for (int i = 0; i < count; ++i) {
        const QByteArray path =
            QFile::encodeName(folder) +
            QStringLiteral("/bild%1.bmp").arg(i, 6, 10, QLatin1Char('0')).toLatin1();
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size());
        ::close(fd);
    }
}

struct Baseline {
    int descriptors = openDescriptorCount();
    int threads = threadCount();
};

// 100,000 pictures take about half a minute in an optimised build and some
// minutes under the sanitizers; MINISKOP_LOAD_PICTURES sets another count.
int loadPictureCount() {
    bool ok = false;
    const int count = qEnvironmentVariableIntValue("MINISKOP_LOAD_PICTURES", &ok);
    return ok && count > 0 ? count : 100000;
}

TEST(RunLoad, HundredThousandPicturesLeakNothing) {
    const int kCount = loadPictureCount();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    writeCopies(dir.path(), kCount, tinyBmp());
    Expected<QStringList> listed = listFolder(dir.path(), "*.bmp");
    ASSERT_TRUE(listed.has_value());
    ASSERT_EQ(listed->size(), kCount);

    const Baseline before;
    {
        RecordingHost host;
        host.folder = dir.path();
        host.entries = *listed;
        ThumbnailRun run(host);
        run.Command1_Click();
        const auto& outcome = run.lastOutcome();
        EXPECT_EQ(outcome.finished, kCount);
        EXPECT_EQ(outcome.failed, 0);
        EXPECT_TRUE(outcome.pageWritten);
        EXPECT_EQ(run.ThumbEntries().size(), kCount);
    }
    EXPECT_EQ(settledThreadCount(before.threads), before.threads);
    EXPECT_EQ(openDescriptorCount(), before.descriptors);
    EXPECT_TRUE(temporaryLeftovers(dir.path()).isEmpty());
    const QString thumbs = dir.path() + "/Thumbnails";
    EXPECT_EQ(QDir(thumbs).entryList({"t_*.jpg"}, QDir::Files).size(), kCount);
    const PageCheck page = checkPage(thumbs + "/ThumbIndex.html");
    ASSERT_TRUE(page.valid) << page.problem.toStdString();
    EXPECT_EQ(page.cells.size(), kCount);
}

TEST(RunLoad, FiftyCancelsAndRestartsLeakNothing) {
    constexpr int kCount = 20;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (int i = 0; i < kCount; ++i) {
        writeTestPicture(dir.path() + QStringLiteral("/bild%1.jpg").arg(i, 2, 10, QLatin1Char('0')),
                         300, 200);
    }
    const Baseline beforeRun;
    {
        RecordingHost host;
        host.folder = dir.path();
        host.entries = *listFolder(dir.path(), "*.jpg");
        ThumbnailRun run(host);
        // The cancel click arrives while the fourth picture is in hand.
        host.onDoEvents = [&](int) {
            if (host.picturesShown == 4 && run.state() == ThumbnailRun::State::Running) {
                run.Command1_Click();
            }
        };
        // The look-ahead workers live as long as the run object; they are
        // counted from the first round on.
        std::optional<Baseline> before;
        for (int round = 0; round < 50; ++round) {
            SCOPED_TRACE(round);
            host.picturesShown = 0;
            run.Command1_Click();
            ASSERT_EQ(run.state(), ThumbnailRun::State::Idle);
            EXPECT_EQ(run.lastOutcome().finished, 4);
            EXPECT_TRUE(run.lastOutcome().pageWritten);
            EXPECT_EQ(host.label4, "Anzahl erzeugter Thumbnails: 4");
            if (!before) before.emplace();
        }
        EXPECT_EQ(threadCount(), before->threads);
        EXPECT_TRUE(temporaryLeftovers(dir.path()).isEmpty());
    }
    // Workers may still have held a picture they were decoding ahead when the
    // cancel came; once the run object is gone, nothing of it may remain.
    EXPECT_EQ(settledThreadCount(beforeRun.threads), beforeRun.threads);
    EXPECT_EQ(openDescriptorCount(), beforeRun.descriptors);
    EXPECT_TRUE(temporaryLeftovers(dir.path()).isEmpty());
}

}  // namespace
}  // namespace miniskop::hostile
