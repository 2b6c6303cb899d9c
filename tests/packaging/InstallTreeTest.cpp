// `cmake --install` of the build tree into a temporary prefix: the programs in
// bin/, the manual pages, and with the desktop program its desktop entry, the
// icons of every size, and the AppStream metainfo, each accepted by its
// validator. A missing validator skips its test with the Debian package to
// install, so the check is never passed unseen.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <memory>

#include "PackagingTestSupport.h"

namespace miniskop {
namespace {

using testing::readText;
using testing::runProgram;

const QString kAppId = QStringLiteral(MINISKOP_APP_ID);

// Finds the program `name` on PATH, or skips the test and names the Debian
// package that brings it.
#define FIND_TOOL_OR_SKIP(variable, name, package)                                 \
    const QString variable = QStandardPaths::findExecutable(QStringLiteral(name)); \
    if (variable.isEmpty()) {                                                      \
        GTEST_SKIP() << name " is missing (Debian package " package ")";           \
    }

class InstallTree : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        prefix_ = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(prefix_->isValid());
        const auto install =
            runProgram(QStringLiteral(MINISKOP_CMAKE_COMMAND),
                       {"--install", MINISKOP_BINARY_DIR, "--prefix", prefix_->path()});
        installLog_ = install.out + install.err;
        installed_ = install.exitCode == 0;
    }
    static void TearDownTestSuite() { prefix_.reset(); }

    void SetUp() override { ASSERT_TRUE(installed_) << installLog_.toStdString(); }

    static QString path(const QString& relative) { return prefix_->filePath(relative); }

    static inline std::unique_ptr<QTemporaryDir> prefix_;
    static inline bool installed_ = false;
    static inline QString installLog_;
};

TEST_F(InstallTree, ProgramsAreInBinAndRunFromThere) {
    const QFileInfo batch(path("bin/miniskop-batch"));
    EXPECT_TRUE(batch.isFile() && batch.isExecutable());
    const auto version = runProgram(batch.filePath(), {QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0) << version.err.toStdString();
    EXPECT_EQ(version.out, QStringLiteral("miniskop-batch " MINISKOP_VERSION "\n"));

    const QFileInfo window(path("bin/miniskop"));
    EXPECT_EQ(window.isFile() && window.isExecutable(), bool(MINISKOP_HAS_UI));
}

TEST_F(InstallTree, ManualPagesAreTheBuiltPagesCompressed) {
    QStringList pages{QStringLiteral("miniskop-batch")};
    if (MINISKOP_HAS_UI) pages << QStringLiteral("miniskop");
    FIND_TOOL_OR_SKIP(gzip, "gzip", "gzip");
    for (const QString& page : pages) {
        const QString installed = path("share/man/man1/" + page + ".1.gz");
        ASSERT_TRUE(QFileInfo::exists(installed)) << installed.toStdString();
        const auto unpacked = runProgram(gzip, {"-dc", installed});
        EXPECT_EQ(unpacked.exitCode, 0);
        EXPECT_EQ(unpacked.out, readText(QStringLiteral(MINISKOP_MAN_DIR "/") + page + ".1"))
            << page.toStdString();
    }
}

TEST_F(InstallTree, DesktopEntryIsValidGermanAndPointsAtProgramAndIcon) {
    if (!MINISKOP_HAS_UI) GTEST_SKIP() << "built without the desktop program";
    FIND_TOOL_OR_SKIP(validator, "desktop-file-validate", "desktop-file-utils");
    const QString entry = path("share/applications/" + kAppId + ".desktop");
    ASSERT_TRUE(QFileInfo::exists(entry));

    const auto validated = runProgram(validator, {entry});
    EXPECT_EQ(validated.exitCode, 0) << validated.out.toStdString() << validated.err.toStdString();
    EXPECT_EQ(validated.out + validated.err, QString()) << "hints count as findings";

    QSettings desktop(entry, QSettings::IniFormat);
    desktop.beginGroup(QStringLiteral("Desktop Entry"));
    const QString comment = desktop.value("Comment").toString();
    const QString germanComment = desktop.value("Comment[de]").toString();
    EXPECT_FALSE(desktop.value("Name[de]").toString().isEmpty());
    EXPECT_FALSE(germanComment.isEmpty());
    EXPECT_NE(germanComment, comment) << "the German comment is a translation";
    EXPECT_TRUE(germanComment.contains(QStringLiteral("Übersicht"))) << "read as UTF-8";
    EXPECT_TRUE(desktop.value("Categories").toString().split(';').contains("Graphics"));
    EXPECT_EQ(desktop.value("Icon").toString(), kAppId);
    // Exec names a program that the installation puts in bin/.
    const QString exec = desktop.value("Exec").toString().section(' ', 0, 0);
    EXPECT_TRUE(QFileInfo(path("bin/" + exec)).isExecutable()) << exec.toStdString();
}

TEST_F(InstallTree, IconIsInTheHicolorThemeAtEverySizeAndScalable) {
    if (!MINISKOP_HAS_UI) GTEST_SKIP() << "built without the desktop program";
    const QStringList sizes = QStringLiteral(MINISKOP_ICON_SIZES).split(' ');
    ASSERT_GE(sizes.size(), 6);
    for (const QString& text : sizes) {
        const int size = text.toInt();
        const QString file =
            path(QStringLiteral("share/icons/hicolor/%1x%1/apps/").arg(size) + kAppId + ".png");
        QImage icon(file);
        ASSERT_FALSE(icon.isNull()) << file.toStdString();
        EXPECT_EQ(icon.size(), QSize(size, size));
        ASSERT_TRUE(icon.hasAlphaChannel()) << size;
        // A drawn icon: transparent around it, opaque and not one colour inside.
        icon = icon.convertToFormat(QImage::Format_ARGB32);
        int transparent = 0, opaque = 0;
        QSet<QRgb> colours;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const QRgb p = icon.pixel(x, y);
                if (qAlpha(p) == 0) ++transparent;
                if (qAlpha(p) == 255) {
                    ++opaque;
                    colours.insert(p);
                }
            }
        }
        EXPECT_GT(transparent, 0) << size;
        EXPECT_GT(opaque, size * size / 4) << size;
        EXPECT_GE(colours.size(), 3) << size;
    }
    const QString scalable = path("share/icons/hicolor/scalable/apps/" + kAppId + ".svg");
    EXPECT_EQ(readText(scalable),
              readText(QStringLiteral(MINISKOP_SOURCE_DIR "/ui/resources/app.svg")));
}

