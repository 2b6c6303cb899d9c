// Windows-1252: the range 0x80..0x9F differs from Latin-1, the rest maps 1:1.
#include <gtest/gtest.h>

#include "Cp1252.h"

using namespace miniskop;

TEST(Cp1252, EncodesLatinAndHighRange) {
    EXPECT_EQ(cp1252::encodeLossy(QStringLiteral("Übersicht")), QByteArray("\xDC"
                                                                           "bersicht"));
    EXPECT_EQ(cp1252::encodeLossy(QStringLiteral("Grösse ü ß")), QByteArray("Gr\xF6sse \xFC \xDF"));
    EXPECT_EQ(cp1252::encodeLossy(QString(QChar(0x20AC))), QByteArray("\x80"));
    EXPECT_EQ(cp1252::encodeLossy(QString(QChar(0x0178))), QByteArray("\x9F"));
    EXPECT_EQ(cp1252::encodeLossy(QString(QChar(0x2122))), QByteArray("\x99"));
}

TEST(Cp1252, CharactersWithoutByte) {
    EXPECT_EQ(cp1252::encodeLossy(QStringLiteral("a写b")), QByteArray("a?b"));
    EXPECT_EQ(cp1252::encodeWithCharRefs(QStringLiteral("a写b")), QByteArray("a&#20889;b"));
    // A character outside the Basic Multilingual Plane is one reference, not two.
    EXPECT_EQ(cp1252::encodeWithCharRefs(QString::fromUcs4(U"\U0001F600")),
              QByteArray("&#128512;"));
    EXPECT_FALSE(cp1252::byteFor(0x0100).has_value());
    EXPECT_FALSE(cp1252::byteFor(0x0080).has_value());  // C1 0x80 is the euro sign's byte
}

TEST(Cp1252, DecodeRoundTripsEveryByte) {
    QByteArray all;
    for (int b = 0; b < 256; ++b) all.append(static_cast<char>(b));
    const QString text = cp1252::decode(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(text.at(0x80), QChar(0x20AC));
    EXPECT_EQ(text.at(0x81), QChar(0x0081));  // undefined byte keeps its C1 control
    EXPECT_EQ(cp1252::encodeLossy(text), all);
}
