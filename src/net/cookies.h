// Merging the cookies a response set into a cookie text the caller keeps.
//
// A cookie text holds name=value entries separated by ";" (the merged text uses "; "). An
// entry's name is the part before its first "="; names and entries compare byte for byte.
#pragma once

#include "text/text.h"

namespace quillmoor {

// Removes every space from both texts (written back), then sets old_cookies to the new
// entries in the order received followed by the old entries whose names the new ones do not
// set; entries ending in "=deleted" are dropped and exact repeats removed. Returns a copy of
// the merged text.
Text merge_cookies(Text& old_cookies, Text& new_cookies);

// The text before the first "=" (the whole entry without one), trimmed.
Text cookie_name(const Text& entry);

// Whether some entry has this name.
bool cookie_name_listed(const TextArray& entries, const Text& name);

// The members of text (split at delimiter) without repeats, joined by delimiter.
Text dedupe_members(const Text& text, const Text& delimiter);

// 1-based index of the first member equal to text, or -1.
int member_index(const TextArray& members, const Text& text);

} // namespace quillmoor
