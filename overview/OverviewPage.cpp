// The overview page's bytes: a fixed head and style block, one table cell per
// thumbnail with a row break before every perRow-th cell, and a closing line.
// Names are escaped where they would break the markup; everything else is the
// fixed template text. The whole page is encoded as Windows-1252 at the end,
// so a character without a byte there becomes a character reference.
#include "OverviewPage.h"

#include <algorithm>

#include "Cp1252.h"
#include "FileNameBytes.h"
#include "ThumbEntry.h"

namespace miniskop {
namespace {

const QString kCrLf = QStringLiteral("\r\n");

// Lines 1 to 18 of the page, each followed by CR LF.
constexpr const char* kHeadLines[] = {
    "<HTML>",
    "<HEAD>",
    "<meta name=\"generator\" content=\"Diruzav OVAR-Uvizadada\">",
    "<TITLE>ThumbNail</TITLE></HEAD>",
    "<style>",
    "<!--",
    "BODY {",
    "scrollbar-base-color:#000005;",
    "scrollbar-3d-light-color:#333;",
    "scrollbar-arrow-color:#aabbcc;",
    "scrollbar-darkshadow-color:#000005;",
    "scrollbar-face-color:#000005;",
    "scrollbar-highlight-color:#333;",
    "scrollbar-shadow-color:#333;",
    "scrollbar-track-color:#000005;",
    "}",
    "td {border: solid 1px #333;text-align:center;}",
    "td.a {background-color:#111;border: solid 1px #333;text-align:center;}",
};

// Lines 20 to 23.
constexpr const char* kStyleTailLines[] = {
    "a {color:#999;font-size:0.6em;font-family:arial;}",
    "table {border: 0px;margin-left: auto;margin-right: auto;}",
    "--> ",
    "</style>",
};

const QString kBackground = QStringLiteral("#000000");

void appendCell(QString& page, const ThumbEntryFields& e, qsizetype k, int perRow, int sizeS) {
    const bool first = k == 0;
    const bool rowBreak = !first && k % perRow == 0;
    if (first) {
        page += QLatin1String("<tr><td class=a>");
    } else if (rowBreak) {
        page += QLatin1String("</tr><tr><td class=a>");
    } else {
        page += QLatin1String("<td class=a>");
    }
    page += QLatin1String("<table><tr><td class=i><IMG WIDTH='") + escapeText(e.width) +
            QLatin1String("' HEIGHT='") + escapeText(e.height) + QLatin1String("' SRC='") +
            escapeImageSource(e.thumbnail);
    page += QLatin1String("'></td></tr><tr><td style='border:0px'  height='10'><a href='../") +
            escapeUrl(e.picture);
    page += QLatin1String("' Target='_blank'>") + escapeText(captionFor(e.picture, sizeS));
    page += QLatin1String("</a></td></tr></table></td>");
    if (!first && !rowBreak) page += kCrLf;
    page += kCrLf;
}

}  // namespace

bool startsAsOverviewPage(QByteArrayView head) {
    // Lines 1 to 3: the last of them is the generator line.
    QByteArray start;
    for (int line = 0; line < 3; ++line) start += QByteArray(kHeadLines[line]) + "\r\n";
    return head.startsWith(start);
}

QString captionFor(const QString& name, int sizeS) {
    qsizetype keep = 7;
    QLatin1String dots("..");
    if (sizeS >= 100) {
        keep = 20;
        dots = QLatin1String("...");
    } else if (sizeS >= 80) {
        keep = 15;
        dots = QLatin1String("...");
    } else if (sizeS >= 60) {
        keep = 10;
    }
    // Counted in characters (code points), so a pair of UTF-16 surrogates is
    // never cut in half.
    const QList<uint> codePoints = name.toUcs4();
    if (codePoints.size() <= keep) return name;
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(codePoints.constData()), keep) +
           dots;
}

namespace {

// Control characters (below a blank, and DEL) break links and lines.
bool isControl(char16_t c) { return c < 0x20 || c == 0x7F; }

QString percentByte(int byte) {
    return QStringLiteral("%%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

QString escapeText(const QString& text) {
    // A byte of a name that is not UTF-8 shows as the replacement mark.
    const QString shown = shownName(text);
    QString out;
    out.reserve(shown.size());
    for (const QChar c : shown) {
        if (isControl(c.unicode())) {
            out += QStringLiteral("&#%1;").arg(int(c.unicode()));
            continue;
        }
        switch (c.unicode()) {
            case '&':
                out += QLatin1String("&amp;");
                break;
            case '<':
                out += QLatin1String("&lt;");
                break;
            case '>':
                out += QLatin1String("&gt;");
                break;
            case '"':
                out += QLatin1String("&quot;");
                break;
            case '\'':
                out += QLatin1String("&#39;");
                break;
            default:
                out += c;
        }
    }
    return out;
}

QString escapeUrl(const QString& text) {
    // Percent escapes first: the entities of escapeText carry a "#" of their own.
    // A byte of a name that is not UTF-8, and a control character, go as %XX,
    // so that a browser asks for exactly those bytes.
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (const int byte = escapedByteAt(text, i); byte >= 0) {
            out += percentByte(byte);
            continue;
        }
        if (isControl(c.unicode())) {
            out += percentByte(c.unicode());
            continue;
        }
        switch (c.unicode()) {
            case '%':
                out += QLatin1String("%25");
                break;
            case '#':
                out += QLatin1String("%23");
                break;
            case '?':
                out += QLatin1String("%3F");
                break;
            default:
                out += c;
        }
    }
    return escapeText(out);
}

QString escapeImageSource(const QString& text) {
    // escapeUrl never makes a ":" of its own, so replacing afterwards is safe.
    return escapeUrl(text).replace(QLatin1Char(':'), QLatin1String("%3A"));
}

QByteArray overviewPageBytes(const OverviewPageInput& input) {
    const int perRow = std::max(1, input.perRow);
    const int sizeS = input.sizeS;
    QString folder = input.folder;
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');

    QString page;
    for (const char* line : kHeadLines) page += QLatin1String(line) + kCrLf;
    page += QStringLiteral(
                "td.i {background-color:#000;border: solid 1px #333;text-align:center;"
                "width:%1px;height:%1px;}")
                .arg(sizeS) +
            kCrLf;
    for (const char* line : kStyleTailLines) page += QLatin1String(line) + kCrLf;
    page += QLatin1String("<Body bgcolor='") + kBackground +
            QLatin1String("' text='#ffffff' link='#00C0FF' alink='#00C0FF' vlink='#ffffff'>") +
            kCrLf;
    page += QStringLiteral(
                "<center><font face='arial' size='2' color='999999'>"
                "Thumbnail-\u00DCbersicht von Ordner: '") +
            escapeText(folder) + QLatin1String("'</font>") + kCrLf;
    page += QLatin1String("<table border='0' cellspacing='8'>") + kCrLf;

    // The cells are encoded one by one into the page's bytes, so a page of
    // 100,000 entries never exists as a whole in UTF-16 as well.
    QByteArray bytes = cp1252::encodeWithCharRefs(page);
    bytes.reserve(bytes.size() + input.entries.size() * 320);
    QString cell;
    for (qsizetype k = 0; k < input.entries.size(); ++k) {
        cell.clear();
        appendCell(cell, splitThumbEntry(input.entries[k]), k, perRow, sizeS);
        bytes += cp1252::encodeWithCharRefs(cell);
    }
    bytes += cp1252::encodeWithCharRefs(QLatin1String("</tr></table></center></Body>") +
                                        QLatin1String("</HTML>") + kCrLf);
    return bytes;
}

}  // namespace miniskop
