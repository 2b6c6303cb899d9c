// Fuzz body for the overview page and its escaping. Whatever the folder, the
// names and the sizes, the page's markup must be the template's: its tag
// skeleton (tags with quoted attribute values blanked, text left out) equals
// that of a page made with harmless names. Escaped text must hold no markup
// character and read back to the original as the page shows it (bytes of a
// name that are not UTF-8 as the replacement mark in text, as themselves in
// links).
#include <QRegularExpression>
#include <optional>

#include "FileNameBytes.h"
#include "FuzzBodies.h"
#include "OverviewPage.h"

namespace miniskop::fuzz {
namespace {

// The tags of a page in order, each with the contents of its quoted attribute
// values removed. A '<' in text starts a tag, so injected markup shows up.
QByteArray skeleton(const QByteArray& page) {
    QByteArray out;
    qsizetype i = 0;
    while (i < page.size()) {
        if (page[i] != '<') {
            ++i;
            continue;
        }
        while (i < page.size() && page[i] != '>') {
            const char c = page[i];
            out += c;
            ++i;
            if (c == '\'' || c == '"') {
                while (i < page.size() && page[i] != c) ++i;
                if (i < page.size()) out += page[i++];
            }
        }
        out += ">\n";
        ++i;
    }
    return out;
}

// Every '&' opens an entity: a name or a decimal character reference.
bool entitiesWellFormed(const QByteArray& bytes) {
    static const QRegularExpression entity(QStringLiteral("^&(amp|lt|gt|quot|#[0-9]+);"));
    for (qsizetype i = bytes.indexOf('&'); i >= 0; i = bytes.indexOf('&', i + 1)) {
        const QString tail = QString::fromLatin1(bytes.mid(i, 12));
        if (!entity.match(tail).hasMatch()) return false;
    }
    return true;
}

QString unescapeText(const QString& text) {
    // Character references first: "&amp;#10;" is the text "&#10;".
    static const QRegularExpression reference(QStringLiteral("&#([0-9]+);"));
    QString out;
    qsizetype last = 0;
    for (auto it = reference.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += text.mid(last, m.capturedStart() - last);
        out += QChar(char16_t(m.captured(1).toUInt()));
        last = m.capturedEnd();
    }
    out += text.mid(last);
    out.replace(QLatin1String("&quot;"), QLatin1String("\""));
    out.replace(QLatin1String("&gt;"), QLatin1String(">"));
    out.replace(QLatin1String("&lt;"), QLatin1String("<"));
    out.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return out;
}

// Undoes the three percent escapes in one pass; nothing when a '%' opens
// anything else.
std::optional<QString> percentDecoded(const QString& text) {
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const QString code = text.mid(i + 1, 2);
        if (code == QLatin1String("25")) {
            out += '%';
        } else if (code == QLatin1String("23")) {
            out += '#';
        } else if (code == QLatin1String("3F")) {
            out += '?';
        } else {
            // A control character, or a byte of a name that is not UTF-8.
            bool ok = false;
            const uint byte = code.toUInt(&ok, 16);
            if (!ok || code.size() != 2 || code != code.toUpper()) return std::nullopt;
            if (byte < 0x20 || byte == 0x7F) {
                out += QChar(char16_t(byte));
            } else if (byte >= 0x80) {
                out += QChar(char16_t(0xDC00 + byte));
            } else {
                return std::nullopt;
            }
        }
        i += 2;
    }
    return out;
}

// The text as a link carries it: escaped bytes stay, any other lone
// surrogate becomes the replacement mark.
QString asLinked(const QString& text) {
    QString out = text;
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (escapedByteAt(out, i) >= 0) continue;
        if (out[i].isHighSurrogate() && i + 1 < out.size() && out[i + 1].isLowSurrogate()) {
            ++i;
        } else if (out[i].isSurrogate()) {
            out[i] = QChar(u'\uFFFD');
        }
    }
    return out;
}

bool holdsMarkup(const QString& text) {
    return text.contains('<') || text.contains('>') || text.contains('"') || text.contains('\'');
}

}  // namespace

void fuzzPage(const uint8_t* data, size_t size) {
    if (size < 3) return;
    OverviewPageInput input;
    input.sizeS = static_cast<qint16>(data[0] | (data[1] << 8));
    input.perRow = static_cast<signed char>(data[2]);
    const QList<QByteArray> parts = splitInput(data + 3, size - 3, '\n', 64);
    input.folder = textFrom(parts[0]);
    for (qsizetype i = 1; i < parts.size(); ++i) input.entries.append(textFrom(parts[i]));

    OverviewPageInput plain = input;
    plain.folder = QStringLiteral("/bilder/");
    for (QString& entry : plain.entries) entry = QStringLiteral("a.jpg|t_a.jpg|1|1");

    const QByteArray page = overviewPageBytes(input);
    check(skeleton(page) == skeleton(overviewPageBytes(plain)), "names change the page's markup");
    check(entitiesWellFormed(page), "a bare '&' on the page");

    for (const QString& text : std::as_const(input.entries)) {
        const QString escaped = escapeText(text);
        check(!holdsMarkup(escaped), "escapeText leaves a markup character");
        check(unescapeText(escaped) == shownName(text), "escapeText does not read back");

        const QString url = escapeUrl(text);
        check(!holdsMarkup(url) && !url.contains('?'), "escapeUrl leaves a special character");
        const QString percent = unescapeText(url);
        check(!percent.contains('#'), "escapeUrl leaves a '#'");
        check(percentDecoded(percent) == asLinked(text), "escapeUrl does not read back");

        const QString caption = captionFor(text, input.sizeS);
        check(caption.size() <= qMax<qsizetype>(text.size(), 2 * 20 + 3), "caption too long");
    }
}

}  // namespace miniskop::fuzz
