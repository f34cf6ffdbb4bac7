#include "net/curl_handles.h"

#include "net/wait_hook.h"

#include <array>
#include <mutex>
#include <string>
#include <utility>

namespace quillmoor {

namespace {

struct CurlGlobal {
    CurlGlobal() : ok(curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK) {}
    ~CurlGlobal() {
        if (ok) {
            curl_global_cleanup();
        }
    }
    CurlGlobal(const CurlGlobal&) = delete;
    CurlGlobal& operator=(const CurlGlobal&) = delete;
    bool ok;
};

// One mutex per kind of shared data, as the share's lock callbacks ask for.
class CookieShare {
public:
    CookieShare() {
        if (!curl_ready()) {
            return;
        }
        share_ = curl_share_init();
        if (share_ == nullptr) {
            return;
        }
        const bool ok =
            curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, &CookieShare::lock) == CURLSHE_OK &&
            curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, &CookieShare::unlock) == CURLSHE_OK &&
            curl_share_setopt(share_, CURLSHOPT_USERDATA, this) == CURLSHE_OK &&
            curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE) == CURLSHE_OK;
        if (!ok) {
            curl_share_cleanup(share_);
            share_ = nullptr;
        }
    }
    ~CookieShare() {
        if (share_ != nullptr) {
            curl_share_cleanup(share_);
        }
    }
    CookieShare(const CookieShare&) = delete;
    CookieShare& operator=(const CookieShare&) = delete;

    CURLSH* get() const { return share_; }

private:
    static void lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
        static_cast<CookieShare*>(self)->mutexes_[index(data)].lock();
    }
    static void unlock(CURL*, curl_lock_data data, void* self) {
        static_cast<CookieShare*>(self)->mutexes_[index(data)].unlock();
    }
    static std::size_t index(curl_lock_data data) {
        const auto i = static_cast<std::size_t>(data);
        return i < kinds ? i : 0;
    }

    static constexpr std::size_t kinds = CURL_LOCK_DATA_LAST;
    std::array<std::mutex, kinds> mutexes_;
    CURLSH* share_ = nullptr;
};

} // namespace

bool curl_ready() {
    static const CurlGlobal global;
    return global.ok;
}

void CurlEasyDeleter::operator()(CURL* easy) const noexcept {
    curl_easy_cleanup(easy);
}

void CurlMultiDeleter::operator()(CURLM* multi) const noexcept {
    curl_multi_cleanup(multi);
}

CurlEasy make_curl_easy() {
    return CurlEasy(curl_ready() ? curl_easy_init() : nullptr);
}

CurlMulti make_curl_multi() {
    return CurlMulti(curl_ready() ? curl_multi_init() : nullptr);
}

CurlSlist::CurlSlist(CurlSlist&& other) noexcept : list_(std::exchange(other.list_, nullptr)) {}

CurlSlist& CurlSlist::operator=(CurlSlist&& other) noexcept {
    if (this != &other) {
        curl_slist_free_all(list_);
        list_ = std::exchange(other.list_, nullptr);
    }
    return *this;
}

CurlSlist::~CurlSlist() {
    curl_slist_free_all(list_);
}

bool CurlSlist::append(std::string_view entry) {
    const std::string copy(entry);
    curl_slist* grown = curl_slist_append(list_, copy.c_str());
    if (grown == nullptr) {
        return false;
    }
    list_ = grown;
    return true;
}

CURLSH* shared_cookie_store() {
    static CookieShare share;
    return share.get();
}

CurlTransfer::CurlTransfer(CURL* easy) : easy_(easy), multi_(make_curl_multi()) {
    if (easy_ == nullptr || multi_ == nullptr ||
        curl_multi_add_handle(multi_.get(), easy_) != CURLM_OK) {
        done_ = true;
        return;
    }
    attached_ = true;
}

CurlTransfer::~CurlTransfer() {
    if (attached_) {
        curl_multi_remove_handle(multi_.get(), easy_);
    }
}

bool CurlTransfer::check_done() {
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_.get(), &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy_) {
            result_ = message->data.result;
            done_ = true;
        }
    }
    return done_;
}

bool CurlTransfer::advance(int timeout_ms) {
    if (done_) {
        return true;
    }
    int running = 0;
    if (curl_multi_perform(multi_.get(), &running) != CURLM_OK) {
        done_ = true;
        return true;
    }
    if (check_done()) {
        return true;
    }
    if (running == 0) {
        // Finished without a completion message: count it as failed.
        done_ = true;
        return true;
    }
    if (curl_multi_poll(multi_.get(), nullptr, 0, timeout_ms, nullptr) != CURLM_OK) {
        done_ = true;
        return true;
    }
    return false;
}

CURLcode run_transfer(CURL* easy) {
    CurlTransfer transfer(easy);
    while (!transfer.advance(50)) {
        call_wait_hook();
    }
    return transfer.result();
}

} // namespace quillmoor
