// Windows-1252 <-> Unicode. Only the range 0x80..0x9F differs from Latin-1.
#include "Cp1252.h"

#include <QList>
#include <array>

namespace miniskop::cp1252 {
namespace {

// Code points of the bytes 0x80..0x9F. The undefined bytes keep the C1 control
// of the same number.
constexpr std::array<char16_t, 32> kHighTable = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

}  // namespace

std::optional<char> byteFor(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
    for (std::size_t i = 0; i < kHighTable.size(); ++i) {
        if (kHighTable[i] == cp) return static_cast<char>(0x80 + i);
    }
    return std::nullopt;
}

QString decode(QByteArrayView bytes) {
    QString out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out.append(b >= 0x80 && b <= 0x9F ? QChar(kHighTable[b - 0x80]) : QChar(b));
    }
    return out;
}

namespace {
template <class Fallback>
QByteArray encodeWith(const QString& text, Fallback fallback) {
    QByteArray out;
    out.reserve(text.size());
    for (const uint cp : text.toUcs4()) {
        if (auto b = byteFor(cp)) {
            out.append(*b);
        } else {
            fallback(out, cp);
        }
    }
    return out;
}
}  // namespace

QByteArray encodeLossy(const QString& text) {
    return encodeWith(text, [](QByteArray& out, char32_t) { out.append('?'); });
}

QByteArray encodeWithCharRefs(const QString& text) {
    return encodeWith(text, [](QByteArray& out, char32_t cp) {
        out.append("&#").append(QByteArray::number(static_cast<quint32>(cp))).append(';');
    });
}

}  // namespace miniskop::cp1252
