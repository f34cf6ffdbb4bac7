#include "net/url_encoding.h"

namespace quillmoor {

Text encode_unsafe_url_bytes(std::string_view url) {
    static constexpr char hex[] = "0123456789ABCDEF";
    Text out;
    out.reserve(url.size());
    for (const char c : url) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F) {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace quillmoor
