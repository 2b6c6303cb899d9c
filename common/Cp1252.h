// Windows-1252 text, the single-byte code page of the settings file and the
// overview page.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace miniskop::cp1252 {

// The byte for a Unicode code point, or nothing when Windows-1252 has none.
std::optional<char> byteFor(char32_t codePoint);

// Decodes Windows-1252 bytes. The five undefined bytes (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) map to the C1 control with the same number, as Windows does.
QString decode(QByteArrayView bytes);

// Encodes text; characters without a byte become '?'.
QByteArray encodeLossy(const QString& text);

// Encodes text; characters without a byte become a decimal character
// reference "&#N;" (HTML text).
QByteArray encodeWithCharRefs(const QString& text);

}  // namespace miniskop::cp1252
