// A slow folder never freezes the window: while the window reads a folder
// whose every entry takes a few milliseconds (SlowFolders.h), its event loop
// keeps turning, and the list and count fill in when the reading is in. What
// is measured is the event loop's longest stall, not the reading's duration,
// and whether the window's own thread read any of the slow folder's entries.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <functional>

#include "MainWindowTestSupport.h"
#include "SlowFolders.h"

namespace miniskop {
namespace {

using testing::WindowFixture;

// The window must repaint and react within this.
constexpr qint64 kLongestStallMs = 100;
// Each entry of the slow folder waits this long: a reading of its 250
// entries takes over a second, ten times the stall allowed.
constexpr int kPerEntryUs = 5000;

class SlowFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        slow = f.root.filePath("langsam");
        ASSERT_TRUE(QDir().mkpath(slow));
        // Only the names count for the list; the files may be empty.
        for (int i = 0; i < 200; ++i) touch(slow + QStringLiteral("/Bild%1.jpg").arg(i));
        for (int i = 0; i < 50; ++i) touch(slow + QStringLiteral("/Schirm%1.png").arg(i));
        testing::slowDownFolders(slow, kPerEntryUs);
    }
    void TearDown() override { testing::slowDownFolders({}, 0); }

    static void touch(const QString& path) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    // Runs the event loop from `action` until the window's readings are in,
    // with a timer asking for a turn every 5 ms; returns the longest wait
    // between two turns.
    qint64 longestStall(const std::function<void()>& action) {
        QEventLoop loop;
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0;
        qint64 longest = 0;
        bool acted = false;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
            const qint64 now = clock.elapsed();
            longest = std::max(longest, now - last);
            last = now;
            if (acted && f.window && !f.window->File1->isListing() &&
                !f.window->Dir1->isListing()) {
                loop.quit();
            }
            if (now > 60000) loop.quit();  // only a hung reading gets here
        });
        QTimer::singleShot(0, &loop, [&] {
            action();
            const qint64 now = clock.elapsed();
            longest = std::max(longest, now - last);
            last = now;
            acted = true;
        });
        ticker.start(5);
        loop.exec();
        return longest;
    }

    WindowFixture f;
    QString slow;
};

TEST_F(SlowFolderTest, TheWindowKeepsReactingWhileItReadsASlowFolder) {
    frmAnzeiger& w = f.open();
    const QString slowPath = QDir(slow).canonicalPath();
    struct Row {
        const char* what;
        std::function<void()> action;
        int listed;
        const char* label5;
    };
    const Row rows[] = {
        {"folder change", [&] { ASSERT_TRUE(w.Dir1->setPath(slow).ok()); }, 200, "200"},
        // A typed pattern leaves the count as it was.
        {"typed pattern", [&] { w.Text1->setText(QStringLiteral("*.png")); }, 50, "200"},
        {"type click", [&] { w.Check3[0]->click(); }, 0, "0"},  // jpg off
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_LT(longestStall(row.action), kLongestStallMs);
        EXPECT_EQ(w.File1->Path(), slowPath);
        EXPECT_EQ(w.File1->ListCount(), row.listed);
        EXPECT_EQ(w.File1->count(), row.listed);
        EXPECT_EQ(w.Label5->text(), row.label5);
    }
    EXPECT_EQ(testing::slowStepsOnCallingThread(), 0) << "read on the window's thread";
    EXPECT_TRUE(f.recorded.messages.isEmpty());
}

// Building the window takes its own time, so here what counts is that the
// window's thread never reads the folder itself.
TEST_F(SlowFolderTest, AWindowStartedOnASlowFolderLeavesTheReadingToAnotherThread) {
    frmAnzeiger& w = f.open(QString(), slow);
    EXPECT_EQ(testing::slowStepsOnCallingThread(), 0);
    EXPECT_EQ(w.File1->Path(), QDir(slow).canonicalPath());
    EXPECT_EQ(w.Label5->text(), "200");
    EXPECT_GT(w.Dir1->count(), 0);
}

}  // namespace
}  // namespace miniskop
