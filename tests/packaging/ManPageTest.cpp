// The manual page of miniskop-batch against the program itself: the options it
// lists, their order and arguments, the version, the examples, and that groff
// reads the page without a warning. The README's usage line is held to the
// same list.
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>

#include "PackagingTestSupport.h"

namespace miniskop {
namespace {

using testing::readText;
using testing::runProgram;

const QString kManPage = QStringLiteral(MINISKOP_MAN_DIR "/miniskop-batch.1");

QString batchHelp() {
    const auto help = runProgram(QStringLiteral(MINISKOP_BATCH_EXE), {QStringLiteral("--help")});
    EXPECT_TRUE(help.started);
    EXPECT_EQ(help.exitCode, 0) << help.err.toStdString();
    return help.out;
}

// The option items of the usage text: each line that starts with blanks and a
// dash, up to the gap before its explanation ("-q, --quiet", "--size TEXT").
QStringList helpItems(const QString& help) {
    static const QRegularExpression item(QStringLiteral("^\\s+(-\\S.*?)(?:\\s{2,}|$)"));
    QStringList items;
    for (const QString& line : help.split(QLatin1Char('\n'))) {
        const auto match = item.match(line);
        if (match.hasMatch()) items << match.captured(1);
    }
    return items;
}

// The text a font macro line (.B, .BI, .BR, .I ...) prints: its arguments,
// quoted or not, joined (alternating-font macros join without blanks), with
// troff's escaped dashes and font changes resolved.
QString macroText(const QString& line) {
    static const QRegularExpression argument(QStringLiteral("\"([^\"]*)\"|(\\S+)"));
    const bool alternating =
        QRegularExpression(QStringLiteral("^\\.[BIR]{2}\\s")).match(line).hasMatch();
    QStringList parts;
    auto it = argument.globalMatch(line.section(QLatin1Char(' '), 1));
    while (it.hasNext()) {
        const auto m = it.next();
        parts << (m.capturedLength(1) > 0 || m.captured(0) == QLatin1String("\"\"")
                      ? m.captured(1)
                      : m.captured(2));
    }
    QString text = parts.join(alternating ? QString() : QStringLiteral(" "));
    text.replace(QStringLiteral("\\-"), QStringLiteral("-"));
    text.remove(QRegularExpression(QStringLiteral("\\\\f[BIRP]")));
    return text.simplified();
}

// One section of the page, from its .SH line to the next.
QStringList sectionLines(const QString& page, const QString& name) {
    QStringList lines;
    bool inside = false;
    for (const QString& line : page.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String(".SH "))) {
            inside = line.mid(4).remove(QLatin1Char('"')) == name;
            continue;
        }
        if (inside) lines << line;
    }
    return lines;
}

// The tag of every .TP paragraph of a section.
QStringList taggedItems(const QString& page, const QString& section) {
    const QStringList lines = sectionLines(page, section);
    QStringList items;
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i] == QLatin1String(".TP")) items << macroText(lines[i + 1]);
    }
    return items;
}

// The long options named in a text, sorted, each once.
QStringList longOptions(const QString& text) {
    static const QRegularExpression option(QStringLiteral("--[a-z][a-z-]*"));
    QStringList names;
    auto it = option.globalMatch(text);
    while (it.hasNext()) names << it.next().captured(0);
    names.sort();
    names.removeDuplicates();
    return names;
}

TEST(ManPage, ListsTheOptionsOfTheUsageTextInOrderWithTheirArguments) {
    const QStringList fromHelp = helpItems(batchHelp());
    const QStringList fromPage = taggedItems(readText(kManPage), QStringLiteral("OPTIONS"));
    ASSERT_GE(fromHelp.size(), 10) << batchHelp().toStdString();
    EXPECT_EQ(fromPage, fromHelp) << "page: " << fromPage.join(" | ").toStdString()
                                  << "\nhelp: " << fromHelp.join(" | ").toStdString();
}

TEST(ManPage, ShortHelpEqualsLongHelp) {
    const auto shortHelp = runProgram(QStringLiteral(MINISKOP_BATCH_EXE), {QStringLiteral("-h")});
    EXPECT_EQ(shortHelp.exitCode, 0);
    EXPECT_EQ(shortHelp.out, batchHelp());
}

TEST(ManPage, VersionOfProgramAndPageIsTheProjectVersion) {
    const auto version =
        runProgram(QStringLiteral(MINISKOP_BATCH_EXE), {QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, QStringLiteral("miniskop-batch " MINISKOP_VERSION "\n"));

    const QString page = readText(kManPage);
    const QString title = page.split(QLatin1Char('\n'))
                              .filter(QRegularExpression(QStringLiteral("^\\.TH ")))
                              .value(0);
    EXPECT_EQ(title, QStringLiteral(".TH MINISKOP-BATCH 1 \"" MINISKOP_RELEASE_DATE
                                    "\" \"Miniskop " MINISKOP_VERSION "\" \"User Commands\""));
}

TEST(ManPage, ExitStatusesAreTheOnesTheUsageTextNames) {
    const QStringList statuses = taggedItems(readText(kManPage), QStringLiteral("EXIT STATUS"));
    EXPECT_EQ(statuses, (QStringList{"0", "1", "2"}));
    const QString help = batchHelp();
    for (const QString& status : statuses) {
        EXPECT_TRUE(help.contains(QStringLiteral("%1 ").arg(status))) << status.toStdString();
    }
}

TEST(ManPage, ExamplesUseOnlyOptionsTheProgramKnows) {
    const QStringList known = longOptions(batchHelp());
    const QStringList examples = taggedItems(readText(kManPage), QStringLiteral("EXAMPLES"));
    ASSERT_FALSE(examples.isEmpty());
    for (const QString& example : examples) {
        EXPECT_TRUE(example.startsWith(QLatin1String("miniskop-batch "))) << example.toStdString();
        for (const QString& option : longOptions(example)) {
            EXPECT_TRUE(known.contains(option)) << option.toStdString();
        }
    }
}

TEST(ManPage, GroffReadsThePagesWithoutWarnings) {
    const QString groff = QStandardPaths::findExecutable(QStringLiteral("groff"));
    if (groff.isEmpty()) {
        GTEST_SKIP() << "groff is missing (Debian package groff-base)";
    }
    QStringList pages{kManPage};
    if (MINISKOP_HAS_UI) pages << QStringLiteral(MINISKOP_MAN_DIR "/miniskop.1");
    for (const QString& page : pages) {
        ASSERT_FALSE(readText(page).isEmpty()) << page.toStdString();
        const auto result = runProgram(groff, {"-man", "-ww", "-z", "-t", page});
        EXPECT_EQ(result.exitCode, 0) << page.toStdString();
        EXPECT_EQ(result.err, QString()) << page.toStdString();
    }
}

// The usage line in the README names the same options as the program.
TEST(ManPage, ReadmeUsageNamesTheProgramsOptions) {
    const QString readme = readText(QStringLiteral(MINISKOP_SOURCE_DIR "/README.md"));
    static const QRegularExpression usage(QStringLiteral("```\\n(miniskop-batch \\[.*?)```"),
                                          QRegularExpression::DotMatchesEverythingOption);
    const auto match = usage.match(readme);
    ASSERT_TRUE(match.hasMatch()) << "no usage block starting with \"miniskop-batch [\"";
    EXPECT_EQ(longOptions(match.captured(1)).join(' ').toStdString(),
              longOptions(batchHelp()).join(' ').toStdString());
}

}  // namespace
}  // namespace miniskop
