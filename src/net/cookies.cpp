#include "net/cookies.h"

namespace quillmoor {

namespace {

constexpr std::string_view kDeletedEnding = "=deleted";

// Joins the entries that do not end in "=deleted" with "; " between them.
Text join_entries(const TextArray& entries) {
    Text out;
    for (const Text& entry : entries) {
        if (text_right(entry, text_length(kDeletedEnding)) == kDeletedEnding) {
            continue;
        }
        out += entry;
        out += "; ";
    }
    return text_left(out, text_length(out) - 2);
}

} // namespace

Text merge_cookies(Text& old_cookies, Text& new_cookies) {
    old_cookies = remove_spaces(old_cookies);
    new_cookies = remove_spaces(new_cookies);
    const TextArray old_entries = split_text(old_cookies, ";");
    TextArray entries = split_text(new_cookies, ";");
    for (const Text& entry : old_entries) {
        if (!cookie_name_listed(entries, cookie_name(entry))) {
            entries.push_back(entry);
        }
    }
    old_cookies = dedupe_members(join_entries(entries), "; ");
    return old_cookies;
}

Text cookie_name(const Text& entry) {
    const int equals = find_text(entry, "=");
    return trim_spaces(equals == -1 ? entry : text_left(entry, equals - 1));
}

bool cookie_name_listed(const TextArray& entries, const Text& name) {
    for (const Text& entry : entries) {
        if (compare_text(cookie_name(entry), name) == 0) {
            return true;
        }
    }
    return false;
}

Text dedupe_members(const Text& text, const Text& delimiter) {
    TextArray seen;
    Text out;
    for (const Text& member : split_text(text, delimiter)) {
        if (member_index(seen, member) == -1) {
            seen.push_back(member);
            out += member;
            out += delimiter;
        }
    }
    return text_left(out, text_length(out) - text_length(delimiter));
}

int member_index(const TextArray& members, const Text& text) {
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (compare_text(members[i], text) == 0) {
            return static_cast<int>(i) + 1;
        }
    }
    return -1;
}

} // namespace quillmoor
