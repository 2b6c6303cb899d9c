// The bodies of the fuzz targets, as plain functions of one input. The libFuzzer
// drivers call them, and the hostile-input suite replays the committed crash
// and hang inputs through the very same functions under the ordinary build, so
// every finding stays a regression test without clang.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace miniskop::fuzz {

// Called when a body finds a broken property (not a crash). The default
// prints the message and aborts, which libFuzzer records as a finding.
using CheckHandler = std::function<void(const QString& what)>;
void setCheckHandler(CheckHandler handler);
void check(bool ok, const QString& what);

// Splits the input at every `separator` byte into at most `maxParts` pieces
// (the last piece keeps the remaining separators).
QList<QByteArray> splitInput(const uint8_t* data, size_t size, char separator, int maxParts);

// Text from fuzz bytes. The first byte chooses how the rest is read (UTF-8,
// UTF-16 with lone surrogates possible, Latin-1, Windows-1252), so all kinds of
// QString reach the code under test.
QString textFrom(const QByteArray& bytes);

// The targets.
void fuzzIni(const uint8_t* data, size_t size);      // INI reader and settings file
void fuzzNumeric(const uint8_t* data, size_t size);  // numericValue and friends
void fuzzPage(const uint8_t* data, size_t size);     // page writer and escaping
void fuzzPattern(const uint8_t* data, size_t size);  // file pattern matcher
void fuzzPicture(const uint8_t* data, size_t size);  // picture loading from a file
void fuzzIcc(const uint8_t* data, size_t size);      // embedded colour profiles

// Picture loading straight from a file that already holds the input.
void fuzzPictureFile(const QString& path);

}  // namespace miniskop::fuzz
