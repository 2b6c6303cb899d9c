// The thumbnail size rule: the three branches, strict comparisons with the
// bound, single-precision ratios, rounding to whole pixels and the failures.
#include <gtest/gtest.h>

#include "ThumbnailSize.h"

namespace miniskop {
namespace {

struct SizeCase {
    float w, h, s;
    bool enlarge;
    int tw, th;
};

class ThumbnailSizeRule : public ::testing::TestWithParam<SizeCase> {};

TEST_P(ThumbnailSizeRule, GivesWholePixelSize) {
    const SizeCase c = GetParam();
    const auto size = thumbnailSize(c.w, c.h, c.s, c.enlarge);
    ASSERT_TRUE(size.has_value()) << size.error().message.toStdString();
    EXPECT_EQ(size->width(), c.tw);
    EXPECT_EQ(size->height(), c.th);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ThumbnailSizeRule,
    ::testing::Values(
        // Larger pictures: the longer side becomes S.
        SizeCase{640, 480, 120, false, 120, 90}, SizeCase{640, 480, 120, true, 120, 90},
        SizeCase{120, 200, 120, false, 72, 120}, SizeCase{1000, 333, 120, false, 120, 40},
        SizeCase{200, 200, 120, false, 120, 120}, SizeCase{4000, 3000, 120, false, 120, 90},
        // 37.5 rounds to the nearest pixel, halves away from zero.
        SizeCase{800, 600, 50, false, 50, 38},
        // Smaller pictures keep their size unless enlarged.
        SizeCase{100, 50, 120, false, 100, 50}, SizeCase{100, 50, 120, true, 120, 60},
        SizeCase{119, 119, 120, false, 119, 119}, SizeCase{119, 119, 120, true, 120, 120},
        SizeCase{1, 1, 120, true, 120, 120}, SizeCase{1, 1, 120, false, 1, 1},
        SizeCase{50, 100, 120, true, 60, 120},
        // One side exactly S: the strict test sends it through the shrink
        // branch with f = 1, so it keeps its size either way.
        SizeCase{120, 80, 120, false, 120, 80}, SizeCase{120, 80, 120, true, 120, 80},
        SizeCase{80, 120, 120, true, 80, 120}, SizeCase{120, 120, 120, true, 120, 120},
        // A fractional bound is used unchanged.
        SizeCase{241, 100, 120.5f, false, 121, 50}, SizeCase{100, 50, 120.5f, true, 121, 60},
        SizeCase{120, 60, 120.5f, false, 120, 60},
        // A thin picture whose short side lands on half a pixel keeps one.
        SizeCase{240, 1, 120, false, 120, 1}));

struct FailCase {
    float w, h, s;
    bool enlarge;
};

class ThumbnailSizeFailure : public ::testing::TestWithParam<FailCase> {};

TEST_P(ThumbnailSizeFailure, IsAnErrorNotAZeroSize) {
    const FailCase c = GetParam();
    EXPECT_FALSE(thumbnailSize(c.w, c.h, c.s, c.enlarge).has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ThumbnailSizeFailure,
    ::testing::Values(FailCase{640, 480, 0, false}, FailCase{640, 480, 0, true},
                      FailCase{640, 480, -120, false}, FailCase{100, 50, -1, true},
                      FailCase{0, 480, 120, false}, FailCase{640, 0, 120, true},
                      FailCase{1000, 1, 120, false}, FailCase{241, 1, 120, false},
                      FailCase{1, 3000, 120, true}, FailCase{640, 480, std::nanf(""), false}));

}  // namespace
}  // namespace miniskop
