// Making a URL fit to travel in a request line.
#pragma once

#include "text/text.h"

#include <string_view>

namespace quillmoor {

// url with every byte that cannot travel in a request line written as %XX (upper-case hex):
// control bytes, the space, DEL and every byte of 0x80 or above (so code page 936 text in a
// path goes out as its bytes, escaped). Every other byte stays as it is, "%" included, so an
// escape already in the URL ("%41") is kept, not escaped again.
Text encode_unsafe_url_bytes(std::string_view url);

} // namespace quillmoor
