// The overview page compared byte for byte: the whole template for a small
// run, the row rule, the caption length bands, and the escaping of names.
#include <gtest/gtest.h>

#include "FileNameBytes.h"
#include "OverviewPage.h"
#include "ThumbEntry.h"

namespace miniskop {
namespace {

// Lines 1 to 18 of every page, written out by hand.
const QByteArray kHead =
    "<HTML>\r\n"
    "<HEAD>\r\n"
    "<meta name=\"generator\" content=\"Diruzav OVAR-Uvizadada\">\r\n"
    "<TITLE>ThumbNail</TITLE></HEAD>\r\n"
    "<style>\r\n"
    "<!--\r\n"
    "BODY {\r\n"
    "scrollbar-base-color:#000005;\r\n"
    "scrollbar-3d-light-color:#333;\r\n"
    "scrollbar-arrow-color:#aabbcc;\r\n"
    "scrollbar-darkshadow-color:#000005;\r\n"
    "scrollbar-face-color:#000005;\r\n"
    "scrollbar-highlight-color:#333;\r\n"
    "scrollbar-shadow-color:#333;\r\n"
    "scrollbar-track-color:#000005;\r\n"
    "}\r\n"
    "td {border: solid 1px #333;text-align:center;}\r\n"
    "td.a {background-color:#111;border: solid 1px #333;text-align:center;}\r\n";

// Lines 20 to 24.
const QByteArray kStyleTail =
    "a {color:#999;font-size:0.6em;font-family:arial;}\r\n"
    "table {border: 0px;margin-left: auto;margin-right: auto;}\r\n"
    "--> \r\n"
    "</style>\r\n"
    "<Body bgcolor='#000000' text='#ffffff' link='#00C0FF' alink='#00C0FF' vlink='#ffffff'>\r\n";

const QByteArray kEnd = "</tr></table></center></Body></HTML>\r\n";

// The part of a cell line between OPEN and GAP.
QByteArray cell(const QByteArray& w, const QByteArray& h, const QByteArray& src,
                const QByteArray& href, const QByteArray& caption) {
    return "<table><tr><td class=i><IMG WIDTH='" + w + "' HEIGHT='" + h + "' SRC='" + src +
           "'></td></tr><tr><td style='border:0px'  height='10'><a href='../" + href +
           "' Target='_blank'>" + caption + "</a></td></tr></table></td>";
}

// The cell lines of a page, with its heading, cut out of the page.
QByteArray body(const QByteArray& page) {
    const qsizetype from = page.indexOf("<table border='0' cellspacing='8'>\r\n");
    const qsizetype to = page.lastIndexOf(kEnd);
    if (from < 0 || to < 0) return "(template broken)";
    const qsizetype start = from + qstrlen("<table border='0' cellspacing='8'>\r\n");
    return page.sliced(start, to - start);
}

QStringList numberedEntries(int count) {
    QStringList entries;
    for (int i = 0; i < count; ++i) {
        entries << QStringLiteral("p%1.jpg|t_p%1.jpg|12|9").arg(i);
    }
    return entries;
}

TEST(OverviewPage, WholePageMatchesTheTemplateByteForByte) {
    OverviewPageInput input;
    input.folder = QStringLiteral("/home/anna/Bilder/");
    input.sizeS = 120;
    input.perRow = 2;
    input.entries = {
        QStringLiteral("Urlaub.jpg|t_Urlaub.jpg|120|90"),
        QStringLiteral("Strand.bmp|t_Strand.jpg|90|120"),
        QStringLiteral("Ein sehr langer Dateiname.gif|t_Ein sehr langer Dateiname.jpg|120|80"),
    };
    const QByteArray expected =
        kHead +
        "td.i {background-color:#000;border: solid 1px #333;text-align:center;"
        "width:120px;height:120px;}\r\n" +
        kStyleTail +
        "<center><font face='arial' size='2' color='999999'>Thumbnail-\xDC"
        "bersicht von Ordner: '/home/anna/Bilder/'</font>\r\n"
        "<table border='0' cellspacing='8'>\r\n"
        "<tr><td class=a><table><tr><td class=i><IMG WIDTH='120' HEIGHT='90' "
        "SRC='t_Urlaub.jpg'></td></tr><tr><td style='border:0px'  height='10'><a "
        "href='../Urlaub.jpg' Target='_blank'>Urlaub.jpg</a></td></tr></table></td>\r\n"
        "<td class=a><table><tr><td class=i><IMG WIDTH='90' HEIGHT='120' "
        "SRC='t_Strand.jpg'></td></tr><tr><td style='border:0px'  height='10'><a "
        "href='../Strand.bmp' Target='_blank'>Strand.bmp</a></td></tr></table></td>\r\n\r\n"
        "</tr><tr><td class=a><table><tr><td class=i><IMG WIDTH='120' HEIGHT='80' "
        "SRC='t_Ein sehr langer Dateiname.jpg'></td></tr><tr><td style='border:0px'  "
        "height='10'><a href='../Ein sehr langer Dateiname.gif' Target='_blank'>Ein sehr "
        "langer Date...</a></td></tr></table></td>\r\n"
        "</tr></table></center></Body></HTML>\r\n";
    EXPECT_EQ(overviewPageBytes(input), expected);
}

TEST(OverviewPage, SizeGoesIntoTheCellStyleAndFolderGetsItsSeparator) {
    OverviewPageInput input;
    input.folder = QStringLiteral("/data/pics");
    input.sizeS = -5;
    input.entries = numberedEntries(1);
    const QByteArray page = overviewPageBytes(input);
    EXPECT_TRUE(page.contains("text-align:center;width:-5px;height:-5px;}\r\n"));
    EXPECT_TRUE(page.contains("Ordner: '/data/pics/'</font>\r\n"));
    input.sizeS = 7;
    EXPECT_TRUE(overviewPageBytes(input).contains(";width:7px;height:7px;}\r\n"));
}

TEST(OverviewPage, RowsBreakBeforeEveryNthCell) {
    OverviewPageInput input;
    input.perRow = 3;
    input.entries = numberedEntries(7);
    QByteArray expected;
    const char* open[] = {"<tr><td class=a>",      "<td class=a>", "<td class=a>",
                          "</tr><tr><td class=a>", "<td class=a>", "<td class=a>",
                          "</tr><tr><td class=a>"};
    const char* gap[] = {"", "\r\n", "\r\n", "", "\r\n", "\r\n", ""};
    for (int k = 0; k < 7; ++k) {
        const QByteArray n = QByteArray::number(k);
        expected += open[k] +
                    cell("12", "9", "t_p" + n + ".jpg", "p" + n + ".jpg", "p" + n + ".jpg") +
                    gap[k] + "\r\n";
    }
    const QByteArray page = overviewPageBytes(input);
    EXPECT_EQ(body(page), expected);
    EXPECT_TRUE(page.endsWith(kEnd));
}

TEST(OverviewPage, ExactlyOneRowHasNoRowBreak) {
    OverviewPageInput input;
    input.perRow = 4;
    input.entries = numberedEntries(4);
    const QByteArray page = overviewPageBytes(input);
    // "</tr><tr>" inside a cell's own table is no row break.
    EXPECT_FALSE(page.contains("</tr><tr><td class=a>"));
    EXPECT_EQ(page.count("</tr><tr>"), 4);
    EXPECT_EQ(page.count("<td class=a>"), 4);
    input.entries = numberedEntries(5);
    EXPECT_EQ(overviewPageBytes(input).count("</tr><tr><td class=a>"), 1);
}

TEST(OverviewPage, RowCountBelowOneIsTakenAsOne) {
    OverviewPageInput input;
    input.entries = numberedEntries(3);
    for (const int perRow : {0, -4}) {
        input.perRow = perRow;
        const QByteArray page = overviewPageBytes(input);
        EXPECT_EQ(page.count("</tr><tr><td class=a>"), 2) << perRow;
        EXPECT_FALSE(page.contains("\r\n\r\n")) << perRow;
    }
}

TEST(OverviewPage, ShortEntriesAndNoEntriesStillGiveAPage) {
    OverviewPageInput input;
    input.entries = {QStringLiteral("only.jpg"), QString()};
    const QByteArray expected = "<tr><td class=a>" + cell("", "", "", "only.jpg", "only.jpg") +
                                "\r\n<td class=a>" + cell("", "", "", "", "") + "\r\n\r\n";
    EXPECT_EQ(body(overviewPageBytes(input)), expected);
    input.entries.clear();
    EXPECT_TRUE(overviewPageBytes(input).endsWith(
        "<table border='0' cellspacing='8'>\r\n</tr></table></center></Body></HTML>\r\n"));
}

TEST(Caption, ShortensByTheSizeBands) {
    const QString name20 = QStringLiteral("abcdefghijklmnopqrst");
    const QString name21 = name20 + QLatin1Char('u');
    const QString foto = QStringLiteral("Urlaubsfoto.jpg");  // 15 characters
    const QString name16 = foto + QLatin1Char('x');
    const QString name11 = QStringLiteral("abcdefghijk");
    struct Case {
        QString name;
        int size;
        QString expected;
    };
    const Case cases[] = {
        {name20, 120, name20},
        {name21, 120, name20 + QStringLiteral("...")},
        {name21, 100, name20 + QStringLiteral("...")},
        {name20, 99, QStringLiteral("abcdefghijklmno...")},
        {foto, 99, foto},
        {name16, 80, foto + QStringLiteral("...")},
        {foto, 79, QStringLiteral("Urlaubsfot..")},
        {QStringLiteral("abcdefghij"), 79, QStringLiteral("abcdefghij")},
        {name11, 60, QStringLiteral("abcdefghij..")},
        {foto, 59, QStringLiteral("Urlaubs..")},
        {QStringLiteral("a.b.jpg"), 59, QStringLiteral("a.b.jpg")},
        {QStringLiteral("abcdefgh"), 0, QStringLiteral("abcdefg..")},
        {QString(), 120, QString()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(captionFor(c.name, c.size), c.expected)
            << c.name.toStdString() << " @ " << c.size;
    }
}

TEST(Caption, CountsCharactersNotUtf16Units) {
    // Eight characters, each outside the basic plane: shown whole at size 120.
    const QString emoji = QString::fromUcs4(
        U"\U0001F600\U0001F600\U0001F600\U0001F600"
        U"\U0001F600\U0001F600\U0001F600\U0001F600");
    ASSERT_EQ(emoji.size(), 16);
    EXPECT_EQ(captionFor(emoji, 120), emoji);
    EXPECT_EQ(captionFor(emoji, 59), emoji.left(14) + QStringLiteral(".."));
}

TEST(OverviewPage, NamesAreEscapedWhereTheyWouldBreakThePage) {
    OverviewPageInput input;
    input.folder = QStringLiteral("/home/Tom & Jerry's/");
    input.entries = {
        QStringLiteral("Tom & Jerry's.jpg|t_Tom & Jerry's.jpg|1|2"),
        QStringLiteral("a<b>.jpg|t_\"q\".jpg|1|2"),
        QStringLiteral("100%#1?.jpg|t_100%#1?.jpg|1|2"),
        QStringLiteral("Gr\u00FC\u00DFe.jpg|t_Gr\u00FC\u00DFe.jpg|1|2"),
        QStringLiteral("\u6771\u4EAC.jpg|t_\u6771\u4EAC.jpg|1|2"),
        // A "|" in a name stays inside its field; a ":" in SRC would start a scheme.
        joinThumbEntry(QStringLiteral("a|b.jpg"), QStringLiteral("t_a|b.jpg"), 1, 2),
        joinThumbEntry(QStringLiteral("Bild:1.jpg"), QStringLiteral("Bild:1_t.jpg"), 1, 2),
        joinThumbEntry(QStringLiteral("x\\|y.jpg"), QStringLiteral("t_x\\|y.jpg"), 1, 2),
        // Names that are not UTF-8 (Latin-1 bytes) and control characters:
        // links carry the very bytes, the text a mark or a reference.
        joinThumbEntry(nameFromBytes("Gr\xfcn.jpg"), nameFromBytes("t_Gr\xfcn.jpg"), 1, 2),
        joinThumbEntry(QStringLiteral("a\nb\x1b\x7f.jpg"), QStringLiteral("t_a\nb\x1b\x7f.jpg"), 1,
                       2),
    };
    input.perRow = 10;
    const QByteArray page = overviewPageBytes(input);
    EXPECT_TRUE(page.contains("Ordner: '/home/Tom &amp; Jerry&#39;s/'</font>\r\n"));
    input.folder = nameFromBytes("/home/Gr\xfcn\n/");
    EXPECT_TRUE(overviewPageBytes(input).contains("Ordner: '/home/Gr&#65533;n&#10;/'</font>\r\n"));
    const QByteArray expected =
        "<tr><td class=a>" +
        cell("1", "2", "t_Tom &amp; Jerry&#39;s.jpg", "Tom &amp; Jerry&#39;s.jpg",
             "Tom &amp; Jerry&#39;s.jpg") +
        "\r\n<td class=a>" +
        cell("1", "2", "t_&quot;q&quot;.jpg", "a&lt;b&gt;.jpg", "a&lt;b&gt;.jpg") +
        "\r\n\r\n<td class=a>" +
        cell("1", "2", "t_100%25%231%3F.jpg", "100%25%231%3F.jpg", "100%#1?.jpg") +
        "\r\n\r\n<td class=a>" +
        cell("1", "2",
             "t_Gr\xFC\xDF"
             "e.jpg",
             "Gr\xFC\xDF"
             "e.jpg",
             "Gr\xFC\xDF"
             "e.jpg") +
        "\r\n\r\n<td class=a>" +
        cell("1", "2", "t_&#26481;&#20140;.jpg", "&#26481;&#20140;.jpg", "&#26481;&#20140;.jpg") +
        "\r\n\r\n<td class=a>" + cell("1", "2", "t_a|b.jpg", "a|b.jpg", "a|b.jpg") +
        "\r\n\r\n<td class=a>" + cell("1", "2", "Bild%3A1_t.jpg", "Bild:1.jpg", "Bild:1.jpg") +
        "\r\n\r\n<td class=a>" + cell("1", "2", "t_x\\|y.jpg", "x\\|y.jpg", "x\\|y.jpg") +
        "\r\n\r\n<td class=a>" + cell("1", "2", "t_Gr%FCn.jpg", "Gr%FCn.jpg", "Gr&#65533;n.jpg") +
        "\r\n\r\n<td class=a>" +
        cell("1", "2", "t_a%0Ab%1B%7F.jpg", "a%0Ab%1B%7F.jpg", "a&#10;b&#27;&#127;.jpg") +
        "\r\n\r\n";
    EXPECT_EQ(body(page), expected);
}

TEST(OverviewPage, CaptionIsShortenedBeforeEscaping) {
    OverviewPageInput input;
    input.sizeS = 59;
    input.entries = {QStringLiteral("a&b&c&d&e.jpg|t.jpg|1|1")};
    // Seven characters "a&b&c&d", then the dots; no entity is cut.
    EXPECT_TRUE(overviewPageBytes(input).contains("Target='_blank'>a&amp;b&amp;c&amp;d..</a>"));
}

TEST(Escaping, TextAndUrlForms) {
    EXPECT_EQ(escapeText(QStringLiteral("a&b<c>d\"e'f%#?")),
              QStringLiteral("a&amp;b&lt;c&gt;d&quot;e&#39;f%#?"));
    EXPECT_EQ(escapeUrl(QStringLiteral("a&b'%#?.jpg")),
              QStringLiteral("a&amp;b&#39;%25%23%3F.jpg"));
    EXPECT_EQ(escapeUrl(QStringLiteral("plain name_1-2.jpg")),
              QStringLiteral("plain name_1-2.jpg"));
}

}  // namespace
}  // namespace miniskop
