// --jobs: how the option is read, and that the program's output does not
// depend on it (thumbnails, page and report byte for byte the same).
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include "BatchOptions.h"
#include "BatchTestSupport.h"

namespace miniskop {
namespace {

TEST(BatchJobsOption, ReadInAllSpellingsWithinRange) {
    EXPECT_FALSE(parseBatchArguments({"dir"})->jobs.has_value());
    EXPECT_EQ(parseBatchArguments({"--jobs", "1", "dir"})->jobs, 1);
    EXPECT_EQ(parseBatchArguments({"--jobs=3", "dir"})->jobs, 3);
    EXPECT_EQ(parseBatchArguments({"-j", " 4 ", "dir"})->jobs, 4);
    EXPECT_EQ(parseBatchArguments({"-j2", "dir"})->jobs, 2);
    EXPECT_EQ(parseBatchArguments({"dir", "-j", "256"})->jobs, kMaxBatchJobs);

    for (const char* bad : {"0", "-1", "257", "many", "2.5", ""}) {
        SCOPED_TRACE(bad);
        const Expected<BatchOptions> parsed = parseBatchArguments({"--jobs", bad, "dir"});
        ASSERT_FALSE(parsed.has_value());
        EXPECT_TRUE(parsed.error().message.contains("--jobs"));
    }
    EXPECT_FALSE(parseBatchArguments({"dir", "--jobs"}).has_value());
    EXPECT_TRUE(batchUsageText().contains("--jobs N"));
}

TEST(BatchJobsProgram, OutputIsTheSameForAnyJobCount) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString pics = root.filePath("pics");
    const QString config = root.filePath("config");
    ASSERT_TRUE(QDir().mkpath(pics));
    ASSERT_TRUE(QDir().mkpath(config));
    const QStringList names{"a.jpg", "b.png", "c.bmp", "d.jpg", "e.png", "f.jpg"};
    for (int k = 0; k < names.size(); ++k)
        testing::writePicture(pics + "/" + names[k], 200 + 150 * k, 900 - 100 * k);

    std::map<int, std::map<QString, QByteArray>> filesByJobs;
    std::map<int, QString> outByJobs;
    for (int jobs : {1, 2, 5}) {
        SCOPED_TRACE(jobs);
        const testing::BatchResult r = testing::runBatchTool(
            {"--jobs", QString::number(jobs), "--pattern", "*.*", "--quiet", pics}, config);
        ASSERT_TRUE(r.normalExit);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        const QString thumbs = pics + "/Thumbnails";
        for (const QString& name : QDir(thumbs).entryList(QDir::Files | QDir::Hidden))
            filesByJobs[jobs][name] = testing::readAll(thumbs + "/" + name);
        outByJobs[jobs] = r.out;
        ASSERT_TRUE(QDir(thumbs).removeRecursively());
    }
    EXPECT_EQ(filesByJobs[1].size(), names.size() + 1);  // thumbnails and the page
    for (int jobs : {2, 5}) {
        EXPECT_TRUE(filesByJobs[jobs] == filesByJobs[1]) << "jobs " << jobs;
        EXPECT_EQ(outByJobs[jobs], outByJobs[1]);
    }
}

}  // namespace
}  // namespace miniskop
