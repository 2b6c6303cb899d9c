// The file-name functions: split a path at its last folder separator and at its
// last dot. Pure text functions; they touch no file. The separator is the file
// system's own ("/").
#pragma once

#include <QString>

namespace miniskop {

inline constexpr QChar kSeparator = QLatin1Char('/');

// Everything after the last separator (the whole text without one).
QString Dateiname_mit_Extension(const QString& Dateiname);
// The text between the last separator and the last dot; the input unchanged
// when there is no dot after the last separator.
QString Dateiname_ohne_Extension(const QString& Dateiname);
// Same as Dateiname_ohne_Extension.
QString NurName(const QString& Dateiname);
// "." followed by everything after the last dot ("." + the whole text without one).
QString NurExt(const QString& lzFile);
// Everything up to and including the last separator (empty without one).
QString nur_Pfad(const QString& Dateiname);

// The folder path with one closing separator (none added when it has one).
QString withClosingSeparator(const QString& folder);

}  // namespace miniskop
