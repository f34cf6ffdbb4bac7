// The HTTP side of quillmoor-share: answers "/baidu/?url=LINK" with the shared file's details
// and serves each file's bytes at "/d/CODE" with range support.
#pragma once

#include "share_catalog.h"

#include <memory>
#include <string>
#include <string_view>

namespace quillmoor::share {

// The name as a JSON string body: ASCII letters as they are, every other character (and the
// quote, backslash, percent sign and control characters) as \u escapes of its UTF-16 units,
// so that the client's decoder gives the name back unchanged. Bytes that are not UTF-8 count
// as U+FFFD.
std::string json_name(std::string_view utf8_name);

// The answer for a known share: "name", "size", "download", "md5", then "share".
std::string share_answer(const ShareEntry& entry, std::string_view download_address);

class ShareServer {
public:
    explicit ShareServer(ShareCatalog catalog);
    ~ShareServer();
    ShareServer(const ShareServer&) = delete;
    ShareServer& operator=(const ShareServer&) = delete;

    // Binds host:port; port 0 takes a free port. The bound port, or -1 on failure.
    int bind(const std::string& host, int port);
    // Serves until stop() is called; false when it could not serve.
    bool run();
    // Binds host:port and serves on a thread of its own; returns once connections are
    // accepted, with the bound port, or -1 when it cannot serve.
    int start(const std::string& host, int port);
    // Ends serving (and joins the thread of start()).
    void stop();
    // True once run() accepts connections.
    bool is_running() const;

    const ShareCatalog& catalog() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace quillmoor::share
