// Owners for libcurl's handles and a runner that drives one transfer through curl's multi
// interface while keeping the wait hook called, so that a window stays painted. Shared by the
// request routine's layer and the downloader's request object. Nothing here throws.
#pragma once

#include <curl/curl.h>

#include <memory>
#include <string_view>

namespace quillmoor {

// Runs curl_global_init once for the process, on first use; false when it failed. Every
// make_* function below calls it.
bool curl_ready();

struct CurlEasyDeleter {
    void operator()(CURL* easy) const noexcept;
};
struct CurlMultiDeleter {
    void operator()(CURLM* multi) const noexcept;
};

// An easy handle freed with its owner (curl_easy_cleanup).
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;
// A multi handle freed with its owner (curl_multi_cleanup).
using CurlMulti = std::unique_ptr<CURLM, CurlMultiDeleter>;

// A new handle, or null when curl cannot be initialised or memory runs out.
CurlEasy make_curl_easy();
CurlMulti make_curl_multi();

// A curl_slist built entry by entry and freed with its owner. Move-only.
class CurlSlist {
public:
    CurlSlist() = default;
    CurlSlist(CurlSlist&& other) noexcept;
    CurlSlist& operator=(CurlSlist&& other) noexcept;
    CurlSlist(const CurlSlist&) = delete;
    CurlSlist& operator=(const CurlSlist&) = delete;
    ~CurlSlist();

    // Appends a copy of entry; false (list unchanged) when memory runs out.
    bool append(std::string_view entry);
    // The list for curl_easy_setopt; null while empty.
    curl_slist* get() const { return list_; }

private:
    curl_slist* list_ = nullptr;
};

// The process-wide in-memory cookie store (a share of CURL_LOCK_DATA_COOKIE, safe to use from
// several threads). A handle joins it with CURLOPT_SHARE and switches the cookie engine on with
// CURLOPT_COOKIEFILE "". Null when it cannot be made.
CURLSH* shared_cookie_store();

// One transfer of an easy handle on a multi handle of its own. The easy handle must outlive
// the transfer; the destructor detaches it (stopping a transfer still running).
class CurlTransfer {
public:
    explicit CurlTransfer(CURL* easy);
    CurlTransfer(const CurlTransfer&) = delete;
    CurlTransfer& operator=(const CurlTransfer&) = delete;
    ~CurlTransfer();

    // Moves the transfer on; when it is not done, waits at most timeout_ms for socket activity
    // (curl_multi_poll: it returns at once when a socket becomes ready). True once done.
    bool advance(int timeout_ms);
    bool done() const { return done_; }
    // The outcome once done: CURLE_OK for a transfer that completed. A transfer that could not
    // be started is done at once with an error.
    CURLcode result() const { return result_; }

private:
    bool check_done();

    CURL* easy_;
    CurlMulti multi_;
    bool attached_ = false;
    bool done_ = false;
    CURLcode result_ = CURLE_FAILED_INIT;
};

// Runs a transfer of easy to its end, calling the wait hook between steps (about every 50 ms
// while nothing arrives). Returns its outcome.
CURLcode run_transfer(CURL* easy);

} // namespace quillmoor
