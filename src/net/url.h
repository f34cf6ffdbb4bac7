// Taking a URL apart into host, port and object path for the request routine. Only the steps
// below are applied: no percent decoding, no user information, no bracketed addresses.
#pragma once

#include "text/text.h"

#include <optional>

namespace quillmoor {

// The host of url, lower-cased, without scheme and path. main_domain keeps only the last
// labels; keep_port keeps ":port" after the host. Whether label_count is supplied picks the
// way the host is found: omitted, the text after "http://" or "https://" up to the next "/";
// supplied, every scheme marker is removed and the last label_count + 2 labels are kept
// (label_count + 1 with main_domain).
Text url_host(const Text& url, bool main_domain = false, bool keep_port = false,
              std::optional<int> label_count = {});

// The port written after the host; without one 443 for "https" URLs, else 80. A colon without
// a number gives 0.
int url_port(const Text& url);

// The object path with its query, from the first "/" at or after the host, in the URL's own
// letter case; "/" when there is none.
Text url_path(const Text& url);

} // namespace quillmoor