TEST_F(InstallTree, MetainfoIsValidAndMatchesDesktopEntryAndVersion) {
    if (!MINISKOP_HAS_UI) GTEST_SKIP() << "built without the desktop program";
    FIND_TOOL_OR_SKIP(appstream, "appstreamcli", "appstream");
    const QString metainfo = path("share/metainfo/" + kAppId + ".metainfo.xml");
    ASSERT_TRUE(QFileInfo::exists(metainfo));

    // --strict: warnings and infos fail too; only pedantic hints pass.
    const auto file = runProgram(appstream, {"validate", "--no-net", "--strict", metainfo});
    EXPECT_EQ(file.exitCode, 0) << file.out.toStdString() << file.err.toStdString();
    // The tree check also reads the desktop entry and looks for the icon.
    const auto tree = runProgram(appstream, {"validate-tree", "--no-net", path("")});
    EXPECT_EQ(tree.exitCode, 0) << tree.out.toStdString() << tree.err.toStdString();

    const QString xml = readText(metainfo);
    EXPECT_TRUE(xml.contains("<id>" + kAppId + "</id>"));
    EXPECT_TRUE(
        xml.contains("<launchable type=\"desktop-id\">" + kAppId + ".desktop</launchable>"));
    EXPECT_TRUE(xml.contains(QStringLiteral("<release version=\"" MINISKOP_VERSION "\"")));
    for (const char* binary : {"miniskop", "miniskop-batch"}) {
        EXPECT_TRUE(xml.contains(QStringLiteral("<binary>%1</binary>").arg(binary)));
        EXPECT_TRUE(QFileInfo(path(QStringLiteral("bin/") + binary)).isExecutable()) << binary;
    }
}

}  // namespace
}  // namespace miniskop
