// Character-cell picture box for the batch tool's progress bar.
#include "TerminalProgressSurface.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "Rounding.h"

namespace miniskop {

namespace {

// A cell coordinate from a box coordinate: the nearest cell edge, clamped.
int toCell(double x, int columns) {
    if (!std::isfinite(x)) return x > 0 ? columns : 0;
    const double rounded = roundHalfEven(x);
    return static_cast<int>(std::clamp(rounded, 0.0, static_cast<double>(columns)));
}

QString rgbEscape(int selector, const QColor& c) {
    return QStringLiteral("\x1b[%1;2;%2;%3;%4m")
        .arg(selector)
        .arg(c.red())
        .arg(c.green())
        .arg(c.blue());
}

}  // namespace

TerminalProgressSurface::TerminalProgressSurface(int columns)
    : cells_(static_cast<size_t>(std::max(columns, 1))) {}

void TerminalProgressSurface::Cls() {
    std::fill(cells_.begin(), cells_.end(), Cell{});
    CurrentX = 0;
    CurrentY = 0;
}

void TerminalProgressSurface::LineFilled(double x1, double y1, double x2, double y2, QColor color) {
    Q_UNUSED(y1);
    Q_UNUSED(y2);
    const int from = toCell(std::min(x1, x2), columns());
    const int to = toCell(std::max(x1, x2), columns());
    for (int x = from; x < to; ++x) {
        cells_[static_cast<size_t>(x)].filled = true;
        cells_[static_cast<size_t>(x)].fill = color;
    }
}

void TerminalProgressSurface::Print(const QString& text) {
    if (!std::isfinite(CurrentX)) return;
    const double start = roundHalfEven(CurrentX);
    for (qsizetype k = 0; k < text.size(); ++k) {
        const double x = start + static_cast<double>(k);
        if (x < 0 || x >= columns()) continue;
        Cell& cell = cells_[static_cast<size_t>(x)];
        cell.ch = text[k];
        cell.hasText = true;
        cell.text = ForeColor;
    }
    CurrentX = start + static_cast<double>(text.size());
}

bool TerminalProgressSurface::isBlank() const {
    return std::none_of(cells_.begin(), cells_.end(),
                        [](const Cell& c) { return c.filled || c.hasText; });
}

QString TerminalProgressSurface::plainLine() const {
    QString line = QStringLiteral("[");
    for (const Cell& cell : cells_) {
        if (cell.hasText) {
            line += cell.ch;
        } else {
            line += cell.filled ? QLatin1Char('#') : QLatin1Char('.');
        }
    }
    line += QLatin1Char(']');
    return line;
}

QString TerminalProgressSurface::colouredLine() const {
    static const QString reset = QStringLiteral("\x1b[0m");
    QString line = QStringLiteral("[");
    QString current;  // escape in force, empty for the terminal's own colours
    for (const Cell& cell : cells_) {
        QString wanted;
        if (cell.filled) {
            wanted = rgbEscape(48, cell.fill);
            if (cell.hasText) wanted += rgbEscape(38, cell.text);
        }
        if (wanted != current) {
            line += reset + wanted;
            current = wanted;
        }
        line += cell.hasText ? cell.ch : QLatin1Char(' ');
    }
    if (!current.isEmpty()) line += reset;
    line += QLatin1Char(']');
    return line;
}

int terminalColumns(int fd) {
    winsize size{};
    if (ioctl(fd, TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}

}  // namespace miniskop
