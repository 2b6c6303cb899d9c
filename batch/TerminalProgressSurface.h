// The progress bar on a terminal: a picture box whose scale unit is one
// character cell of a single line. UpdateProgress draws into it exactly as it
// draws the window's bar; the batch tool then writes the line to stderr.
#pragma once

#include <QColor>
#include <QString>
#include <vector>

#include "ProgressSurface.h"

namespace miniskop {

class TerminalProgressSurface : public ProgressSurface {
public:
    explicit TerminalProgressSurface(int columns);

    double ScaleWidth() const override { return static_cast<double>(cells_.size()); }
    double ScaleHeight() const override { return 1; }
    double TextWidth(const QString& text) const override { return text.size(); }
    double TextHeight(const QString&) const override { return 1; }
    void Cls() override;
    void LineFilled(double x1, double y1, double x2, double y2, QColor color) override;
    void Print(const QString& text) override;

    int columns() const { return static_cast<int>(cells_.size()); }
    // Whether anything has been drawn since the last Cls.
    bool isBlank() const;

    // The line without colours: "[" + cells + "]", bar cells as '#', the rest
    // as '.', text characters where the text lies.
    QString plainLine() const;
    // The line with terminal colour escapes: the bar in its own colour as the
    // cells' background, text on the bar in the text colour, text beside it in
    // the terminal's own colour.
    QString colouredLine() const;

private:
    struct Cell {
        QChar ch = QLatin1Char(' ');
        bool hasText = false;
        bool filled = false;
        QColor fill;
        QColor text;
    };
    std::vector<Cell> cells_;
};

// Width in columns of the terminal behind `fd`, or 0 when it cannot be told.
int terminalColumns(int fd);

}  // namespace miniskop
