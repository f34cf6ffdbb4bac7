#include "download/content_range.h"

namespace quillmoor {
namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

void skip_spaces(std::string_view& s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
}

// Reads a run of decimal digits from the front of s.
std::optional<std::int64_t> take_number(std::string_view& s) {
    std::int64_t value = 0;
    std::size_t n = 0;
    while (n < s.size() && is_digit(s[n])) {
        if (n == 18)
            return std::nullopt; // would overflow
        value = value * 10 + (s[n] - '0');
        ++n;
    }
    if (n == 0)
        return std::nullopt;
    s.remove_prefix(n);
    return value;
}

bool take(std::string_view& s, char c) {
    if (s.empty() || s.front() != c)
        return false;
    s.remove_prefix(1);
    return true;
}

bool take_unit(std::string_view& s) {
    constexpr std::string_view unit = "bytes";
    if (s.size() < unit.size())
        return false;
    for (std::size_t i = 0; i < unit.size(); ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != unit[i])
            return false;
    }
    s.remove_prefix(unit.size());
    return !s.empty() && (s.front() == ' ' || s.front() == '\t');
}

} // namespace

std::optional<ContentRange> parse_content_range(std::string_view s) {
    skip_spaces(s);
    if (!take_unit(s))
        return std::nullopt;
    skip_spaces(s);
    ContentRange range;
    if (take(s, '*')) {
        range.unsatisfied = true;
    } else {
        const auto first = take_number(s);
        if (!first || !take(s, '-'))
            return std::nullopt;
        const auto last = take_number(s);
        if (!last || *last < *first)
            return std::nullopt;
        range.first = *first;
        range.last = *last;
    }
    if (!take(s, '/'))
        return std::nullopt;
    if (take(s, '*')) {
        if (range.unsatisfied)
            return std::nullopt; // "*/*" says nothing
    } else {
        const auto total = take_number(s);
        if (!total || (!range.unsatisfied && *total <= range.last))
            return std::nullopt;
        range.total = *total;
    }
    skip_spaces(s);
    if (!s.empty())
        return std::nullopt;
    return range;
}

} // namespace quillmoor
