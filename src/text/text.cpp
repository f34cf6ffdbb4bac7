#include "text/text.h"

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <locale.h>

namespace quillmoor {

namespace {

using Byte = unsigned char;

Byte byte_at(std::string_view t, std::size_t i) {
    return static_cast<Byte>(t[i]);
}

// Length of the character unit that begins at i: 1 for a byte below 0x80, else 2. A lead byte
// that is the last byte of the text is a broken unit; unit_length still reports 2 for it.
std::size_t unit_length(std::string_view t, std::size_t i) {
    return byte_at(t, i) < 0x80 ? 1 : 2;
}

bool is_broken_unit(std::string_view t, std::size_t i) {
    return byte_at(t, i) >= 0x80 && i + 1 == t.size();
}

Byte fold_ascii(Byte c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<Byte>(c + 32) : c;
}

bool bytes_match(std::string_view t, std::size_t at, std::string_view sought, bool ignore_case) {
    for (std::size_t k = 0; k < sought.size(); ++k) {
        Byte a = byte_at(t, at + k);
        Byte b = byte_at(sought, k);
        if (ignore_case ? fold_ascii(a) != fold_ascii(b) : a != b) {
            return false;
        }
    }
    return true;
}

// The full-width space A1 A1 or the byte 0x20, when a unit of either kind begins at i.
std::size_t space_length(std::string_view t, std::size_t i) {
    if (byte_at(t, i) == 0x20) {
        return 1;
    }
    if (byte_at(t, i) == 0xA1 && i + 1 < t.size() && byte_at(t, i + 1) == 0xA1) {
        return 2;
    }
    return 0;
}

// Folds full-width digits, signs, letters and spaces to their one-byte forms, unit by unit.
std::string fold_full_width(std::string_view t) {
    std::string out;
    out.reserve(t.size());
    std::size_t i = 0;
    while (i < t.size()) {
        Byte lead = byte_at(t, i);
        if (lead < 0x80 || i + 1 == t.size()) {
            out.push_back(static_cast<char>(lead));
            ++i;
            continue;
        }
        Byte trail = byte_at(t, i + 1);
        if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
            out.push_back(static_cast<char>(trail - 0x80));
        } else if (lead == 0xA1 && trail == 0xA1) {
            out.push_back(' ');
        } else if (lead == 0xA1 && trail == 0xAB) {
            out.push_back('~');
        } else if (lead == 0xA1 && (trail == 0xEE || trail == 0xEF)) {
            out.push_back('*');
        } else {
            out.append(t.substr(i, 2));
        }
        i += 2;
    }
    return out;
}

bool is_white(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

std::size_t skip_white(std::string_view t) {
    std::size_t i = 0;
    while (i < t.size() && is_white(t[i])) {
        ++i;
    }
    return i;
}

// strtod in the "C" locale, so that a locale set by the window toolkit cannot change the point.
double parse_c_double(const std::string& s) {
    static locale_t c_locale = newlocale(LC_ALL_MASK, "C", locale_t{});
    return strtod_l(s.c_str(), nullptr, c_locale);
}

} // namespace

// Texts

int text_length(std::string_view t) {
    return static_cast<int>(t.size());
}

int compare_text(std::string_view a, std::string_view b) {
    int r = a.compare(b); // char_traits<char> compares bytes as unsigned values
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

Text join_texts(std::initializer_list<std::string_view> parts) {
    Text out;
    for (std::string_view p : parts) {
        out.append(p);
    }
    return out;
}

int find_text(std::string_view text, std::string_view sought, std::optional<int> start,
              bool ignore_case) {
    const std::size_t len = text.size();
    const std::size_t m = sought.size();
    std::size_t s0 = (start && *start > 1) ? static_cast<std::size_t>(*start - 1) : 0;
    if (s0 >= len) {
        return -1;
    }
    if (m == 0) {
        return 1;
    }
    for (std::size_t p = s0; p < len; p += unit_length(text, p)) {
        if (p + m <= len && bytes_match(text, p, sought, ignore_case)) {
            return static_cast<int>(p + 1);
        }
        if (is_broken_unit(text, p)) {
            break;
        }
    }
    return -1;
}

int find_text_reverse(std::string_view text, std::string_view sought, std::optional<int> start,
                      bool ignore_case) {
    const std::size_t len = text.size();
    const std::size_t m = sought.size();
    std::size_t region = len;
    if (start) {
        region = *start > 1 ? std::min(static_cast<std::size_t>(*start - 1), len) : 0;
    }
    if (region == 0) {
        return -1;
    }
    if (m == 0) {
        return 1;
    }
    int found = -1;
    for (std::size_t p = 0; p < region; p += unit_length(text, p)) {
        if (p + m <= region && bytes_match(text, p, sought, ignore_case)) {
            found = static_cast<int>(p + 1);
        }
        if (is_broken_unit(text, p)) {
            break;
        }
    }
    return found;
}

Text text_left(std::string_view t, int n) {
    if (n <= 0) {
        return {};
    }
    return Text(t.substr(0, std::min<std::size_t>(static_cast<std::size_t>(n), t.size())));
}

Text text_right(std::string_view t, int n) {
    if (n <= 0) {
        return {};
    }
    std::size_t k = std::min<std::size_t>(static_cast<std::size_t>(n), t.size());
    return Text(t.substr(t.size() - k));
}

Text text_mid(std::string_view t, int start, int n) {
    if (start < 1 || static_cast<std::size_t>(start) > t.size() || n <= 0) {
        return {};
    }
    return Text(t.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(n)));
}

Text replace_text(std::string_view text, std::string_view sought, std::string_view replacement,
                  bool ignore_case) {
    if (text.empty() || sought.empty()) {
        return Text(text);
    }
    const std::size_t len = text.size();
    const std::size_t m = sought.size();
    Text out;
    out.reserve(len);
    std::size_t i = 0;
    while (i < len) {
        if (len - i < m) {
            out.append(text.substr(i));
            break;
        }
        if (bytes_match(text, i, sought, ignore_case)) {
            out.append(replacement);
            i += m;
            continue;
        }
        if (is_broken_unit(text, i)) {
            break; // a lone lead byte at the end is dropped
        }
        std::size_t u = unit_length(text, i);
        out.append(text.substr(i, u));
        i += u;
    }
    return out;
}

TextArray split_text(std::string_view text, std::string_view delimiter) {
    TextArray members;
    if (text.empty()) {
        return members;
    }
    if (delimiter.empty()) {
        members.emplace_back(text);
        return members;
    }
    const std::size_t len = text.size();
    const std::size_t d = delimiter.size();
    std::size_t segment = 0;
    std::size_t i = 0;
    while (i < len && len - i >= d) {
        if (bytes_match(text, i, delimiter, false)) {
            members.emplace_back(text.substr(segment, i - segment));
            i += d;
            segment = i;
            continue;
        }
        if (is_broken_unit(text, i)) {
            break;
        }
        i += unit_length(text, i);
    }
    if (segment < len) {
        members.emplace_back(text.substr(segment));
    }
    return members;
}

int member_count(const TextArray& a) {
    return static_cast<int>(a.size());
}

Text trim_spaces(std::string_view t) {
    std::size_t begin = 0;
    while (begin < t.size()) {
        std::size_t s = space_length(t, begin);
        if (s == 0) {
            break;
        }
        begin += s;
    }
    std::size_t end = begin; // just after the last unit that is not a space
    std::size_t i = begin;
    while (i < t.size()) {
        if (is_broken_unit(t, i)) {
            // The broken unit goes; the spaces in front of it stay.
            return Text(t.substr(begin, i - begin));
        }
        std::size_t s = space_length(t, i);
        if (s != 0) {
            i += s;
        } else {
            i += unit_length(t, i);
            end = i;
        }
    }
    return Text(t.substr(begin, end - begin));
}

Text remove_spaces(std::string_view t) {
    Text out;
    out.reserve(t.size());
    std::size_t i = 0;
    while (i < t.size()) {
        if (is_broken_unit(t, i)) {
            break;
        }
        std::size_t s = space_length(t, i);
        if (s != 0) {
            i += s;
            continue;
        }
        std::size_t u = unit_length(t, i);
        out.append(t.substr(i, u));
        i += u;
    }
    return out;
}

Text to_lower(std::string_view t) {
    Text out(t);
    for (std::size_t i = 0; i < out.size(); i += unit_length(t, i)) {
        if (byte_at(t, i) < 0x80) {
            out[i] = static_cast<char>(fold_ascii(byte_at(t, i)));
        }
    }
    return out;
}

Text text_between(std::string_view text, std::string_view start_marker, std::string_view end_marker,
                  std::optional<int> start, bool ignore_case) {
    static constexpr std::string_view quote_placeholder = "#\xD2\xFD\xBA\xC5"; // "#引号"
    Text a = replace_text(start_marker, quote_placeholder, "\"");
    Text b = replace_text(end_marker, quote_placeholder, "\"");
    int p = find_text(text, a, start, ignore_case);
    if (p == -1) {
        return {};
    }
    p += text_length(a);
    int q = find_text(text, b, p, ignore_case);
    if (q == -1) {
        return {};
    }
    return text_mid(text, p, q - p);
}

Text blank_text(int n) {
    return n < 1 ? Text() : Text(static_cast<std::size_t>(n), ' ');
}

// Numbers

double to_number(std::string_view t) {
    const std::string s = fold_full_width(t);
    std::size_t i = skip_white(s);
    const std::size_t first = i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        ++i;
    }
    bool digits = false;
    bool point = false;
    while (i < s.size()) {
        if (is_digit(s[i])) {
            digits = true;
        } else if (s[i] == '.' && !point) {
            point = true;
        } else {
            break;
        }
        ++i;
    }
    if (!digits) {
        return 0.0;
    }
    // The exponent counts only when at least one digit follows "e" and its sign.
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
            ++j;
        }
        if (j < s.size() && is_digit(s[j])) {
            while (j < s.size() && is_digit(s[j])) {
                ++j;
            }
            i = j;
        }
    }
    return parse_c_double(s.substr(first, i - first));
}

