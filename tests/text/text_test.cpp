#include "text/codepage.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace quillmoor;

namespace {

Text cp(const char* utf8) {
    return utf8_to_cp936(utf8);
}

// "中" is D6 D0; "丁" is B6 A1. "\x81\x41" is one two-byte unit whose second byte is "A".
const Text full_space = "\xA1\xA1";

struct FindCase {
    Text text;
    Text sought;
    std::optional<int> start;
    bool ignore_case;
    int expected;
};

TEST(TextFind, Forward) {
    const std::vector<FindCase> cases = {
        {"abc", "", {}, false, 1},
        {"", "", {}, false, -1},
        {"", "a", {}, false, -1},
        {"abc", "", 2, false, 1},
        {"abc", "", 4, false, -1},
        {"abcabc", "bc", {}, false, 2},
        {"abcabc", "bc", 3, false, 5},
        {"abc", "c", 4, false, -1},
        {"abc", "a", 0, false, 1},
        {"abc", "a", -7, false, 1},
        {"abc", "abcd", {}, false, -1},
        {"Host\r\nuser-agent: x", "User-Agent:", {}, true, 7},
        {"Host\r\nuser-agent: x", "User-Agent:", {}, false, -1},
        {"\x81"
         "A",
         "A",
         {},
         false,
         -1},
        {"\x81"
         "AA",
         "A",
         {},
         false,
         3},
        {"x\x81", "\x81", {}, false, 2},
        // Starting inside a two-byte unit walks from that byte.
        {"\x81"
         "A",
         "A", 2, false, 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(find_text(c.text, c.sought, c.start, c.ignore_case), c.expected)
            << c.text << " / " << c.sought;
    }
}

TEST(TextFind, Reverse) {
    const std::vector<FindCase> cases = {
        {"a.b.c", ".", {}, false, 4},
        {"a.b.c", ".", 4, false, 2},
        {"a.b.c", ".", 2, false, -1},
        {"a.b.c", ".", 0, false, -1},
        {"a.b.c", ".", 100, false, 4},
        {"a.b.c", "", {}, false, 1},
        {"", "", {}, false, -1},
        {"abab", "ab", 4, false, 1},
        {"abab", "ab", 5, false, 3},
        {"ABab", "ab", {}, true, 3},
        {"\x81"
         ":x",
         ":",
         {},
         false,
         -1},
        {"\x81"
         "::",
         ":",
         {},
         false,
         3},
        {"a\x81"
         ":",
         ":",
         {},
         false,
         -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(find_text_reverse(c.text, c.sought, c.start, c.ignore_case), c.expected)
            << c.text << " / " << c.sought;
    }
}

TEST(Text, CompareAndJoin) {
    EXPECT_EQ(compare_text("abc", "abc"), 0);
    EXPECT_EQ(compare_text("ab", "abc"), -1);
    EXPECT_EQ(compare_text("abc", "ab"), 1);
    EXPECT_EQ(compare_text("\x81", "a"), 1); // bytes compare unsigned
    EXPECT_EQ(compare_text("", ""), 0);
    EXPECT_EQ(join_texts({"a", "", "bc"}), "abc");
    EXPECT_EQ(join_texts({"", ""}), "");
    EXPECT_EQ(text_length("\xD6\xD0x"), 3);
}

TEST(Text, Cutting) {
    EXPECT_EQ(text_left("abc", 0), "");
    EXPECT_EQ(text_left("abc", -1), "");
    EXPECT_EQ(text_left("abc", 2), "ab");
    EXPECT_EQ(text_left("abc", 10), "abc");
    EXPECT_EQ(text_right("abc", 0), "");
    EXPECT_EQ(text_right("abc", -3), "");
    EXPECT_EQ(text_right("abc", 2), "bc");
    EXPECT_EQ(text_right("abc", 10), "abc");
    EXPECT_EQ(text_mid("abcdef", 3, 100), "cdef");
    EXPECT_EQ(text_mid("abcdef", 0, 2), "");
    EXPECT_EQ(text_mid("abcdef", 6, 1), "f");
    EXPECT_EQ(text_mid("abcdef", 7, 1), "");
    EXPECT_EQ(text_mid("abcdef", 2, 0), "");
    EXPECT_EQ(text_left("\xD6\xD0", 1), "\xD6"); // counting cuts a unit in half
}

struct ReplaceCase {
    Text text, sought, replacement;
    bool ignore_case;
    Text expected;
};

TEST(Text, Replace) {
    const std::vector<ReplaceCase> cases = {
        {"abc", "", "x", false, "abc"},
        {"", "a", "x", false, ""},
        {"aaa", "aa", "b", false, "ba"},
        {"a-b-c", "-", "", false, "abc"},
        {"aXa", "x", "yy", true, "ayya"},
        {"aXa", "x", "yy", false, "aXa"},
        {"ab", "b", "bb", false, "abb"}, // inserted text is not searched again
        {"\x81"
         "Ab",
         "A", "z", false,
         "\x81"
         "Ab"},
        {"ab\x81", "b", "c", false, "ac"},       // broken unit dropped
        {"abc\x81", "bc", "x", false, "ax\x81"}, // fewer than m bytes left: kept
        {"Set-Cookie: a", "set-cookie:", "", true, " a"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(replace_text(c.text, c.sought, c.replacement, c.ignore_case), c.expected)
            << c.text;
    }
}

struct SplitCase {
    Text text, delimiter;
    TextArray expected;
};

TEST(Text, Split) {
    const std::vector<SplitCase> cases = {
        {"a;;b", ";", {"a", "", "b"}},
        {"a;", ";", {"a"}},
        {"a;;", ";", {"a", ""}},
        {";a", ";", {"", "a"}},
        {";", ";", {""}},
        {"", ";", {}},
        {"a;b", "", {"a;b"}},
        {"a::b::", "::", {"a", "b"}},
        {"a;B", ";b", {"a;B"}},
        {"\x81;a;b", ";", {"\x81;a", "b"}},
        {"a;b\x81", ";", {"a", "b\x81"}},
    };
    for (const auto& c : cases) {
        TextArray got = split_text(c.text, c.delimiter);
        EXPECT_EQ(got, c.expected) << c.text;
        EXPECT_EQ(member_count(got), static_cast<int>(c.expected.size()));
    }
}

struct SpaceCase {
    Text input, trimmed, removed;
};

TEST(Text, Spaces) {
    const std::vector<SpaceCase> cases = {
        {"  a b  ", "a b", "ab"},
        {full_space + "a" + full_space, "a", "a"},
        {"\ta\r\n", "\ta\r\n", "\ta\r\n"},
        {" \ta\r\n ", "\ta\r\n", "\ta\r\n"},
        {" " + full_space + " ", "", ""},
        {"", "", ""},
        {"a \x81", "a ", "a"}, // broken unit removed, the space before it stays
        {" \x81", "", ""},
        {"\xA1\xA2 x", "\xA1\xA2 x", "\xA1\xA2x"}, // A1 with another trail byte is no space
        {"\x81 a", "\x81 a", "\x81 a"},            // 0x20 as a trail byte is no space
    };
    for (const auto& c : cases) {
        EXPECT_EQ(trim_spaces(c.input), c.trimmed) << c.input;
        EXPECT_EQ(remove_spaces(c.input), c.removed) << c.input;
    }
}

TEST(Text, ToLower) {
    EXPECT_EQ(to_lower("AbC-Z@["), "abc-z@[");
    EXPECT_EQ(to_lower("\x81"
                       "AB"),
              "\x81"
              "Ab");
    EXPECT_EQ(to_lower("A\xC1"), "a\xC1");
    EXPECT_EQ(to_lower(""), "");
}

struct NumberCase {
    Text text;
    double number;
    std::int32_t integer;
};

TEST(Text, ParsingNumbers) {
    const std::vector<NumberCase> cases = {
        {"511/2048", 511, 511},
        {"2048", 2048, 2048},
        {"", 0, 0},
        {"abc", 0, 0},
        {"443", 443, 443},
        {" \t\n-12.5e2x", -1250, -12},
        {"+7", 7, 7},
        {"1.5.3", 1.5, 1},
        {"2e", 2, 2},
        {"2e+", 2, 2},
        {".5", 0.5, 0},
        {"-", 0, 0},
        {"4294967297", 4294967297.0, 1}, // wraps modulo 2^32
        {"2147483648", 2147483648.0, INT32_MIN},
        {"\xA3\xB1\xA3\xB2", 12, 12},                           // full-width 12
        {"\xA1\xA1\xA3\xAD\xA3\xB3\xA3\xAE\xA3\xB5", -3.5, -3}, // full-width space, -3.5
        {"\xA3\xB1"
         "2\xA3\xC5"
         "1",
         120, 12}, // full-width E
        {"\xD6\xD0"
         "1",
         0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(to_number(c.text), c.number) << c.text;
        EXPECT_EQ(to_int(c.text), c.integer) << c.text;
    }
}

TEST(Text, WritingNumbers) {
    EXPECT_EQ(number_to_text(511.0), "511");
    EXPECT_EQ(number_to_text(std::int32_t{-5}), "-5");
    EXPECT_EQ(number_to_text(std::int32_t{0}), "0");
    EXPECT_EQ(number_to_text(INT32_MIN), "-2147483648");
    EXPECT_EQ(number_to_text(std::int64_t{5'000'000'000}), "5000000000");
    EXPECT_EQ(number_to_text(0.5), "0.5");
    EXPECT_EQ(number_to_text(1e12 + 1), "1000000000001");
    EXPECT_EQ(number_to_text(4294967296.0), "4294967296");
    EXPECT_EQ(number_to_text(1.0 / 3.0), "0.3333333333333");
    EXPECT_EQ(number_to_text(-0.00001), "-1e-05");
    EXPECT_EQ(number_to_text(1e13), "1e+13");
}

struct DateCase {
    DateTime date;
    const char* expected; // UTF-8
};

TEST(Text, DateTimeToText) {
    const std::vector<DateCase> cases = {
        {{2024, 3, 7, 9, 5, 30}, "2024年3月7日9时5分30秒"},
        {{2024, 3, 7, 9, 5, 0}, "2024年3月7日9时5分"},
        {{2024, 3, 7, 9, 0, 0}, "2024年3月7日9时"},
        {{2024, 3, 7, 12, 0, 0}, "2024年3月7日12时"},
        {{2024, 3, 7, 0, 0, 0}, "2024年3月7日"},
        {{2024, 3, 7, 0, 0, 5}, "2024年3月7日0时0分5秒"},
        {{2024, 12, 31, 23, 59, 59}, "2024年12月31日23时59分59秒"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(datetime_to_text(c.date), cp(c.expected)) << c.expected;
    }
    EXPECT_EQ(datetime_to_text({2024, 3, 7, 0, 0, 0}), "2024\xC4\xEA"
                                                       "3\xD4\xC2"
                                                       "7\xC8\xD5");
}

TEST(Text, Clocks) {
    DateTime d = now();
    EXPECT_GE(d.year, 2000);
    EXPECT_TRUE(d.month >= 1 && d.month <= 12);
    EXPECT_TRUE(d.day >= 1 && d.day <= 31);
    EXPECT_TRUE(d.hour >= 0 && d.hour <= 23);
    EXPECT_TRUE(d.second >= 0 && d.second <= 60);
    // Two readings: the unsigned difference never goes backwards.
    std::uint32_t a = static_cast<std::uint32_t>(uptime_ms());
    std::uint32_t b = static_cast<std::uint32_t>(uptime_ms());
    EXPECT_LT(b - a, 1000u);
}

struct BetweenCase {
    Text text, start_marker, end_marker;
    std::optional<int> start;
    bool ignore_case;
    Text expected;
};

TEST(Text, TextBetween) {
    const Text quote = cp("#引号");
    const std::vector<BetweenCase> cases = {
        {"x[abc]y", "[", "]", {}, false, "abc"},
        {"x[]y", "[", "]", {}, false, ""},
        {"x]y[z", "[", "]", {}, false, ""},
        {"xy[", "[", "]", {}, false, ""},
        {"no marker", "[", "]", {}, false, ""},
        {"[a][b]", "[", "]", {}, false, "a"},
        {"[a[b]", "[", "]", {}, false, "a[b"},
        {"[a][b]", "[", "]", 2, false, "b"},
        {"<A>x</a>", "<a>", "</A>", {}, true, "x"},
        {"<A>x</a>", "<a>", "</A>", {}, false, ""},
        {"\"name\":\"file.zip\",", "\"name\":" + quote, quote + ",", {}, false, "file.zip"},
        {"name=\"q\"", "name=" + quote, quote, {}, false, "q"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(text_between(c.text, c.start_marker, c.end_marker, c.start, c.ignore_case),
                  c.expected)
            << c.text;
    }
}

TEST(Text, BlankText) {
    EXPECT_EQ(blank_text(0), "");
    EXPECT_EQ(blank_text(-3), "");
    EXPECT_EQ(blank_text(5000), std::string(5000, ' '));
}

TEST(Bytes, Basics) {
    EXPECT_EQ(text_to_bytes("a\x81"), (Bytes{'a', 0x81}));
    EXPECT_EQ(bytes_to_text(Bytes{'a', 'b', 0, 'c'}), "ab");
    EXPECT_EQ(bytes_to_text(Bytes{'a', 'b'}), "ab");
    EXPECT_EQ(bytes_to_text(Bytes{}), "");
    EXPECT_EQ(bytes_length(Bytes{0, 0, 0}), 3);
    EXPECT_EQ(bytes_left(Bytes{1, 2, 3}, 2), (Bytes{1, 2}));
    EXPECT_EQ(bytes_left(Bytes{1, 2, 3}, 9), (Bytes{1, 2, 3}));
    EXPECT_EQ(bytes_left(Bytes{1, 2, 3}, 0), Bytes{});
    EXPECT_EQ(bytes_left(Bytes{1, 2, 3}, -1), Bytes{});
    EXPECT_EQ(blank_bytes(3), (Bytes{0, 0, 0}));
    EXPECT_EQ(blank_bytes(-1), Bytes{});

    const Bytes a{1, 2, 0x80}, b{1, 2, 0x7F};
    EXPECT_EQ(compare_bytes(a.data(), b.data(), 0), 0);
    EXPECT_EQ(compare_bytes(a.data(), b.data(), 2), 0);
    EXPECT_EQ(compare_bytes(a.data(), b.data(), 3), 1);
    EXPECT_EQ(compare_bytes(b.data(), a.data(), 3), -1);

    const Bytes empty;
    EXPECT_EQ(join_bytes({&empty, &empty}), Bytes{});
    EXPECT_EQ(join_bytes({&a, nullptr, &empty, &b}), (Bytes{1, 2, 0x80, 1, 2, 0x7F}));
    EXPECT_EQ(join_bytes(b, a), (Bytes{1, 2, 0x7F, 1, 2, 0x80}));
}

struct ReplaceBytesCase {
    Bytes b, sought, replacement;
    std::optional<int> count;
    Bytes expected;
};

TEST(Bytes, Replace) {
    const std::vector<ReplaceBytesCase> cases = {
        {{'a', '\r', 'b', '\r'}, {'\r'}, {}, 1, {'a', 'b', '\r'}},
        {{'a', '\r', 'b', '\r'}, {'\r'}, {}, {}, {'a', 'b'}},
        {{'a', '\r'}, {'\r'}, {}, 0, {'a', '\r'}},
        {{'a', '\r'}, {}, {'x'}, {}, {'a', '\r'}},
        {{}, {'a'}, {'x'}, {}, {}},
        {{'a', 'a', 'a'}, {'a', 'a'}, {'b'}, {}, {'b', 'a'}},
        {{0, 1, 0}, {0}, {9, 9}, 5, {9, 9, 1, 9, 9}},
        {{0x81, 'A'}, {'A'}, {'z'}, {}, {0x81, 'z'}}, // no character units in Bytes
    };
    for (const auto& c : cases) {
        EXPECT_EQ(replace_bytes(c.b, c.sought, c.replacement, c.count), c.expected);
    }
}

} // namespace
