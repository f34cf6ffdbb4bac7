// One HTTP or HTTPS request, blocking until the whole body has been read.
#pragma once

#include "text/text.h"

namespace quillmoor {

// Every parameter after url may be omitted. The pointer parameters are in/out or out values:
// a null pointer is an omitted parameter. A supplied cookies text (even an empty one) switches
// off the shared cookie store and receives the merged cookies. header_lines, post_bytes and
// the out-values are written only once the request has been opened.
// Returns the response body; empty when the request could not be opened.
Bytes http_request(const Text& url, int method = 0, const Text& post_text = {},
                   Text* cookies = nullptr, Text* returned_cookies = nullptr,
                   Text* header_lines = nullptr, Text* returned_headers = nullptr,
                   bool no_redirect = false, Bytes* post_bytes = nullptr,
                   const Text& proxy = {});

// The part of text after its first ":", trimmed; empty when text has no ":".
Text header_line_value(const Text& text);

} // namespace quillmoor
