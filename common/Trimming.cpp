// Blanks off the ends of a text. See Trimming.h.
#include "Trimming.h"

namespace miniskop {
namespace {

bool isSpace(QChar c) { return c == QLatin1Char(' '); }
bool isSpaceOrTab(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

// The first and one past the last position of `text` that `blank` does not take.
template <class Blank>
std::pair<qsizetype, qsizetype> innerRange(QStringView text, Blank blank) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && blank(text[begin])) ++begin;
    while (end > begin && blank(text[end - 1])) --end;
    return {begin, end};
}

}  // namespace

QString trimSpaces(const QString& text) {
    const auto [begin, end] = innerRange(text, isSpace);
    return text.mid(begin, end - begin);
}

QStringView trimSpacesAndTabs(QStringView text) {
    const auto [begin, end] = innerRange(text, isSpaceOrTab);
    return text.sliced(begin, end - begin);
}

}  // namespace miniskop
