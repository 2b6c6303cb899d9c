// The file-name functions. See FileNames.h.
#include "FileNames.h"

namespace miniskop {
namespace {

// 1-based position of the last separator, 0 when the text has none.
qsizetype lastSeparatorPos(const QString& s) { return s.lastIndexOf(kSeparator) + 1; }

// 1-based position of the last dot, 0 when the text has none.
qsizetype lastDotPos(const QString& s) { return s.lastIndexOf(QLatin1Char('.')) + 1; }

}  // namespace

QString Dateiname_mit_Extension(const QString& Dateiname) {
    return Dateiname.mid(lastSeparatorPos(Dateiname));
}

QString Dateiname_ohne_Extension(const QString& Dateiname) {
    const qsizetype b = lastSeparatorPos(Dateiname);
    const qsizetype d = lastDotPos(Dateiname);
    const qsizetype count = d - b - 1;
    // No dot after the last separator: there is no extension to cut, and the
    // text comes back whole (folder part included).
    if (count < 0) return Dateiname;
    return Dateiname.mid(b, count);
}

QString NurName(const QString& Dateiname) { return Dateiname_ohne_Extension(Dateiname); }

QString NurExt(const QString& lzFile) {
    // Without a dot, d is 0 and the whole text follows the dot.
    return QLatin1Char('.') + lzFile.mid(lastDotPos(lzFile));
}

QString nur_Pfad(const QString& Dateiname) { return Dateiname.left(lastSeparatorPos(Dateiname)); }

QString withClosingSeparator(const QString& folder) {
    if (folder.endsWith(kSeparator)) return folder;
    return folder + kSeparator;
}

}  // namespace miniskop
