// miniskop-batch as a program: usage errors, help and version, the settings
// file it starts from (and never writes), Ctrl-C, and the progress bar on a
// terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include "BatchTestSupport.h"

namespace miniskop {
namespace {

using testing::BatchResult;
using testing::countOf;
using testing::pictureSize;
using testing::readAll;
using testing::runBatchTool;
using testing::writePicture;

class BatchProgram : public testing::BatchFolders {
protected:
    void SetUp() override {
        BatchFolders::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(QDir().mkpath(config() + "/Miniskop"));
        writePicture(pics() + "/Wide.jpg", 300, 150);
    }

    QString iniPath() const { return config() + "/Miniskop/Miniskop.ini"; }

    void writeIni(const QByteArray& text) {
        QFile file(iniPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
};

struct UsageCase {
    const char* name;
    QStringList arguments;
};

class BatchUsage : public BatchProgram, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(BatchUsage, ExitsWithTwoAndTheUsageAndTouchesNothing) {
    QStringList arguments = GetParam().arguments;
    arguments.replaceInStrings("PICS", pics());
    const BatchResult r = runBatchTool(arguments, config());
    ASSERT_TRUE(r.normalExit);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.startsWith("miniskop-batch: ")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("Usage: miniskop-batch")) << r.err.toStdString();
    EXPECT_EQ(r.out, QString());
    EXPECT_FALSE(QFileInfo::exists(pics() + "/Thumbnails"));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, BatchUsage,
    ::testing::Values(UsageCase{"UnknownOption", {"--frobnicate", "PICS"}},
                      UsageCase{"QualityZero", {"--quality", "0", "PICS"}},
                      UsageCase{"QualityOneHundredOne", {"--quality", "101", "PICS"}},
                      UsageCase{"PrefixAndSuffix", {"--prefix", "a", "--suffix", "b", "PICS"}},
                      UsageCase{"MissingFolder", {"--quiet"}},
                      UsageCase{"RefusedPattern", {"--pattern", "*.jpg;;*.gif", "PICS"}},
                      UsageCase{"FolderNameOutside", {"--folder-name", "../Thumbnails", "PICS"}},
                      UsageCase{"PageNameOutside", {"--page-name", "../x.html", "PICS"}}),
    [](const ::testing::TestParamInfo<UsageCase>& info) { return info.param.name; });

TEST_F(BatchProgram, HelpAndVersionGoToStdout) {
    const BatchResult help = runBatchTool({"--help"}, config());
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith("Usage: miniskop-batch")) << help.out.toStdString();
    EXPECT_EQ(help.err, QString());

