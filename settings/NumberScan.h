// Scanning a decimal number at a position in a text, shared by the lenient
// reading of number settings (numericValue) and the strict reading of the
// settings file's quality and truth values.
#pragma once

#include <QString>
#include <QStringView>
#include <QtGlobal>
#include <optional>

namespace miniskop {

struct NumberScan {
    bool found = false;  // at least one mantissa digit was read
    double value = 0.0;  // the number read (0 when none); overflow gives an infinity
    qsizetype end = 0;   // index just past the last character that belongs to the number
};

// Reads the longest decimal number starting exactly at `start`: optional sign,
// digits, optional "." and digits (".5" and "5." both count), optional
// exponent (e/E, optional sign, digits; only taken when a digit follows).
NumberScan scanNumber(QStringView text, qsizetype start = 0);

// Whole `text`, blanks and tabs around it allowed, as one decimal number;
// nothing when anything else stands in it or it holds no number.
std::optional<double> strictNumber(QStringView text);

// `value` to the nearest whole number, an exact half to the even neighbour,
// when that fits in 16 bits.
std::optional<qint16> roundToInt16(double value);

}  // namespace miniskop
