// Replays every committed fuzz input (seed corpora and the inputs of past
// findings under tests/fuzz/regressions) through the fuzz bodies in the
// ordinary build, so a finding stays a regression test without clang. A broken
// property is a test failure; a crash or hang fails the test run.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "FuzzBodies.h"

namespace miniskop::hostile {
namespace {

struct Target {
    const char* folder;
    void (*body)(const uint8_t*, size_t);
};

class FuzzReplay : public ::testing::TestWithParam<Target> {
protected:
    void SetUp() override {
        fuzz::setCheckHandler([this](const QString& what) {
            ADD_FAILURE() << current_.toStdString() << ": " << what.toStdString();
        });
    }
    void TearDown() override { fuzz::setCheckHandler({}); }

    QString current_;
};

TEST_P(FuzzReplay, EveryCommittedInputKeepsItsProperties) {
    const Target target = GetParam();
    int replayed = 0;
    for (const char* kind : {"corpus", "regressions"}) {
        const QDir dir(QStringLiteral(MINISKOP_FUZZ_DIR "/%1/%2").arg(kind, target.folder));
        for (const QFileInfo& info : dir.entryInfoList(QDir::Files | QDir::Hidden)) {
            QFile file(info.filePath());
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << info.filePath().toStdString();
            const QByteArray bytes = file.readAll();
            current_ = info.filePath();
            target.body(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0) << "no seed corpus for " << target.folder;
}

INSTANTIATE_TEST_SUITE_P(
    Targets, FuzzReplay,
    ::testing::Values(Target{"ini", fuzz::fuzzIni}, Target{"numeric", fuzz::fuzzNumeric},
                      Target{"page", fuzz::fuzzPage}, Target{"pattern", fuzz::fuzzPattern},
                      Target{"picture", fuzz::fuzzPicture}, Target{"wmf", fuzz::fuzzPicture},
                      Target{"heif", fuzz::fuzzPicture}, Target{"jxl", fuzz::fuzzPicture},
                      Target{"tiff", fuzz::fuzzPicture}, Target{"icc", fuzz::fuzzIcc}),
    [](const ::testing::TestParamInfo<Target>& info) { return std::string(info.param.folder); });

}  // namespace
}  // namespace miniskop::hostile
