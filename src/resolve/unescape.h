// Decoding of file names that the resolver writes with \uXXXX escapes.
#pragma once

#include "text/text.h"

namespace quillmoor {

// The name turned into local text: CR LF pairs and apostrophes are protected, "\u" becomes
// "%u", the result is read as the body of a single-quoted script string literal and then
// decoded like the script function unescape (%uXXXX and %XX). The result ends at its first
// NUL character; characters that code page 936 cannot hold become "?". A text that is not a
// valid literal body gives the empty text.
Text unescape_text(const Text& text);

} // namespace quillmoor
