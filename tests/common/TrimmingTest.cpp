// The two ways of trimming: names typed by the user keep their tabs, the
// settings file's texts lose them.
#include <gtest/gtest.h>

#include "Trimming.h"

using namespace miniskop;

TEST(Trimming, SpacesOnlyOrSpacesAndTabs) {
    const struct {
        const char* text;
        const char* spaces;
        const char* spacesAndTabs;
    } cases[] = {
        {"", "", ""},
        {"   ", "", ""},
        {"  a b  ", "a b", "a b"},
        {"\t_t ", "\t_t", "_t"},
        {" \t x\t \t", "\t x\t \t", "x"},
        {"\n x \r", "\n x \r", "\n x \r"},
    };
    for (const auto& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        EXPECT_EQ(trimSpaces(text), QString::fromUtf8(c.spaces)) << c.text;
        EXPECT_EQ(trimSpacesAndTabs(text).toString(), QString::fromUtf8(c.spacesAndTabs)) << c.text;
    }
}
