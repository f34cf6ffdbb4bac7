// The resolve command: ask the resolver service about a share link and pick the shared file's
// name, size, MD5 and download address out of its answer.
#pragma once

#include "text/text.h"

#include <array>

namespace quillmoor {

// What one resolve learns; the program keeps the last one in its globals.
struct ShareFacts {
    Text response_text; // the resolver's whole answer, up to its first NUL byte
    Text file_name;     // decoded name, as the results box shows it
    Text file_size;     // as the answer writes it
    Text download_url;  // verbatim
    Text file_md5;      // verbatim
};

// The resolver host used when the user names none: the local resolver service.
inline constexpr const char* default_resolver_host = "127.0.0.1:18936";

// QUILLMOOR_RESOLVER when it is set and not empty, else default_resolver_host.
Text resolver_host_from_environment();

// GETs url and returns the body up to its first NUL byte; empty when the request fails.
Text fetch_page_text(const Text& url);

// "http://" + host + "/baidu/?url=" + share_link, fetched and read into its four fields.
ShareFacts resolve_share(const Text& resolver_host, const Text& share_link);

// The four pieces appended to the results box, each beginning and ending with "\r\n".
std::array<Text, 4> result_lines(const ShareFacts& facts);

// A name that cannot lead a download outside its folder: separators and control bytes
// replaced, "." and ".." as whole names made harmless.
Text safe_file_name(const Text& name);

} // namespace quillmoor