std::int32_t to_int(std::string_view t) {
    const std::string s = fold_full_width(t);
    std::size_t i = skip_white(s);
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    std::uint32_t value = 0; // wraps modulo 2^32 without an overflow check
    while (i < s.size() && is_digit(s[i])) {
        value = value * 10u + static_cast<std::uint32_t>(s[i] - '0');
        ++i;
    }
    if (negative) {
        value = 0u - value;
    }
    return static_cast<std::int32_t>(value);
}

Text number_to_text(std::int32_t x) {
    return std::to_string(x);
}

Text number_to_text(std::int64_t x) {
    return std::to_string(x);
}

Text number_to_text(double x) {
    // to_chars is "%.13g" in the "C" locale, whatever locale the process runs in.
    char buffer[64];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::general, 13);
    return Text(buffer, r.ptr);
}

// Dates and clocks

Text datetime_to_text(const DateTime& d) {
    // 年 月 日 时 分 秒 in code page 936.
    static constexpr std::string_view year = "\xC4\xEA", month = "\xD4\xC2", day = "\xC8\xD5",
                                      hour = "\xCA\xB1", minute = "\xB7\xD6", second = "\xC3\xEB";
    Text out = join_texts(
        {std::to_string(d.year), year, std::to_string(d.month), month, std::to_string(d.day), day});
    if (d.second != 0) {
        out += join_texts({std::to_string(d.hour), hour, std::to_string(d.minute), minute,
                           std::to_string(d.second), second});
    } else if (d.minute != 0) {
        out += join_texts({std::to_string(d.hour), hour, std::to_string(d.minute), minute});
    } else if (d.hour != 0) {
        out += join_texts({std::to_string(d.hour), hour});
    }
    return out;
}

