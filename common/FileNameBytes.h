// File names as the file system gives them: bytes, usually but not always
// UTF-8 (archives from older systems hold Latin-1 names). The program carries
// names as QString; this is the one lossless mapping between the two. Valid
// UTF-8 decodes as usual; each byte of a sequence that is not valid UTF-8
// becomes a lone surrogate U+DC80..U+DCFF, and encoding turns such a
// character back into that very byte (the "surrogateescape" of Python). Every
// call to the file system on a user's path encodes the path here first.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <QUrl>

namespace miniskop {

// The name for bytes from the file system (a directory entry, an argument).
QString nameFromBytes(QByteArrayView bytes);

// The bytes of a name, as the file system is to get them.
QByteArray nameToBytes(QStringView name);

// The byte a character of `name` at `i` stands for when it is an escaped
// byte (a lone U+DC80..U+DCFF), or -1.
int escapedByteAt(QStringView name, qsizetype i);

// The name for the eye: every escaped byte (and any other lone surrogate)
// shown as the replacement mark U+FFFD.
QString shownName(QStringView name);

// The process's current folder, bytes kept.
QString currentFolder();

// `path` made absolute against the current folder and cleaned of "." and
// ".." (as text, without asking the file system).
QString absoluteCleanPath(const QString& path);

// The file URL of `path` (made absolute). A name with bytes that are not
// UTF-8 gets them percent-encoded as they are; any other path the URL
// QUrl::fromLocalFile gives.
QUrl fileUrlOf(const QString& path);

// The local path a file URL names, its percent escapes taken as the bytes
// of the name; empty for a URL that is not a local file.
QString localPathOf(const QUrl& url);

}  // namespace miniskop
