// Memory amounts as the refusal sentence writes them: a need is rounded up
// and an allowance down, so that a need above the allowance never reads as
// the same amount; and sizes as --memory takes them.
#include <gtest/gtest.h>

#include "MemorySize.h"

namespace miniskop {
namespace {

constexpr qint64 kMB = qint64(1) << 20;
constexpr qint64 kGB = qint64(1) << 30;

TEST(MemorySize, TextRoundsANeedUpAndAnAllowanceDown) {
    const struct {
        qint64 bytes;
        bool upward;
        const char* text;
    } cases[] = {
        {kGB, false, "1 GB"},
        {kGB, true, "1 GB"},
        {kGB + 1, true, "1.1 GB"},
        {kGB + kGB / 2, false, "1.5 GB"},
        {1536000000, true, "1.5 GB"},
        {kGB * 5 / 2, false, "2.5 GB"},
        {kGB - 1, false, "1023 MB"},
        {kGB - kMB / 2, true, "1 GB"},
        {512 * kMB, false, "512 MB"},
        {512 * kMB + 1, true, "513 MB"},
        {0, true, "1 MB"},
        {kMB / 3, false, "1 MB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(memorySizeText(c.bytes, c.upward), QString::fromUtf8(c.text))
            << c.bytes << (c.upward ? " up" : " down");
}

TEST(MemorySize, SizesNeedAUnit) {
    EXPECT_EQ(parseMemorySize(" 2 gb "), 2 * kGB);
    EXPECT_EQ(parseMemorySize("64k"), 64 * 1024);
    for (const char* text : {"", "4096", "G", "-1G", "1.G", "4 GB extra", "1e3M", "99999999999T"})
        EXPECT_FALSE(parseMemorySize(QString::fromUtf8(text)).has_value()) << text;
}

}  // namespace
}  // namespace miniskop