DateTime now() {
    std::time_t seconds = std::time(nullptr);
    std::tm local{};
    localtime_r(&seconds, &local);
    return DateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                    local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::int32_t uptime_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    std::uint64_t ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                       static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(ms));
}

// Bytes

Bytes text_to_bytes(std::string_view t) {
    return Bytes(t.begin(), t.end());
}

Text bytes_to_text(const Bytes& b) {
    auto end = std::find(b.begin(), b.end(), std::uint8_t{0});
    return Text(b.begin(), end);
}

int bytes_length(const Bytes& b) {
    return static_cast<int>(b.size());
}

Bytes bytes_left(const Bytes& b, int n) {
    if (n <= 0) {
        return {};
    }
    std::size_t k = std::min<std::size_t>(static_cast<std::size_t>(n), b.size());
    return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(k));
}

int compare_bytes(const std::uint8_t* a, const std::uint8_t* b, int n) {
    if (n <= 0) {
        return 0;
    }
    int r = std::memcmp(a, b, static_cast<std::size_t>(n));
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

Bytes replace_bytes(const Bytes& b, const Bytes& sought, const Bytes& replacement,
                    std::optional<int> count) {
    if (b.empty() || sought.empty() || (count && *count == 0)) {
        return b;
    }
    // A negative count, like an omitted one, replaces every occurrence.
    const bool all = !count || *count < 0;
    int left = all ? 0 : *count;
    Bytes out;
    out.reserve(b.size());
    auto it = b.begin();
    while (all || left > 0) {
        auto hit = std::search(it, b.end(), sought.begin(), sought.end());
        if (hit == b.end()) {
            break;
        }
        out.insert(out.end(), it, hit);
        out.insert(out.end(), replacement.begin(), replacement.end());
        it = hit + static_cast<std::ptrdiff_t>(sought.size());
        --left;
    }
    out.insert(out.end(), it, b.end());
    return out;
}

Bytes join_bytes(std::initializer_list<const Bytes*> parts) {
    Bytes out;
    for (const Bytes* p : parts) {
        if (p != nullptr) {
            out.insert(out.end(), p->begin(), p->end());
        }
    }
    return out;
}

Bytes blank_bytes(int n) {
    return n <= 0 ? Bytes() : Bytes(static_cast<std::size_t>(n), 0);
}

} // namespace quillmoor
