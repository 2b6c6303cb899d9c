// The overview page: a centred table of thumbnails with a fixed number of cells
// per row, each thumbnail captioned with its picture's (shortened) file name
// that links to the picture in the folder above. Written in Windows-1252.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace miniskop {

struct OverviewPageInput {
    QString folder;       // picture folder shown in the heading, with its closing separator
    qint16 sizeS = 120;   // thumbnail size: cell width/height and caption length band
    int perRow = 6;       // cells per row; values below 1 are taken as 1
    QStringList entries;  // joinThumbEntry texts, in run order
};

// The page's bytes. Names made of ordinary characters come out exactly as the
// template has them; characters that would break the markup are escaped (see
// escapeText, escapeUrl) and characters Windows-1252 lacks become "&#N;".
QByteArray overviewPageBytes(const OverviewPageInput& input);

// True when `head`, the first bytes of a file, begin as every overview page
// this program writes begins: its first lines up to the generator line.
bool startsAsOverviewPage(QByteArrayView head);

// The caption for a picture name at a thumbnail size, shortened by characters:
// S >= 100: 20 + "...", 80..99: 15 + "...", 60..79: 10 + "..", below: 7 + "..".
QString captionFor(const QString& name, int sizeS);

// Text for an attribute value or element content: & < > " ' as entities,
// control characters as character references, and a byte of a name that is
// not UTF-8 (see FileNameBytes.h) as the replacement mark.
QString escapeText(const QString& text);

// A relative URL in SRC or href: escapeText plus % # ? as %25 %23 %3F, and
// a byte of a name that is not UTF-8 or a control character as %XX.
QString escapeUrl(const QString& text);

// The thumbnail's URL in SRC: escapeUrl plus ":" as %3A, so that a name like
// "Bild:1_t.jpg" is not read as an address of the scheme "bild:". (href
// starts with "../" and cannot be taken for a scheme.)
QString escapeImageSource(const QString& text);

}  // namespace miniskop
