#include "text/codepage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quillmoor;

namespace {

struct Case {
    std::string utf8;
    std::string cp936;
};

TEST(Codepage, RoundTrips) {
    const std::vector<Case> cases = {
        {"", ""},
        {"abc 123", "abc 123"},
        {"下载完毕", "\xCF\xC2\xD4\xD8\xCD\xEA\xB1\xCF"},
        {"年月日", "\xC4\xEA\xD4\xC2\xC8\xD5"},
        {"\xE3\x80\x80", "\xA1\xA1"}, // U+3000 full-width space
        {"文件.zip", "\xCE\xC4\xBC\xFE.zip"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utf8_to_cp936(c.utf8), c.cp936) << c.utf8;
        EXPECT_EQ(cp936_to_utf8(c.cp936), c.utf8) << c.utf8;
        std::u16string wide = cp936_to_utf16(c.cp936);
        EXPECT_EQ(utf16_to_cp936(wide), c.cp936) << c.utf8;
    }
    EXPECT_EQ(cp936_to_utf16("a\xD6\xD0"), u"a中");
}

TEST(Codepage, Unrepresentable) {
    EXPECT_EQ(utf8_to_cp936("a\xF0\x9F\x98\x80"
                            "b"),
              "a?b"); // U+1F600
    EXPECT_EQ(utf8_to_cp936("\xF0\x9F\x98\x80\xF0\x9F\x98\x80"), "??");
    EXPECT_EQ(utf16_to_cp936(u"a\U0001F600b"), "a?b");
    EXPECT_EQ(utf16_to_cp936(u"\u00C0\u4E2D"), "?\xD6\xD0"); // À is not in 936
    EXPECT_EQ(utf8_to_cp936("a\xFF"
                            "b"),
              "a?b");                                                 // invalid UTF-8
    EXPECT_EQ(utf8_to_cp936("a\xE4\xB8"), "a?");                      // cut off at the end
    EXPECT_EQ(utf8_to_cp936("\xED\xA0\x80x"), "?x");                  // an encoded surrogate
    EXPECT_EQ(utf8_to_cp936("\xE4\xB8x"), "?x");                      // cut off before "x"
    EXPECT_EQ(utf16_to_cp936(std::u16string{u'\xD800', u'x'}), "?x"); // a lone surrogate
}

TEST(Codepage, InvalidCp936) {
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(cp936_to_utf8("a\xFF"
                            "b"),
              "a" + fffd + "b");
    EXPECT_EQ(cp936_to_utf8("a\xD6"), "a" + fffd); // broken unit at the end
    EXPECT_EQ(cp936_to_utf8("\x81\x20x"), fffd + " x");
    EXPECT_EQ(cp936_to_utf16("a\xFF"), u"a\uFFFD");
}

TEST(Codepage, LongInputGrowsTheBuffer) {
    std::string utf8;
    for (int i = 0; i < 5000; ++i) {
        utf8 += "\xF0\x9F\x98\x80中";
    }
    std::string cp = utf8_to_cp936(utf8);
    ASSERT_EQ(cp.size(), 15000u);
    std::string back = cp936_to_utf8(cp);
    EXPECT_EQ(back.size(), 5000u * 4);
}

} // namespace
