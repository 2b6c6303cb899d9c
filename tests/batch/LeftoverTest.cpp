// A run cleans up what earlier runs that were killed while writing left in
// its thumbnail folder, and nothing else: not a temporary file another run
// is still writing, not a file that merely looks like one.
#include <gtest/gtest.h>
#include <sys/file.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "BatchTestSupport.h"
#include "SafeFileWriter.h"

namespace miniskop {
namespace {

using testing::runBatchTool;
using testing::writePicture;

using Leftovers = testing::BatchFolders;

TEST_F(Leftovers, ARunRemovesOnlyTemporaryFilesNoWriterHolds) {
    const QString thumbs = pics() + "/Thumbnails";
    ASSERT_TRUE(QDir().mkpath(thumbs));
    writePicture(pics() + "/Bild.jpg", 80, 60);
    const QString prefix = QString::fromLatin1(kTemporaryPrefix);
    const auto make = [&](const QString& name) {
        QFile file(thumbs + '/' + name);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
        file.write("halb geschrieben");
    };

    // Left by a writer that died: nobody holds it.
    make(prefix + "dead0001");
    // Being written by a writer that is alive (this test): it holds the lock.
    make(prefix + "alive0002");
    QFile alive(thumbs + '/' + prefix + "alive0002");
    ASSERT_TRUE(alive.open(QIODevice::ReadWrite));
    ASSERT_EQ(::flock(alive.handle(), LOCK_EX), 0);
    // Not ours, though they look alike.
    make(prefix + "Fremd_Datei");
    make(prefix.chopped(1) + "x1");
    ASSERT_TRUE(QDir(thumbs).mkdir(prefix + "ordner03"));
    ASSERT_TRUE(QFile::link(thumbs + '/' + prefix + "alive0002", thumbs + '/' + prefix + "link04"));

    const testing::BatchResult r = runBatchTool({pics()}, config());
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();

    QStringList left = QDir(thumbs).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                              QDir::NoDotAndDotDot);
    QStringList expected = {
        prefix.chopped(1) + "x1", prefix + "Fremd_Datei", prefix + "alive0002", prefix + "link04",
        prefix + "ordner03",      "ThumbIndex.html",      "t_Bild.jpg"};
    left.sort();
    expected.sort();
    EXPECT_EQ(left.join(' ').toStdString(), expected.join(' ').toStdString());
}

}  // namespace
}  // namespace miniskop
