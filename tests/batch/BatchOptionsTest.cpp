// The option reader of miniskop-batch: what is a usage error, and how the
// options that are accepted change the settings record.
#include <gtest/gtest.h>

#include "BatchOptions.h"

namespace miniskop {
namespace {

struct UsageErrorCase {
    const char* name;
    QStringList arguments;
};

class BatchOptionsUsageError : public ::testing::TestWithParam<UsageErrorCase> {};

TEST_P(BatchOptionsUsageError, IsRefusedWithAReason) {
    const Expected<BatchOptions> parsed = parseBatchArguments(GetParam().arguments);
    ASSERT_FALSE(parsed.has_value());
    EXPECT_FALSE(parsed.error().message.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, BatchOptionsUsageError,
    ::testing::Values(
        UsageErrorCase{"NoFolder", {}}, UsageErrorCase{"OnlyOptions", {"--quiet", "--enlarge"}},
        UsageErrorCase{"EmptyAmongSeveral", {"a", ""}}, UsageErrorCase{"EmptyFolder", {""}},
        UsageErrorCase{"UnknownOption", {"--colour", "dir"}},
        UsageErrorCase{"UnknownShortOption", {"-x", "dir"}},
        UsageErrorCase{"QualityZero", {"--quality", "0", "dir"}},
        UsageErrorCase{"QualityAboveRange", {"--quality=101", "dir"}},
        UsageErrorCase{"QualityNotANumber", {"--quality", "high", "dir"}},
        UsageErrorCase{"QualityWithFraction", {"--quality", "50.5", "dir"}},
        UsageErrorCase{"PrefixAndSuffix", {"--prefix", "a_", "--suffix", "_b", "dir"}},
        UsageErrorCase{"ValueMissingAtEnd", {"dir", "--size"}},
        UsageErrorCase{"FlagWithValue", {"--quiet=yes", "dir"}},
        UsageErrorCase{"PatternWithEmptyItem", {"--pattern", "*.jpg;", "dir"}},
        UsageErrorCase{"PatternEmpty", {"--pattern", "  ", "dir"}},
        UsageErrorCase{"PatternWithSlash", {"--pattern", "sub/*.jpg", "dir"}},
        // Names that would put files outside the picture folder.
        UsageErrorCase{"PageNameClimbingOut", {"--page-name", "../../../escape.html", "dir"}},
        UsageErrorCase{"PageNameDotDot", {"--page-name", " .. ", "dir"}},
        UsageErrorCase{"FolderNameClimbingOut", {"--folder-name=../../esc", "dir"}},
        UsageErrorCase{"FolderNameAbsolute", {"--folder-name", "/tmp/x", "dir"}},
        UsageErrorCase{"FolderNameDot", {"--folder-name", ".", "dir"}},
        UsageErrorCase{"PrefixWithSlash", {"--prefix", "../../../pre_", "dir"}},
        UsageErrorCase{"SuffixWithSlash", {"--suffix", "/../../suf", "dir"}},
        UsageErrorCase{"MemoryWithoutUnit", {"--memory", "4096", "dir"}},
        UsageErrorCase{"MemoryBelowSixteenMegabytes", {"--memory=15M", "dir"}},
        UsageErrorCase{"MemoryNotASize", {"--memory", "much", "dir"}}),
    [](const ::testing::TestParamInfo<UsageErrorCase>& info) { return info.param.name; });

TEST(BatchOptions, DefaultsLeaveTheSettingsAlone) {
    const Expected<BatchOptions> parsed = parseBatchArguments({"pics"});
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->folders, QStringList{"pics"});
    EXPECT_EQ(parsed->pattern, "*.bmp;*.jpg;*.jpeg;*.gif;*.wmf");
    EXPECT_FALSE(parsed->enlarge);
    EXPECT_FALSE(parsed->quiet);

    ThumbSettings settings;
    settings.groesseMin = "77";
    settings.optE = false;
    applyBatchOptions(*parsed, settings);
    EXPECT_EQ(settings.groesseMin, "77");
    EXPECT_FALSE(settings.optE);
    EXPECT_EQ(settings.qJPG(), ThumbSettings::kDefaultQuality);
}

TEST(BatchOptions, ValuesOverrideTheSettingsInBothSpellings) {
    const Expected<BatchOptions> parsed = parseBatchArguments(
        {"--size", "80", "--per-row=3", "--page-name", "index.htm", "--folder-name=", "--quality",
         " 55 ", "--suffix", "_klein", "--enlarge", "-q", "--pattern", " *.GIF ", "pics"});
    ASSERT_TRUE(parsed.has_value()) << parsed.error().message.toStdString();
    EXPECT_TRUE(parsed->enlarge);
    EXPECT_TRUE(parsed->quiet);
    EXPECT_EQ(parsed->pattern, "*.GIF");

    ThumbSettings settings;
    applyBatchOptions(*parsed, settings);
    EXPECT_EQ(settings.groesseMin, "80");
    EXPECT_EQ(settings.anzTabelle, "3");
    EXPECT_EQ(settings.nameHTML, "index.htm");
    EXPECT_EQ(settings.nameOrdner, "");
    EXPECT_EQ(settings.qJPG(), 55);
    EXPECT_FALSE(settings.optE);
    EXPECT_EQ(settings.zusatzEnde, "_klein");
    EXPECT_EQ(settings.zusatzAnfang, "t_");  // the other affix is kept
}

TEST(BatchOptions, PrefixSelectsPrefixModeAndQualityEdgesAreAccepted) {
    for (const char* quality : {"1", "100"}) {
        const Expected<BatchOptions> parsed =
            parseBatchArguments({"--prefix", "mini-", "--quality", quality, "pics"});
        ASSERT_TRUE(parsed.has_value()) << quality;
        ThumbSettings settings;
        settings.optE = false;
        applyBatchOptions(*parsed, settings);
        EXPECT_TRUE(settings.optE);
        EXPECT_EQ(settings.zusatzAnfang, "mini-");
        EXPECT_EQ(settings.qJPG(), QString(quality).toInt());
    }
}

TEST(BatchOptions, MemorySizesInTheirSpellings) {
    const struct {
        const char* text;
        qint64 bytes;
    } cases[] = {{"4G", qint64(4) << 30},     {"1.5g", qint64(3) << 29},
                 {"512M", qint64(512) << 20}, {"512MiB", qint64(512) << 20},
                 {"16M", qint64(16) << 20},   {"1T", qint64(1) << 40}};
    for (const auto& c : cases) {
        const Expected<BatchOptions> parsed = parseBatchArguments({"--memory", c.text, "pics"});
        ASSERT_TRUE(parsed.has_value()) << c.text;
        EXPECT_EQ(parsed->memory, c.bytes) << c.text;
    }
    EXPECT_FALSE(parseBatchArguments({"pics"})->memory.has_value());
}

TEST(BatchOptions, DoubleDashEndsTheOptionsAndAValueMayLookLikeAnOption) {
    Expected<BatchOptions> parsed = parseBatchArguments({"--", "--quiet"});
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->folders, QStringList{"--quiet"});
    EXPECT_FALSE(parsed->quiet);

    parsed = parseBatchArguments({"--prefix", "--x", "-"});
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(*parsed->prefix, "--x");
    EXPECT_EQ(parsed->folders, QStringList{"-"});
}

TEST(BatchOptions, HelpAndVersionNeedNoFolder) {
    for (const char* flag : {"--help", "-h", "--version"}) {
        const Expected<BatchOptions> parsed = parseBatchArguments({flag});
        ASSERT_TRUE(parsed.has_value()) << flag;
        EXPECT_TRUE(parsed->help || parsed->version);
    }
}

TEST(BatchOptions, UsageTextNamesEveryOption) {
    const QString usage = batchUsageText();
    for (const char* option : {"--pattern", "--size", "--per-row", "--page-name", "--folder-name",
                               "--quality", "--prefix", "--suffix", "--enlarge", "--memory",
                               "--quiet", "--help", "--version", "FOLDER"}) {
        EXPECT_TRUE(usage.contains(QLatin1String(option))) << option;
    }
    EXPECT_TRUE(usage.endsWith('\n'));
}

}  // namespace
}  // namespace miniskop
