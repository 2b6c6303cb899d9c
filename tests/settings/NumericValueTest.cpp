// Reading number settings: the lenient leading-number rule, rounding to 16 bits
// and the strict whole-text form used for the stored quality.
#include <gtest/gtest.h>

#include <cmath>

#include "NumberScan.h"
#include "NumericValue.h"

namespace miniskop {
namespace {

struct ValueCase {
    const char* text;
    double expected;
};

TEST(NumericValue, TakesTheLeadingDecimalNumber) {
    const ValueCase cases[] = {
        {"120", 120},     {"120px", 120}, {" 80", 80},        {"\t\n 80", 80},
        {"abc", 0},       {"", 0},        {"   ", 0},         {"x12", 0},
        {"+7", 7},        {"-12", -12},   {"12.75", 12.75},   {"1.2.3", 1.2},
        {"12 34", 12},    {"1,5", 1},     {".5", 0.5},        {"-.5", -0.5},
        {"5.", 5},        {".", 0},       {"-", 0},           {"+.", 0},
        {"1e2", 100},     {"1E-1", 0.1},  {"-12.5e1x", -125}, {"1e", 1},
        {"1e+", 1},       {"2e-x", 2},    {"e5", 0},          {"1e999999", INFINITY},
        {"1e-999999", 0}, {"0120", 120},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(numericValue(QString::fromUtf8(c.text)), c.expected) << c.text;
    }
    // Too many digits for a double: an infinity, not 0.
    EXPECT_EQ(numericValue(QLatin1Char('-') + QString(400, QLatin1Char('9'))), -INFINITY);
    EXPECT_EQ(numericValue(QStringLiteral("0.") + QString(400, QLatin1Char('0')) +
                           QStringLiteral("1e-300")),
              0.0);
}

TEST(NumericValue, WholeNumberRoundsHalvesToEvenWithin16Bits) {
    struct IntCase {
        const char* text;
        std::optional<qint16> expected;
    };
    const IntCase cases[] = {
        {"120.5", 120},
        {"121.5", 122},
        {"0.5", 0},
        {"1.5", 2},
        {"2.5000001", 3},
        {"-2.5", -2},
        {"-3.5", -4},
        {"-0.4", 0},
        {"32767", 32767},
        {"32767.4", 32767},
        {"32767.5", std::nullopt},
        {"-32768", -32768},
        {"-32768.5", -32768},
        {"-32769", std::nullopt},
        {"70000", std::nullopt},
        {"1e999999", std::nullopt},
        {"-1e999999", std::nullopt},
        {"abc", 0},
        {"6 per row", 6},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(numericValueInt16(QString::fromUtf8(c.text)), c.expected) << c.text;
    }
}

TEST(StrictNumber, AcceptsOnlyANumberWithBlanksAround) {
    EXPECT_EQ(strictNumber(u" 90 "), 90.0);
    EXPECT_EQ(strictNumber(u"\t-1\t"), -1.0);
    EXPECT_EQ(strictNumber(u"90.5"), 90.5);
    EXPECT_EQ(strictNumber(u"1e2"), 100.0);
    EXPECT_EQ(strictNumber(u""), std::nullopt);
    EXPECT_EQ(strictNumber(u"  "), std::nullopt);
    EXPECT_EQ(strictNumber(u"90abc"), std::nullopt);
    EXPECT_EQ(strictNumber(u"9 0"), std::nullopt);
    EXPECT_EQ(strictNumber(u"1e"), std::nullopt);
    EXPECT_EQ(strictNumber(u"-"), std::nullopt);
}

}  // namespace
}  // namespace miniskop
