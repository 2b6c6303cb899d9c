// Fuzz body for the file pattern matcher: FileList::matches is compared with a
// plain dynamic-programming matcher of the same rules ("*" any run, "?" one
// character, items separated by ";" and trimmed, case folded, an item ending
// in ".*" also standing for names without a dot). The input is the pattern, a
// line feed, the name.
#include <vector>

#include "FileList.h"
#include "FuzzBodies.h"

namespace miniskop::fuzz {
namespace {

bool referenceGlob(const QString& p, const QString& n) {
    // row[j]: the pattern so far matches the first j characters of the name.
    std::vector<char> row(static_cast<size_t>(n.size()) + 1, 0);
    row[0] = 1;
    for (const QChar pc : p) {
        std::vector<char> next(row.size(), 0);
        if (pc == '*') {
            char any = 0;
            for (size_t j = 0; j < row.size(); ++j) next[j] = any = any || row[j];
        } else {
            for (size_t j = 1; j < row.size(); ++j) {
                next[j] = row[j - 1] && (pc == '?' || pc == n[static_cast<qsizetype>(j) - 1]);
            }
        }
        row.swap(next);
    }
    return row.back();
}

bool referenceMatches(const QString& pattern, const QString& name) {
    const QString folded = name.toCaseFolded();
    for (const QString& raw : pattern.split(';')) {
        const QString item = raw.trimmed().toCaseFolded();
        if (referenceGlob(item, folded)) return true;
        if (item.endsWith(QLatin1String(".*")) && !folded.contains('.') &&
            referenceGlob(item.chopped(2), folded)) {
            return true;
        }
    }
    return false;
}

}  // namespace

void fuzzPattern(const uint8_t* data, size_t size) {
    const QList<QByteArray> parts = splitInput(data, size, '\n', 2);
    const QString pattern = textFrom(parts[0]);
    const QString name = parts.size() > 1 ? textFrom(parts[1]) : QString();

    const bool valid = FileList::isValidPattern(pattern);
    if (pattern.contains('/')) check(!valid, "a pattern with '/' is valid");

    const bool got = FileList::matches(pattern, name);
    // The reference costs pattern length times name length.
    if (qint64(pattern.size()) * (name.size() + 1) <= (qint64(1) << 20)) {
        check(got == referenceMatches(pattern, name),
              QStringLiteral("matches(%1, %2) = %3").arg(pattern.left(60), name.left(60)).arg(got));
    }
    check(FileList::matches(QStringLiteral("*"), name), "'*' does not match every name");
}

}  // namespace miniskop::fuzz
