// Names as bytes and back. See FileNameBytes.h.
#include "FileNameBytes.h"

#include <unistd.h>

#include <QDir>
#include <algorithm>
#include <cerrno>
#include <vector>

namespace miniskop {
namespace {

constexpr char16_t kEscapeBase = 0xDC00;
constexpr char16_t kReplacement = 0xFFFD;

// The code point of the UTF-8 sequence at bytes[i], and its length; length 0
// when the bytes there are no valid sequence (overlong forms, encoded
// surrogates and values past U+10FFFF included).
struct Sequence {
    char32_t codePoint = 0;
    qsizetype length = 0;
};

Sequence sequenceAt(QByteArrayView bytes, qsizetype i) {
    const auto byte = [&](qsizetype k) { return static_cast<unsigned char>(bytes[k]); };
    const unsigned char lead = byte(i);
    qsizetype length = 0;
    char32_t codePoint = 0;
    char32_t smallest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
        smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        smallest = 0x10000;
    } else {
        return {};
    }
    if (i + length > bytes.size()) return {};
    for (qsizetype k = 1; k < length; ++k) {
        const unsigned char next = byte(i + k);
        if ((next & 0xC0) != 0x80) return {};
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    if (codePoint < smallest || codePoint > 0x10FFFF) return {};
    if (codePoint >= 0xD800 && codePoint <= 0xDFFF) return {};
    return {codePoint, length};
}

void appendUtf8(QByteArray& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

}  // namespace

QString nameFromBytes(QByteArrayView bytes) {
    // Most names are plain ASCII.
    if (std::all_of(bytes.begin(), bytes.end(), [](char b) { return (b & 0x80) == 0; }))
        return QString::fromLatin1(bytes);
    QString name;
    name.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            name += QChar(char16_t(b));
            ++i;
            continue;
        }
        const Sequence s = sequenceAt(bytes, i);
        if (s.length == 0) {
            // Only this byte is taken: the next one may start a valid sequence.
            name += QChar(char16_t(kEscapeBase + b));
            ++i;
            continue;
        }
        if (s.codePoint < 0x10000) {
            name += QChar(char16_t(s.codePoint));
        } else {
            name += QChar(QChar::highSurrogate(s.codePoint));
            name += QChar(QChar::lowSurrogate(s.codePoint));
        }
        i += s.length;
    }
    return name;
}

QByteArray nameToBytes(QStringView name) {
    QByteArray bytes;
    bytes.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name[i];
        if (c.isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            appendUtf8(bytes, QChar::surrogateToUcs4(c, name[i + 1]));
            ++i;
        } else if (const int escaped = escapedByteAt(name, i); escaped >= 0) {
            bytes += char(escaped);
        } else if (c.isSurrogate()) {
            // A lone surrogate no name from the file system holds.
            appendUtf8(bytes, kReplacement);
        } else {
            appendUtf8(bytes, c.unicode());
        }
    }
    return bytes;
}

int escapedByteAt(QStringView name, qsizetype i) {
    const char16_t c = name[i].unicode();
    if (c < kEscapeBase + 0x80 || c > kEscapeBase + 0xFF) return -1;
    // The low half of a pair is a character of its own, not a byte.
    if (i > 0 && name[i - 1].isHighSurrogate()) return -1;
    return c - kEscapeBase;
}

QString shownName(QStringView name) {
    QString shown = name.toString();
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const QChar c = shown[i];
        if (c.isHighSurrogate() && i + 1 < shown.size() && shown[i + 1].isLowSurrogate()) {
            ++i;
        } else if (c.isSurrogate()) {
            shown[i] = QChar(kReplacement);
        }
    }
    return shown;
}

QString currentFolder() {
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) return QStringLiteral("/");
        buffer.resize(buffer.size() * 2);
    }
    return nameFromBytes(QByteArrayView(buffer.data()));
}

QString absoluteCleanPath(const QString& path) {
    if (path.startsWith(QLatin1Char('/'))) return QDir::cleanPath(path);
    return QDir::cleanPath(currentFolder() + QLatin1Char('/') + path);
}

QUrl fileUrlOf(const QString& path) {
    const QString absolute = absoluteCleanPath(path);
    const QByteArray bytes = nameToBytes(absolute);
    if (bytes == absolute.toUtf8()) return QUrl::fromLocalFile(absolute);
    return QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/!$&'()*+,;=:@"));
}

QString localPathOf(const QUrl& url) {
    if (!url.isLocalFile()) return {};
    return nameFromBytes(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

}  // namespace miniskop
