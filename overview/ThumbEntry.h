// One picture's line of the overview: the picture's file name, its
// thumbnail's file name, and the thumbnail's width and height, held as one
// text with the fields joined by "|". A "|" or "\" inside a name is written
// with a "\" before it, so the fields come apart again whatever characters
// the names hold; names without either character read exactly as joined.
#pragma once

#include <QString>

namespace miniskop {

struct ThumbEntryFields {
    QString picture;    // file name with extension
    QString thumbnail;  // the thumbnail's file name (or path relative to its folder)
    QString width;      // decimal digits
    QString height;
};

QString joinThumbEntry(const QString& picture, const QString& thumbnail, int width, int height);

// Splits at every "|" without a "\" before it; missing fields are empty.
ThumbEntryFields splitThumbEntry(const QString& entry);

}  // namespace miniskop
