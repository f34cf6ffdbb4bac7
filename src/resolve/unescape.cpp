#include "resolve/unescape.h"

#include "text/codepage.h"

namespace quillmoor {

namespace {

// Placeholders that carry a CR LF pair and an apostrophe through the script literal.
constexpr std::string_view line_break_mark = "{$}";
constexpr std::string_view apostrophe_mark = "\xA1\xAF"; // "’" in code page 936

int hex_digit(char16_t c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// The value of count hex digits at s[i], or -1 when they are not all there.
long hex_value(std::u16string_view s, std::size_t i, std::size_t count) {
    if (i + count > s.size())
        return -1;
    long value = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const int d = hex_digit(s[i + k]);
        if (d < 0)
            return -1;
        value = value * 16 + d;
    }
    return value;
}

bool is_octal(char16_t c) {
    return c >= u'0' && c <= u'7';
}

// The value of a single-quoted script string literal with this body; false when the body
// does not make a valid literal.
bool read_string_literal(std::u16string_view body, std::u16string& value) {
    value.clear();
    for (std::size_t i = 0; i < body.size(); ++i) {
        const char16_t c = body[i];
        // A line ends the literal before its closing quote; so does an unescaped quote.
        if (c == u'\r' || c == u'\n' || c == u'\'')
            return false;
        if (c != u'\\') {
            value += c;
            continue;
        }
        if (++i == body.size())
            return false; // the backslash escapes the closing quote
        const char16_t e = body[i];
        switch (e) {
        case u'b':
            value += u'\b';
            break;
        case u't':
            value += u'\t';
            break;
        case u'n':
            value += u'\n';
            break;
        case u'v':
            value += u'\v';
            break;
        case u'f':
            value += u'\f';
            break;
        case u'r':
            value += u'\r';
            break;
        case u'\r': // a line continuation adds nothing
        case u'\n':
            break;
        case u'x':
        case u'u': {
            const std::size_t count = e == u'x' ? 2 : 4;
            const long unit = hex_value(body, i + 1, count);
            if (unit < 0)
                return false;
            value += char16_t(unit);
            i += count;
            break;
        }
        default:
            if (is_octal(e)) {
                // Up to three octal digits, no more than 0377.
                int unit = e - u'0';
                const std::size_t more = e <= u'3' ? 2 : 1;
                for (std::size_t k = 0; k < more && i + 1 < body.size() && is_octal(body[i + 1]);
                     ++k)
                    unit = unit * 8 + (body[++i] - u'0');
                value += char16_t(unit);
            } else {
                value += e; // \' \" \\ and every other character stand for themselves
            }
        }
    }
    return true;
}

// The script function unescape: %uXXXX and %XX, either case; any other "%" stays.
std::u16string script_unescape(std::u16string_view text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'%') {
            if (i + 1 < text.size() && text[i + 1] == u'u') {
                const long unit = hex_value(text, i + 2, 4);
                if (unit >= 0) {
                    out += char16_t(unit);
                    i += 5;
                    continue;
                }
            }
            const long unit = hex_value(text, i + 1, 2);
            if (unit >= 0) {
                out += char16_t(unit);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

} // namespace

Text unescape_text(const Text& text) {
    Text t = replace_text(text, "\r\n", line_break_mark);
    if (!t.empty() && t.front() == '\r')
        t.erase(0, 1);
    t = replace_text(t, "\\u", "%u");
    t = replace_text(t, "'", apostrophe_mark);

    std::u16string literal;
    if (!read_string_literal(cp936_to_utf16(t), literal))
        return {};
    std::u16string decoded = script_unescape(literal);
    if (const auto nul = decoded.find(u'\0'); nul != std::u16string::npos)
        decoded.resize(nul);

    Text r = utf16_to_cp936(decoded);
    r = replace_text(r, apostrophe_mark, "'");
    return replace_text(r, line_break_mark, "\r\n");
}

} // namespace quillmoor
