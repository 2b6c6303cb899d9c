// The INI layer: lookup rules (case, blanks, comments, duplicates, buffer
// size), and writes that change only the line they must.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "IniFile.h"
#include "TestFiles.h"

namespace miniskop {
namespace {

using testing::readBytes;
using testing::temporaryLeftovers;
using testing::writeBytes;

class IniFileTest : public ::testing::Test {
protected:
    QString path() const { return dir.filePath(QStringLiteral("test.ini")); }
    QString get(const char* section, const char* key, int buffer = 255) const {
        return IniFile::GetPrivateProfileString(QString::fromUtf8(section), QString::fromUtf8(key),
                                                QString(), buffer, path());
    }
    Status put(const char* section, const char* key, const QString& value) const {
        return IniFile::WritePrivateProfileString(QString::fromUtf8(section),
                                                  QString::fromUtf8(key), value, path());
    }

    QTemporaryDir dir;
};

TEST_F(IniFileTest, MissingFileGivesTheDefaultAndCreatesNothing) {
    EXPECT_EQ(IniFile::GetPrivateProfileString("S", "k", "fallback", 255, path()),
              QStringLiteral("fallback"));
    EXPECT_FALSE(QFile::exists(path()));
}

TEST_F(IniFileTest, LookupIgnoresCaseAndBlanksAndSkipsCommentsAndOtherSections) {
    ASSERT_TRUE(writeBytes(path(),
                           "top=outside\r\n"
                           "; a comment\r\n"
                           "[Other]\r\n"
                           "wanted=wrong section\r\n"
                           "  [ MySection ]  \r\n"
                           ";wanted=commented out\r\n"
                           "no equals sign here\r\n"
                           "\tWANTED \t=  a=b=c  \r\n"
                           "empty=\r\n"));
    EXPECT_EQ(get("mysection", "wanted"), QStringLiteral("a=b=c"));
    EXPECT_EQ(get("MYSECTION", " Wanted "), QStringLiteral("a=b=c"));
    EXPECT_EQ(get("Other", "wanted"), QStringLiteral("wrong section"));
    EXPECT_EQ(get("MySection", "top"), QString());
    EXPECT_EQ(get("MySection", "empty"), QString());
    EXPECT_EQ(get("MySection", "missing"), QString());
    EXPECT_EQ(get("Missing", "wanted"), QString());
}

TEST_F(IniFileTest, ReadsLfOnlyFilesAndAFinalLineWithoutLineEnd) {
    ASSERT_TRUE(writeBytes(path(), "[A]\nx=1\n[B]\ny=2"));
    EXPECT_EQ(get("A", "x"), QStringLiteral("1"));
    EXPECT_EQ(get("B", "y"), QStringLiteral("2"));
}

TEST_F(IniFileTest, FirstDuplicateWinsForReadingAndWriting) {
    ASSERT_TRUE(writeBytes(path(), "[A]\r\nk=one\r\nk=two\r\n[a]\r\nk=three\r\nonly=here\r\n"));
    EXPECT_EQ(get("A", "k"), QStringLiteral("one"));
    // Only the first section with the name is searched.
    EXPECT_EQ(get("A", "only"), QString());
    ASSERT_TRUE(put("a", "K", QStringLiteral("new")));
    EXPECT_EQ(readBytes(path()),
              QByteArray("[A]\r\nK=new\r\nk=two\r\n[a]\r\nk=three\r\nonly=here\r\n"));
}

TEST_F(IniFileTest, ValueIsCutToTheBufferLessOne) {
    const QString longValue = QString(300, QLatin1Char('x'));
    ASSERT_TRUE(put("S", "k", longValue));
    EXPECT_EQ(get("S", "k"), longValue.left(254));
    EXPECT_EQ(get("S", "k", 10), QStringLiteral("xxxxxxxxx"));
    EXPECT_EQ(get("S", "k", 1), QString());
    EXPECT_EQ(get("S", "k", 0), QString());
    EXPECT_EQ(IniFile::GetPrivateProfileString("S", "none", "abcdef", 4, path()),
              QStringLiteral("abc"));
}

TEST_F(IniFileTest, WritingCreatesTheFileWithCrLfLines) {
    ASSERT_TRUE(put("Sec", "key", QStringLiteral("value")));
    ASSERT_TRUE(put("Sec", "second", QStringLiteral("2")));
    ASSERT_TRUE(put("Next", "k", QString()));
    EXPECT_EQ(readBytes(path()), QByteArray("[Sec]\r\nkey=value\r\nsecond=2\r\n[Next]\r\nk=\r\n"));
    EXPECT_TRUE(temporaryLeftovers(dir.path()).isEmpty());
}

TEST_F(IniFileTest, WritingKeepsEveryOtherLineByteForByte) {
    const QByteArray before =
        "; written by hand\r\n"
        "[Foreign]\r\n"
        "  odd = spacing ; kept\r\n"
        "\r\n"
        "[Target]\r\n"
        "first=1\r\n"
        "  Key =  old\r\n"
        "last=3\r\n"
        "\r\n"
        "\r\n"
        "[After]\r\n"
        "z=9";
    ASSERT_TRUE(writeBytes(path(), before));

    ASSERT_TRUE(put("target", "key", QStringLiteral("new")));
    QByteArray expected = before;
    expected.replace("  Key =  old", "key=new");
    EXPECT_EQ(readBytes(path()), expected);

    // A new key goes after the section's last line, before its blank lines.
    ASSERT_TRUE(put("Target", "added", QStringLiteral("4")));
    expected.replace("last=3\r\n", "last=3\r\nadded=4\r\n");
    EXPECT_EQ(readBytes(path()), expected);

    // A new key in the last section, whose last line had no line end.
    ASSERT_TRUE(put("After", "y", QStringLiteral("8")));
    expected.append("\r\ny=8\r\n");
    EXPECT_EQ(readBytes(path()), expected);

    // A new section at the end.
    ASSERT_TRUE(put("New", "n", QStringLiteral("0")));
    expected.append("[New]\r\nn=0\r\n");
    EXPECT_EQ(readBytes(path()), expected);
}

TEST_F(IniFileTest, WritingKeepsTheFilesLfStyle) {
    ASSERT_TRUE(writeBytes(path(), "[A]\nx=1\n"));
    ASSERT_TRUE(put("A", "y", QStringLiteral("2")));
    ASSERT_TRUE(put("B", "z", QStringLiteral("3")));
    EXPECT_EQ(readBytes(path()), QByteArray("[A]\nx=1\ny=2\n[B]\nz=3\n"));
}

TEST_F(IniFileTest, AnUnendedLastLineKeepsItsTrailingCarriageReturn) {
    // The CR belongs to the value; the line end added before a new section
    // must not swallow it, in either line end style.
    for (const QByteArray& style : {QByteArray("\n"), QByteArray("\r\n")}) {
        SCOPED_TRACE(style.size());
        ASSERT_TRUE(writeBytes(path(), "[A]" + style + "x=1\r\r"));
        const QString before = get("A", "x");
        ASSERT_EQ(before, QStringLiteral("1\r\r"));
        ASSERT_TRUE(put("B", "z", QStringLiteral("3")));
        EXPECT_EQ(get("A", "x"), before);
        EXPECT_EQ(get("B", "z"), QStringLiteral("3"));
        EXPECT_EQ(readBytes(path()), "[A]" + style + "x=1\r\r\r\n[B]" + style + "z=3" + style);
    }
}

TEST_F(IniFileTest, TextIsWindows1252) {
    ASSERT_TRUE(put("S", "k", QStringLiteral("Gr\u00FC\u00DFe \u20AC")));
    EXPECT_EQ(readBytes(path()), QByteArray("[S]\r\nk=Gr\xFC\xDF"
                                            "e \x80\r\n"));
    EXPECT_EQ(get("S", "k"), QStringLiteral("Gr\u00FC\u00DFe \u20AC"));
}

TEST_F(IniFileTest, ValueWithALineBreakIsRefusedAndTheFileStaysAsItWas) {
    ASSERT_TRUE(writeBytes(path(), "[S]\r\nk=v\r\n"));
    EXPECT_FALSE(put("S", "k", QStringLiteral("x\r\n[Injected]\r\nk=y")));
    EXPECT_FALSE(put("S", "k", QStringLiteral("x\ny")));
    EXPECT_EQ(readBytes(path()), QByteArray("[S]\r\nk=v\r\n"));
}

TEST_F(IniFileTest, FailedWriteLeavesTheOldFileAndNoTemporaryFile) {
    ASSERT_TRUE(writeBytes(path(), "[S]\r\nk=v\r\n"));
    setWriteFaultHookForTesting([](const QString&, qsizetype) { return ENOSPC; });
    const Status status = put("S", "k", QStringLiteral("new"));
    setWriteFaultHookForTesting({});
    EXPECT_FALSE(status);
    EXPECT_EQ(readBytes(path()), QByteArray("[S]\r\nk=v\r\n"));
    EXPECT_TRUE(temporaryLeftovers(dir.path()).isEmpty());
}

}  // namespace
}  // namespace miniskop
