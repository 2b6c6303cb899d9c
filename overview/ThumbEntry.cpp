// Joining and splitting an overview entry. See ThumbEntry.h.
#include "ThumbEntry.h"

#include <array>

namespace miniskop {
namespace {

constexpr QChar kBar = QLatin1Char('|');
constexpr QChar kEscape = QLatin1Char('\\');

QString escaped(const QString& name) {
    if (!name.contains(kBar) && !name.contains(kEscape)) return name;
    QString out;
    out.reserve(name.size() + 4);
    for (const QChar c : name) {
        if (c == kBar || c == kEscape) out += kEscape;
        out += c;
    }
    return out;
}

}  // namespace

QString joinThumbEntry(const QString& picture, const QString& thumbnail, int width, int height) {
    return escaped(picture) + kBar + escaped(thumbnail) + kBar + QString::number(width) + kBar +
           QString::number(height);
}

ThumbEntryFields splitThumbEntry(const QString& entry) {
    std::array<QString, 4> fields;
    std::size_t field = 0;
    for (qsizetype i = 0; i < entry.size() && field < fields.size(); ++i) {
        const QChar c = entry.at(i);
        if (c == kEscape && i + 1 < entry.size()) {
            fields[field] += entry.at(++i);
        } else if (c == kBar) {
            ++field;
        } else {
            fields[field] += c;
        }
    }
    return {fields[0], fields[1], fields[2], fields[3]};
}

}  // namespace miniskop
