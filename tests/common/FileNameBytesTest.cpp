// Names as bytes: every byte string comes back exactly from its name, valid
// UTF-8 reads as Qt reads it, and what is not UTF-8 shows as the
// replacement mark while staying apart from every other name.
#include <gtest/gtest.h>

#include <QSet>

#include "FileNameBytes.h"

using namespace miniskop;

TEST(FileNameBytes, EveryByteStringComesBackExactly) {
    const struct {
        QByteArray bytes;
        QString shown;  // empty: as QString::fromUtf8 reads the bytes
    } cases[] = {
        {"", ""},
        {"Foto.jpg", ""},
        {"Gr\xc3\xbcn.jpg", ""},               // UTF-8 ü
        {"\xe5\x86\x99\xe7\x9c\x9f.jpg", ""},  // CJK
        {"emoji \xf0\x9f\x98\x80.jpg", ""},    // outside the BMP: a surrogate pair
        {"\xf0\x90\x82\x80", ""},              // U+10080, whose low half is U+DC80
        {"Gr\xfcn.jpg", u"Gr\uFFFDn.jpg"_qs},  // Latin-1 ü
        {"Gr\xe4n.jpg", u"Gr\uFFFDn.jpg"_qs},  // Latin-1 ä: same shown, other name
        {"kaputt-\xff\xfe-\xc3.jpg", u"kaputt-\uFFFD\uFFFD-\uFFFD.jpg"_qs},
        {"\xc3(", u"\uFFFD("_qs},                              // a lead byte without its follower
        {"\xc0\xaf", u"\uFFFD\uFFFD"_qs},                      // overlong "/"
        {"\xed\xa0\x80", u"\uFFFD\uFFFD\uFFFD"_qs},            // an encoded surrogate
        {"\xf4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"_qs},  // past U+10FFFF
        {"\xf0\x9f\x98", u"\uFFFD\uFFFD\uFFFD"_qs},            // cut short
        {"\xf0\x90\x82\x80\x80", u"\U00010080\uFFFD"_qs},      // a pair, then a stray byte
    };
    QSet<QString> names;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.toHex().toStdString());
        const QString name = nameFromBytes(c.bytes);
        EXPECT_EQ(nameToBytes(name), c.bytes);
        const QString shown = c.shown.isEmpty() ? QString::fromUtf8(c.bytes) : c.shown;
        EXPECT_EQ(shownName(name), shown);
        if (c.shown.isEmpty()) {
            EXPECT_EQ(name, QString::fromUtf8(c.bytes));
        }
        names.insert(name);
    }
    EXPECT_EQ(names.size(), qsizetype(std::size(cases))) << "two byte strings share a name";

    // Every single byte, alone and after a valid character.
    for (int b = 0; b < 256; ++b) {
        const QByteArray bytes = QByteArray("\xc3\xa4") + char(b) + "x";
        EXPECT_EQ(nameToBytes(nameFromBytes(bytes)), bytes) << b;
    }
}

TEST(FileNameBytes, EscapedBytesAreToldApartFromPairs) {
    const QString name = nameFromBytes("\x80\xf0\x90\x82\x80\xff");
    ASSERT_EQ(name.size(), 4);
    EXPECT_EQ(escapedByteAt(name, 0), 0x80);
    EXPECT_EQ(escapedByteAt(name, 1), -1);  // high half of U+10080
    EXPECT_EQ(escapedByteAt(name, 2), -1);  // its low half, U+DC80
    EXPECT_EQ(escapedByteAt(name, 3), 0xff);
    // Path text keeps the bytes.
    EXPECT_EQ(nameToBytes(absoluteCleanPath("/a/./b/../" + name)),
              QByteArray("/a/\x80\xf0\x90\x82\x80\xff"));
}

TEST(FileNameBytes, FileUrlsCarryTheBytes) {
    for (const QByteArray& bytes : {QByteArray("/tmp/Bilder vom S\xc3\xbc"
                                               "den/100%#1.jpg"),
                                    QByteArray("/tmp/Gr\xfcn/a\nb\xe4.jpg")}) {
        const QString path = nameFromBytes(bytes);
        const QUrl url = fileUrlOf(path);
        EXPECT_TRUE(url.isLocalFile());
        EXPECT_TRUE(url.fragment().isEmpty());
        EXPECT_EQ(nameToBytes(localPathOf(url)), bytes);
        // The URL as a page's link would give it, and as a browser hands it back.
        EXPECT_EQ(nameToBytes(localPathOf(QUrl::fromEncoded(url.toEncoded()))), bytes);
    }
    EXPECT_EQ(localPathOf(QUrl("https://example.com/x.jpg")), QString());
}
