// numericValue: the lenient reading of the number settings. Leading white
// space is skipped, the longest leading decimal number is taken, anything after
// it is ignored ("120px" -> 120) and a text without a number gives 0. A number
// may start with its "." (".5" -> 0.5).
#include "NumericValue.h"

#include "NumberScan.h"

namespace miniskop {
namespace {

bool isLeadingSpace(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') ||
           c == QLatin1Char('\r');
}

}  // namespace

double numericValue(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && isLeadingSpace(text[i])) ++i;
    return scanNumber(text, i).value;
}

std::optional<qint16> numericValueInt16(const QString& text) {
    return roundToInt16(numericValue(text));
}

}  // namespace miniskop