    const BatchResult version = runBatchTool({"--version"}, config());
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "miniskop-batch " MINISKOP_VERSION "\n");
}

TEST_F(BatchProgram, StartsFromTheUsersSettingsFileAndLeavesItAlone) {
    const QByteArray ini =
        "[Groesse_der_Miniaturbilder]\r\ngroesseMin=50\r\n"
        "[Anzahl_der_Miniaturbilder]\r\nanzTabelle=6\r\n"
        "[Name_der_Html_Seite]\r\nnameHTML=Seite.html\r\n"
        "[Name_des_ThumbnailOrdners]\r\nnameOrdner=Klein\r\n"
        "[JPG-Qualitaet]\r\nqJPG=90\r\n"
        "[Erweiterung]\r\noptE=False\r\n";
    writeIni(ini);

    BatchResult r = runBatchTool({pics()}, config());
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(pictureSize(pics() + "/Klein/Wide_t.jpg"), QSize(50, 25));
    EXPECT_TRUE(r.out.endsWith(pics() + "/Klein/Seite.html\n"));

    // Options override the file.
    r = runBatchTool({"--size", "80", "--prefix", "p_", pics()}, config());
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(pictureSize(pics() + "/Klein/p_Wide.jpg"), QSize(80, 40));

    EXPECT_EQ(readAll(iniPath()), ini);
    EXPECT_EQ(QDir(config() + "/Miniskop").entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST_F(BatchProgram, IncompleteSettingsFileMeansDefaultsAndIsNotRewritten) {
    // Without "optE" the desktop program would restore and save the defaults;
    // the batch tool takes the defaults but writes nothing.
    const QByteArray ini = "[Groesse_der_Miniaturbilder]\ngroesseMin=50\n";
    writeIni(ini);
    const BatchResult r = runBatchTool({pics()}, config());
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(pictureSize(pics() + "/Thumbnails/t_Wide.jpg"), QSize(120, 60));
    EXPECT_EQ(readAll(iniPath()), ini);
}

TEST_F(BatchProgram, InterruptFinishesThePictureInHandAndWritesThePage) {
    // Enough large pictures that the run is still busy when the signal comes.
    const int count = 80;
    writePicture(pics() + "/big000.png", 1600, 1200);
    for (int i = 1; i < count; ++i) {
        ASSERT_TRUE(QFile::copy(pics() + "/big000.png",
                                pics() + QStringLiteral("/big%1.png").arg(i, 3, 10, QChar('0'))));
    }
    const QString firstThumb = pics() + "/Thumbnails/t_big000.jpg";
    const BatchResult r =
        runBatchTool({"--pattern", "*.png", "--quiet", pics()}, config(), [&](QProcess& p) {
            // The handler is in place before the first picture; send Ctrl-C
            // once the first thumbnail is there.
            QElapsedTimer waited;
            waited.start();
            while (!QFileInfo::exists(firstThumb) && waited.elapsed() < 120000 &&
                   p.state() == QProcess::Running) {
                QThread::msleep(2);
            }
            ::kill(static_cast<pid_t>(p.processId()), SIGINT);
        });
    ASSERT_TRUE(r.normalExit) << r.err.toStdString();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("cancelled after")) << r.err.toStdString();

    const QByteArray html = readAll(pics() + "/Thumbnails/ThumbIndex.html");
    const int cells = countOf(html, "<td class=i>");
    EXPECT_GE(cells, 1);
    EXPECT_LT(cells, count);
    const int made = QDir(pics() + "/Thumbnails").entryList({"t_big*.jpg"}, QDir::Files).size();
    EXPECT_EQ(made, cells);
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("Anzahl erzeugter Thumbnails: %1\n"
                                                "Thumbnail Generierung beendet...\n")
                                     .arg(cells)))
        << r.out.toStdString();
}

// Runs the program with stderr on a pseudo-terminal; returns what the
// terminal received.
QByteArray runOnTerminal(const QStringList& arguments, const QString& configHome, int* exitCode) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return {};
    const QByteArray slaveName = ptsname(master);
    QByteArray received;
    const BatchResult r = [&] {
        QProcess process;
        process.setChildProcessModifier([slaveName] {
            const int slave = ::open(slaveName.constData(), O_RDWR | O_NOCTTY);
            if (slave >= 0) ::dup2(slave, STDERR_FILENO);
        });
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", configHome);
        env.insert("TERM", "dumb");  // the plain bar, without colour escapes
        process.setProcessEnvironment(env);
        process.start(testing::batchExecutable(), arguments);
        process.waitForFinished(300000);
        BatchResult result;
        result.exitCode = process.exitCode();
        return result;
    }();
    *exitCode = r.exitCode;
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    char buffer[4096];
    for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;) received.append(buffer, n);
    ::close(master);
    return received;
}

TEST_F(BatchProgram, ProgressBarOnATerminalOnly) {
    writePicture(pics() + "/Tall.jpg", 100, 300);
    int exitCode = -1;
    const QByteArray shown = runOnTerminal({pics()}, config(), &exitCode);
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(shown.contains('\r')) << shown.toStdString();
    EXPECT_TRUE(shown.contains("100 %")) << shown.toStdString();
    EXPECT_TRUE(shown.contains("50 %")) << shown.toStdString();  // 1 of 2
    EXPECT_TRUE(shown.contains("####")) << shown.toStdString();

    const QByteArray quiet = runOnTerminal({"--quiet", pics()}, config(), &exitCode);
    EXPECT_EQ(exitCode, 0);
    EXPECT_FALSE(quiet.contains('%')) << quiet.toStdString();
}

}  // namespace
}  // namespace miniskop
