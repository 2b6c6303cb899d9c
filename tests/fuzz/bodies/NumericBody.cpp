// Fuzz body for the reading of number settings. numericValue is compared with
// a reference reading: the longest leading decimal number in plain ASCII
// (after blanks, tabs, CR and LF) converted by strtod in the C locale. Its
// rounding to 16 bits, the strict reading of the settings file and the number
// scanner must agree with it.
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "FuzzBodies.h"
#include "NumberScan.h"
#include "NumericValue.h"

namespace miniskop::fuzz {
namespace {

bool asciiDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// The reference: the characters of the leading number, and its length.
std::string leadingNumber(const QString& text, qsizetype start) {
    std::string out;
    qsizetype i = start;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) out += char(text[i++].unicode());
    qsizetype digits = 0;
    while (i < text.size() && asciiDigit(text[i])) out += char(text[i++].unicode()), ++digits;
    if (i < text.size() && text[i] == '.') {
        std::string frac = ".";
        qsizetype j = i + 1;
        while (j < text.size() && asciiDigit(text[j])) frac += char(text[j++].unicode()), ++digits;
        if (digits > 0) out += frac, i = j;
    }
    if (digits == 0) return {};
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::string exp = "e";
        qsizetype j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) exp += char(text[j++].unicode());
        const qsizetype expStart = j;
        while (j < text.size() && asciiDigit(text[j])) exp += char(text[j++].unicode());
        if (j > expStart) out += exp;
    }
    return out;
}

bool sameNumber(double a, double b) {
    if (a == b) return true;
    // strtod keeps subnormal results where the scanner may give 0.
    return std::fabs(a) < std::numeric_limits<double>::min() &&
           std::fabs(b) < std::numeric_limits<double>::min();
}

}  // namespace

void fuzzNumeric(const uint8_t* data, size_t size) {
    const QString text =
        textFrom(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));

    const double value = numericValue(text);
    check(!std::isnan(value), "numericValue gives NaN");

    qsizetype start = 0;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t' ||
                                   text[start] == '\n' || text[start] == '\r')) {
        ++start;
    }
    const std::string number = leadingNumber(text, start);
    const double expected = number.empty() ? 0.0 : std::strtod(number.c_str(), nullptr);
    check(sameNumber(value, expected), QStringLiteral("numericValue(%1) = %2, reference %3")
                                           .arg(text.left(80))
                                           .arg(value, 0, 'g', 17)
                                           .arg(expected, 0, 'g', 17));

    // Whole number in 16 bits: nearest, halves to even (the default rounding
    // mode of nearbyint), nothing when out of range.
    const std::optional<qint16> whole = numericValueInt16(text);
    const double nearest = std::nearbyint(value);
    if (std::isfinite(nearest) && nearest >= -32768.0 && nearest <= 32767.0) {
        check(whole.has_value() && *whole == static_cast<qint16>(nearest),
              QStringLiteral("numericValueInt16(%1) wrong").arg(text.left(80)));
    } else {
        check(!whole.has_value(), QStringLiteral("numericValueInt16(%1) fits").arg(text.left(80)));
    }

    // A text the strict reading accepts reads the same leniently.
    if (const std::optional<double> strict = strictNumber(text)) {
        check(sameNumber(*strict, value), "strictNumber and numericValue disagree");
    }

    // The scanner never reads past the text.
    const NumberScan scan = scanNumber(text, start);
    check(scan.end >= start && scan.end <= text.size(), "scan end outside the text");
}

}  // namespace miniskop::fuzz
