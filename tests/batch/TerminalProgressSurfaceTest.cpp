// The progress bar drawn by UpdateProgress into character cells, as the batch
// tool shows it on a terminal.
#include <gtest/gtest.h>

#include "TerminalProgressSurface.h"
#include "UpdateProgress.h"

namespace miniskop {
namespace {

QString cells(int n, char c) { return QString(n, QLatin1Char(c)); }

TEST(TerminalProgressSurface, StartCallDrawsNothing) {
    TerminalProgressSurface surface(40);
    UpdateProgress(surface, 50, 0, 100, true);
    UpdateProgress(surface, 0, 0, 100, true);
    EXPECT_TRUE(surface.isBlank());
    EXPECT_EQ(surface.plainLine(), "[" + cells(40, '.') + "]");
}

TEST(TerminalProgressSurface, BarAndCentredPercentage) {
    struct Case {
        int value, maximum, columns;
        QString line;
    };
    const Case cases[] = {
        // 33 %: 13.2 cells of 40 -> 13; "33 %" from cell 18, beside the bar.
        {1, 3, 40, "[" + cells(13, '#') + cells(5, '.') + "33 %" + cells(18, '.') + "]"},
        // 67 %: 26.8 -> 27 cells; the text at 18 lies on the bar.
        {2, 3, 40, "[" + cells(18, '#') + "67 %" + cells(5, '#') + cells(13, '.') + "]"},
        // 100 %: "100 %" is 5 wide, (40 - 5) / 2 = 17.5 starts at cell 18.
        {100, 100, 40, "[" + cells(18, '#') + "100 %" + cells(17, '#') + "]"},
        // 1 of 201 is 0 %: a bar of no width, the text still there; 3.5 goes to
        // the even cell 4.
        {1, 201, 10, "[" + cells(4, '.') + "0 %" + cells(3, '.') + "]"},
    };
    for (const Case& c : cases) {
        TerminalProgressSurface surface(c.columns);
        UpdateProgress(surface, c.value, 1, c.maximum, true);
        EXPECT_EQ(surface.plainLine(), c.line) << c.value << " of " << c.maximum;
    }
}

TEST(TerminalProgressSurface, TextColourFollowsTheBarsEnd) {
    TerminalProgressSurface surface(40);
    UpdateProgress(surface, 1, 1, 3, true);  // text beside the bar
    EXPECT_EQ(surface.ForeColor, QColor(Qt::black));
    const QString beside = surface.colouredLine();
    // Bar cells carry the bar colour as background; text beside them has no
    // colour of its own (black would vanish on a dark terminal).
    EXPECT_TRUE(beside.contains("\x1b[48;2;187;156;91m"));
    EXPECT_TRUE(beside.contains("\x1b[0m     33 %"));
    EXPECT_FALSE(beside.contains("38;2;"));

    UpdateProgress(surface, 100, 1, 100, true);
    EXPECT_EQ(surface.ForeColor, QColor(Qt::white));
    const QString full = surface.colouredLine();
    EXPECT_TRUE(full.contains("\x1b[48;2;187;156;91m\x1b[38;2;255;255;255m1"));
    EXPECT_TRUE(full.endsWith("\x1b[0m]"));
}

TEST(TerminalProgressSurface, DrawingOutsideTheLineIsClipped) {
    TerminalProgressSurface surface(10);
    surface.Cls();
    surface.LineFilled(-5, 0, 3.4, 1, Qt::red);
    EXPECT_EQ(surface.plainLine().count('#'), 3);
    surface.LineFilled(8, 0, 1e9, 1, Qt::red);
    EXPECT_EQ(surface.plainLine().count('#'), 5);
    surface.CurrentX = -2;
    surface.Print("abcd");
    surface.CurrentX = 8;
    surface.Print("xyz");
    EXPECT_EQ(surface.plainLine(), "[cd#.....xy]");
    surface.Cls();
    EXPECT_TRUE(surface.isBlank());
    EXPECT_EQ(surface.plainLine().count('#'), 0);
}

TEST(TerminalProgressSurface, MeasuresInCharacterCells) {
    TerminalProgressSurface surface(25);
    EXPECT_EQ(surface.ScaleWidth(), 25);
    EXPECT_EQ(surface.ScaleHeight(), 1);
    EXPECT_EQ(surface.TextWidth("100 %"), 5);
    EXPECT_EQ(surface.TextHeight("100 %"), 1);
    EXPECT_EQ(TerminalProgressSurface(0).columns(), 1);  // never a line without cells
}

}  // namespace
}  // namespace miniskop
