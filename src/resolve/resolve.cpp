#include "resolve/resolve.h"

#include "net/http_request.h"
#include "resolve/unescape.h"
#include "text/codepage.h"

#include <cstdlib>

namespace quillmoor {

namespace {

// The labels of the results box, in code page 936.
const Text& label(int which) {
    static const std::array<Text, 4> labels = {
        utf8_to_cp936("文件名称："), utf8_to_cp936("文件尺寸："), utf8_to_cp936("文件 MD5："),
        utf8_to_cp936("文件地址：")};
    return labels[std::size_t(which)];
}

bool is_lead_byte(unsigned char b) {
    return b >= 0x81 && b <= 0xFE;
}
bool is_trail_byte(unsigned char b) {
    return b >= 0x40 && b <= 0xFE && b != 0x7F;
}

} // namespace

Text resolver_host_from_environment() {
    const char* host = std::getenv("QUILLMOOR_RESOLVER");
    return host != nullptr && *host != '\0' ? Text(host) : Text(default_resolver_host);
}

Text fetch_page_text(const Text& url) {
    return bytes_to_text(http_request(url));
}

ShareFacts resolve_share(const Text& resolver_host, const Text& share_link) {
    ShareFacts facts;
    facts.response_text =
        fetch_page_text(join_texts({"http://", resolver_host, "/baidu/?url=", share_link}));
    const Text& answer = facts.response_text;
    facts.file_name = unescape_text(text_between(answer, "\"name\": \"", "\", "));
    facts.file_size = text_between(answer, "\"size\": \"", "\"");
    facts.download_url = text_between(answer, "\"download\": \"", "\", ");
    facts.file_md5 = text_between(answer, "\"md5\": \"", "\", ");
    return facts;
}

std::array<Text, 4> result_lines(const ShareFacts& facts) {
    return {join_texts({"\r\n", label(0), facts.file_name, "\r\n"}),
            join_texts({"\r\n", label(1), facts.file_size, "\r\n"}),
            join_texts({"\r\n", label(2), facts.file_md5, "\r\n"}),
            join_texts({"\r\n", label(3), facts.download_url, "\r\n"})};
}

Text safe_file_name(const Text& name) {
    if (name == ".")
        return "_";
    if (name == "..")
        return "__";
    Text safe;
    safe.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto b = static_cast<unsigned char>(name[i]);
        // A double-byte character is kept whole: its second byte may be 0x5C or 0x7C without
        // being a separator. A lead byte without a proper second byte stands alone.
        if (is_lead_byte(b) && i + 1 < name.size() &&
            is_trail_byte(static_cast<unsigned char>(name[i + 1]))) {
            safe += name[i];
            safe += name[++i];
        } else if (b < 0x20 || b == 0x7F || b == '/' || b == '\\') {
            safe += '_';
        } else {
            safe += name[i];
        }
    }
    return safe;
}

} // namespace quillmoor
