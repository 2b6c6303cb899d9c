// How a number setting held as text ("120", "120px", " 80", "abc") becomes a
// number: the leading decimal number, "." as separator, 0 when there is none.
#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

namespace miniskop {

// The leading decimal number of `text` after blanks (and tabs, line feeds):
// optional sign, digits, optional "." and digits, optional exponent. Reading
// stops at the first character that cannot continue the number; 0 when the
// text does not begin with a number. The fraction is kept. A number may begin
// with its "." (".5" is 0.5); a lone "." or sign is no number.
double numericValue(const QString& text);

// numericValue brought to the nearest whole number, an exact half to the even
// neighbour (120.5 -> 120, 121.5 -> 122), stored in 16 bits. Nothing when the
// value does not fit (a conversion failure).
std::optional<qint16> numericValueInt16(const QString& text);

}  // namespace miniskop
