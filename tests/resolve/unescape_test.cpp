// Decoding of escaped file names.
#include "resolve/unescape.h"
#include "text/codepage.h"

#include <gtest/gtest.h>

using quillmoor::Text;
using quillmoor::unescape_text;
using quillmoor::utf8_to_cp936;

TEST(UnescapeText, Table) {
    const struct {
        std::string input;    // UTF-8 here, handed over in code page 936
        std::string expected; // UTF-8 here, compared in code page 936
    } cases[] = {
        {"", ""},
        {"plain name.txt", "plain name.txt"},
        {"\\u5feb\\u901f\\u5165\\u95e8.txt", "快速入门.txt"},
        {"\\u5FEB\\u901F", "快速"},
        {"\\U5feb", "U5feb"}, // only the lower-case form is an escape
        {"a%20b%2fc%2F", "a b/c/"},
        {"%u6587%U6587", "文%U6587"}, // "%u" only in lower case
        {"100%", "100%"},
        {"%zz%4%u12", "%zz%4%u12"},
        {"line\r\nbreak\r\n", "line\r\nbreak\r\n"},
        {"a{$}b", "a\r\nb"},
        {"it's Bob's", "it's Bob's"},
        {"a’b", "a'b"},
        {"\\u2019", "'"},
        {"\rabc", "abc"},
        {"\r\nabc", "\r\nabc"},
        {"\r\rabc", ""},
        {"a\rb", ""},
        {"a\nb", ""},
        {"abc\\", ""},
        {"a\\/b\\\"c\\\\d", "a/b\"c\\d"},
        {"a\\nb\\tc", "a\nb\tc"},
        {"a\\\nb", "ab"}, // a line continuation adds nothing
        {"\\x41\\x6a", "Aj"},
        {"\\x4", ""},
        {"\\x4g", ""},
        {"\\101\\60\\0608\\400", "A00"
                                 "8 0"},
        {"ab\\0cd", "ab"},
        {"\\0abc", ""},
        {"ab%00cd", "ab"},
        {"ab\\u0000cd", "ab"},
        {"\\\\u0041", "A"},              // the second backslash and "u" become "%u"
        {"乗u0041", "乗u0041"},          // 0x5C as the second byte of a character is no backslash
        {"\\ud83d\\ude00.txt", "?.txt"}, // outside code page 936
        {"%uD83D", "?"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(unescape_text(utf8_to_cp936(c.input)), utf8_to_cp936(c.expected))
            << "input: " << c.input;
    }
}
