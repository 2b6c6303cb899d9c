// Whole-or-nothing writing: the target is either the complete old or the
// complete new file, and no temporary file is ever left behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>

#include "SafeFileWriter.h"

using namespace miniskop;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList leftovers(const QString& dir) {
    return QDir(dir).entryList({QString::fromLatin1(kTemporaryPrefix) + QLatin1Char('*')},
                               QDir::Files | QDir::Hidden | QDir::System);
}

struct FaultHookGuard {
    ~FaultHookGuard() { setWriteFaultHookForTesting({}); }
};

}  // namespace

TEST(SafeFileWriter, CreatesAndReplacesFiles) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("page.html"));
    ASSERT_TRUE(writeFileAtomically(path, "first version, longer").ok());
    ASSERT_TRUE(writeFileAtomically(path, "second").ok());
    EXPECT_EQ(readAll(path), QByteArray("second"));  // no bytes of the longer old version
    EXPECT_TRUE(leftovers(dir.path()).isEmpty());
}

TEST(SafeFileWriter, ReplacesReadOnlyFileAndWritesEmptyFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t_Foto.jpg"));
    ASSERT_TRUE(writeFileAtomically(path, "old").ok());
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
    ASSERT_TRUE(writeFileAtomically(path, QByteArrayView(), SyncMode::Durable).ok());
    EXPECT_TRUE(QFileInfo::exists(path));
    EXPECT_EQ(QFileInfo(path).size(), 0);
}

TEST(SafeFileWriter, FailuresLeaveTargetAndFolderClean) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Miniskop.ini"));
    ASSERT_TRUE(writeFileAtomically(path, "[a]\r\nk=1\r\n").ok());

    FaultHookGuard guard;
    setWriteFaultHookForTesting([](const QString&, qsizetype) { return ENOSPC; });
    const Status full = writeFileAtomically(path, QByteArray(100000, 'x'));
    ASSERT_FALSE(full.ok());
    EXPECT_TRUE(full.error().message.contains(path));
    EXPECT_EQ(readAll(path), QByteArray("[a]\r\nk=1\r\n"));
    EXPECT_TRUE(leftovers(dir.path()).isEmpty());

    setWriteFaultHookForTesting({});
    EXPECT_FALSE(writeFileAtomically(dir.filePath(QStringLiteral("missing/x.jpg")), "x").ok());
    EXPECT_FALSE(writeFileAtomically(dir.path(), "x").ok());  // a folder is never replaced
    EXPECT_FALSE(writeFileAtomically(QString(), "x").ok());
    EXPECT_TRUE(QFileInfo(dir.path()).isDir());
}

TEST(SafeFileWriter, UnwritableFolderGivesFailure) {
    // /proc refuses new files even to root, unlike a folder without write bits.
    const Status st = writeFileAtomically(QStringLiteral("/proc/miniskop-test.jpg"), "x");
    EXPECT_FALSE(st.ok());
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/proc/miniskop-test.jpg")));
}

TEST(SafeFileWriter, OddNamesAreWrittenUnderTheirOwnName) {
    QTemporaryDir dir;
    for (const QString& name : {QStringLiteral("Foto & Co's #1 %.jpg"), QStringLiteral("Grüße.jpg"),
                                QStringLiteral("写真.jpg")}) {
        const QString path = dir.filePath(name);
        ASSERT_TRUE(writeFileAtomically(path, name.toUtf8()).ok()) << name.toStdString();
        EXPECT_EQ(readAll(path), name.toUtf8());
    }
}
