// Memory amounts to text and back. See MemorySize.h.
#include "MemorySize.h"

#include <QRegularExpression>
#include <cmath>

namespace miniskop {

namespace {

constexpr double kMegabyte = 1024.0 * 1024.0;
constexpr double kGigabyte = 1024.0 * kMegabyte;

}  // namespace

QString memorySizeText(qint64 bytes, bool upward) {
    const auto rounded = [upward](double v) { return upward ? std::ceil(v) : std::floor(v); };
    const double value = double(std::max<qint64>(bytes, 0));
    if (value >= kGigabyte || (upward && value > 1023.0 * kMegabyte)) {
        // Tenths of a gigabyte; "1.0" reads "1". A value just below 1 GB
        // that rounds up to 1024 MB reads "1 GB" too.
        const double tenths = rounded(value / kGigabyte * 10.0 - (upward ? 1e-9 : -1e-9));
        const qint64 t = qint64(std::max(tenths, 10.0));
        if (t % 10 == 0) return QStringLiteral("%1 GB").arg(t / 10);
        return QStringLiteral("%1.%2 GB").arg(t / 10).arg(t % 10);
    }
    const qint64 megabytes = qint64(rounded(value / kMegabyte));
    return QStringLiteral("%1 MB").arg(std::max<qint64>(megabytes, 1));
}

std::optional<qint64> parseMemorySize(const QString& text) {
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*(\\d+(?:\\.\\d+)?)\\s*([KMGT])(?:I?B)?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) return std::nullopt;
    const double number = match.captured(1).toDouble();
    const QChar unit = match.captured(2).at(0).toUpper();
    const double scale = unit == QLatin1Char('K')   ? 1024.0
                         : unit == QLatin1Char('M') ? kMegabyte
                         : unit == QLatin1Char('G') ? kGigabyte
                                                    : 1024.0 * kGigabyte;
    const double bytes = std::round(number * scale);
    // Far beyond any machine: refused rather than overflowing.
    if (!(bytes >= 0.0) || bytes > 1e18) return std::nullopt;
    return qint64(bytes);
}

}  // namespace miniskop
