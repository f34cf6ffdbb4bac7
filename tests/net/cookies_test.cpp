#include "net/cookies.h"

#include <gtest/gtest.h>

namespace quillmoor {
namespace {

struct MergeCase {
    const char* old_cookies;
    const char* new_cookies;
    const char* merged;
    const char* new_after;
};

class MergeCookiesTest : public ::testing::TestWithParam<MergeCase> {};

TEST_P(MergeCookiesTest, MergesIntoTheOldText) {
    const MergeCase& c = GetParam();
    Text old_cookies = c.old_cookies;
    Text new_cookies = c.new_cookies;
    const Text result = merge_cookies(old_cookies, new_cookies);
    EXPECT_EQ(old_cookies, c.merged);
    EXPECT_EQ(result, c.merged);
    EXPECT_EQ(new_cookies, c.new_after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MergeCookiesTest,
    ::testing::Values(
        MergeCase{"a=1; b=2", "b=3; c=4", "b=3; c=4; a=1", "b=3;c=4"},
        MergeCase{"a=1; b=2", "a=deleted", "b=2", "a=deleted"}, MergeCase{"x=deleted", "", "", ""},
        MergeCase{"", "", "", ""}, MergeCase{"", "x=1;x=1", "x=1", "x=1;x=1"},
        MergeCase{"", "a=1;a=2", "a=1; a=2", "a=1;a=2"}, MergeCase{"a=1;a=2", "", "a=1", ""},
        MergeCase{"", "n=hello world", "n=helloworld", "n=helloworld"},
        // A full-width space (A1 A1) is a space too.
        MergeCase{"m=a\xA1\xA1z", "", "m=az", ""}, MergeCase{"A=1", "a=2", "a=2; A=1", "a=2"},
        MergeCase{"a", "a=1", "a=1", "a=1"}, MergeCase{"a=1", "a", "a", "a"},
        MergeCase{"a=1;;b=2", "", "a=1; ; b=2", ""},
        MergeCase{"k=v;", "s=1; ", "s=1; k=v", "s=1;"}));

TEST(CookieHelpersTest, NamesEntries) {
    EXPECT_EQ(cookie_name(" sid =abc"), "sid");
    EXPECT_EQ(cookie_name("flag"), "flag");
    EXPECT_EQ(cookie_name("a=b=c"), "a");
    EXPECT_EQ(cookie_name("=v"), "");
}

TEST(CookieHelpersTest, FindsNamesAndMembers) {
    const TextArray entries = {"a=1", "B=2", "a=3"};
    EXPECT_TRUE(cookie_name_listed(entries, "B"));
    EXPECT_FALSE(cookie_name_listed(entries, "b"));
    EXPECT_FALSE(cookie_name_listed({}, ""));
    EXPECT_EQ(member_index(entries, "a=3"), 3);
    EXPECT_EQ(member_index({"x", "y", "x"}, "x"), 1);
    EXPECT_EQ(member_index(entries, "a"), -1);
    EXPECT_EQ(member_index({}, ""), -1);
}

TEST(CookieHelpersTest, DedupesMembers) {
    EXPECT_EQ(dedupe_members("", "; "), "");
    EXPECT_EQ(dedupe_members("x; y; x; z; y", "; "), "x; y; z");
    EXPECT_EQ(dedupe_members("a;;a;", ";"), "a;");
}

} // namespace
} // namespace quillmoor
