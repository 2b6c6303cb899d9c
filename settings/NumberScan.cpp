// Decimal number scanning. The characters of the number are collected and
// converted without regard to the process's locale, so "." is always the
// separator.
#include "NumberScan.h"

#include <QByteArray>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "Trimming.h"

namespace miniskop {
namespace {

bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }
bool isSign(QChar c) { return c == QLatin1Char('+') || c == QLatin1Char('-'); }

qsizetype skipDigits(QStringView text, qsizetype i) {
    while (i < text.size() && isDigit(text[i])) ++i;
    return i;
}

// The decimal exponent of a scanned number's first significant digit, roughly:
// positive for numbers of magnitude 1 or more. Only used to tell an overflow
// from an underflow, so a rough value is enough.
long long magnitude(const std::string& number) {
    const std::size_t ePos = number.find_first_of("eE");
    const std::string mantissa = number.substr(0, ePos);
    long long exponent = 0;
    if (ePos != std::string::npos) {
        std::size_t j = ePos + 1;
        const bool negative = j < number.size() && number[j] == '-';
        if (j < number.size() && (number[j] == '-' || number[j] == '+')) ++j;
        for (; j < number.size(); ++j) {
            exponent = std::min<long long>(exponent * 10 + (number[j] - '0'), 1'000'000'000);
        }
        if (negative) exponent = -exponent;
    }
    const std::size_t dot = std::min(mantissa.find('.'), mantissa.size());
    const std::size_t firstSignificant = mantissa.find_first_of("123456789");
    if (firstSignificant == std::string::npos) return -1;  // zero
    const long long position = firstSignificant < dot
                                   ? static_cast<long long>(dot - firstSignificant)
                                   : -static_cast<long long>(firstSignificant - dot) + 1;
    return position + exponent;
}

// Converts the characters of a scanned number (all ASCII). Independent of the
// process's locale, so "." stays the separator. A number too large for a
// double gives an infinity, one too small gives 0.
double toDouble(QStringView number) {
    std::string ascii = number.toLatin1().toStdString();
    bool negative = false;
    if (!ascii.empty() && (ascii[0] == '+' || ascii[0] == '-')) {
        negative = ascii[0] == '-';
        ascii.erase(0, 1);
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        value = magnitude(ascii) > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (error != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

}  // namespace

NumberScan scanNumber(QStringView text, qsizetype start) {
    NumberScan result;
    result.end = start;
    qsizetype i = start;
    if (i < text.size() && isSign(text[i])) ++i;
    const qsizetype intStart = i;
    i = skipDigits(text, i);
    qsizetype digits = i - intStart;
    if (i < text.size() && text[i] == QLatin1Char('.')) {
        const qsizetype fracStart = i + 1;
        const qsizetype fracEnd = skipDigits(text, fracStart);
        digits += fracEnd - fracStart;
        if (digits > 0) i = fracEnd;  // a lone "." is not part of a number
    }
    if (digits == 0) return result;
    // Exponent only when at least one digit follows "e", "e+" or "e-".
    if (i < text.size() && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        if (j < text.size() && isSign(text[j])) ++j;
        const qsizetype expEnd = skipDigits(text, j);
        if (expEnd > j) i = expEnd;
    }
    result.found = true;
    result.value = toDouble(text.sliced(start, i - start));
    result.end = i;
    return result;
}

std::optional<double> strictNumber(QStringView text) {
    const QStringView core = trimSpacesAndTabs(text);
    const NumberScan scan = scanNumber(core);
    if (!scan.found || scan.end != core.size()) return std::nullopt;
    return scan.value;
}

std::optional<qint16> roundToInt16(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    const double below = std::floor(value);
    const double fraction = value - below;
    double rounded = below;
    if (fraction > 0.5) {
        rounded = below + 1.0;
    } else if (fraction == 0.5) {
        rounded = std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
    }
    if (rounded < -32768.0 || rounded > 32767.0) return std::nullopt;
    return static_cast<qint16>(rounded);
}

}  // namespace miniskop
