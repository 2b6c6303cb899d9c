// The picture-file helper every decoder reads through: reads at the file's
// end come out short, a whole read stops at its limit, no read moves the
// descriptor's offset, and a library's message names the file by its path.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QTemporaryDir>

#include "PictureFile.h"
#include "ThumbnailTestPictures.h"

namespace miniskop {
namespace {

TEST(PictureFile, ReadsEndAtTheFilesEndAndWholeReadsAtTheLimit) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Bild ä.bin"));
    ASSERT_TRUE(testpics::writeBytes(path, QByteArray("0123456789")));
    auto file = PictureFile::open(path);
    ASSERT_TRUE(file.has_value()) << file.error().message.toStdString();
    EXPECT_EQ(file->size(), 10);
    EXPECT_EQ(file->head(4), QByteArray("0123"));
    EXPECT_EQ(file->head(20), QByteArray("0123456789"));
    char out[8] = {};
    EXPECT_EQ(file->readAt(7, out, 8), 3);
    EXPECT_EQ(QByteArray(out, 3), QByteArray("789"));
    EXPECT_EQ(file->readAt(10, out, 8), 0);
    EXPECT_EQ(file->readAll(10), std::optional<QByteArray>("0123456789"));
    EXPECT_EQ(file->readAll(9), std::nullopt);
    EXPECT_EQ(::lseek(file->descriptor(), 0, SEEK_CUR), 0);

    // The name handed to libraries leads to the same file; their messages
    // come back with the path.
    const auto name = file->nameForLibraries();
    ASSERT_TRUE(name.has_value());
    EXPECT_EQ(testpics::readBytes(*name), QByteArray("0123456789"));
    EXPECT_EQ(file->named(Failure{*name + QStringLiteral(": damaged")}).message,
              path + QStringLiteral(": damaged"));
}

}  // namespace
}  // namespace miniskop
