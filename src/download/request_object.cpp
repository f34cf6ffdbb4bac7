// The request object over libcurl's multi interface: one easy handle and one multi handle live
// as long as the object, so every block of every transfer reuses the same connection.
#include "download/request_object.h"

#include "net/curl_handles.h"
#include "net/url_encoding.h"
#include "net/wait_hook.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

namespace quillmoor {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr std::size_t body_reserve = 256 * 1024; // the largest block is 255 KB
constexpr std::size_t body_limit = 32 * 1024 * 1024;
constexpr auto hook_interval = std::chrono::milliseconds(20);

bool has_control_byte(std::string_view s) {
    return std::any_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

bool header_name_is(std::string_view line, std::string_view name) {
    if (line.size() <= name.size() || line[name.size()] != ':')
        return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        };
        if (lower(line[i]) != lower(name[i]))
            return false;
    }
    return true;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() &&
           (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

class CurlRequestObject final : public RequestObject {
public:
    CurlRequestObject(CurlEasy easy, CurlMulti multi);
    ~CurlRequestObject() override { detach(); }
    CurlRequestObject(const CurlRequestObject&) = delete;
    CurlRequestObject& operator=(const CurlRequestObject&) = delete;

    void open(std::string_view method, std::string_view url, bool async) override;
    void setRequestHeader(std::string_view name, std::string_view value) override;
    void send() override;
    int readyState() override { return ready_state_; }
    bool waitForResponse(int ms) override;
    void abort() override;
    int status() override { return status_; }
    Text statusText() override { return status_text_; }
    const Bytes& responseBody() override { return body_; }
    Text getResponseHeader(std::string_view name) override;

private:
    static std::size_t on_body(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t on_header(char* data, std::size_t size, std::size_t count, void* self);
    void clear_answer();
    void detach();
    bool check_done();

    CurlEasy easy_;
    CurlMulti multi_;
    bool attached_ = false;
    int ready_state_ = 0; // 0 unsent, 1 opened, 2 sent, 4 complete
    std::string last_url_;
    bool url_taken_ = false; // whether curl accepted last_url_
    std::string method_;
    // Header lines and the list nodes that point at them, kept between requests so that a
    // block's request allocates nothing once they have grown.
    std::vector<std::string> header_lines_;
    std::vector<curl_slist> header_nodes_;
    std::size_t header_count_ = 0;

    int status_ = 0;
    Text status_text_;
    std::string response_headers_;
    Bytes body_;
    bool body_too_long_ = false;
    SteadyClock::time_point last_hook_{};
};

CurlRequestObject::CurlRequestObject(CurlEasy easy, CurlMulti multi)
    : easy_(std::move(easy)), multi_(std::move(multi)) {
    CURL* e = easy_.get();
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &CurlRequestObject::on_body);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &CurlRequestObject::on_header);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
    // http and https only, for the first request and for every redirect.
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    // The program reads no environment: no proxy from http_proxy and the like.
    curl_easy_setopt(e, CURLOPT_PROXY, "");
    curl_easy_setopt(e, CURLOPT_BUFFERSIZE, 128L * 1024L);
    body_.reserve(body_reserve);
    response_headers_.reserve(4096);
    status_text_.reserve(64);
}

void CurlRequestObject::clear_answer() {
    status_ = 0;
    status_text_.clear();
    response_headers_.clear();
    body_.clear();
    if (body_.capacity() > 4 * body_reserve) {
        Bytes().swap(body_); // give back what an oversized answer took
        body_.reserve(body_reserve);
    }
    body_too_long_ = false;
}

void CurlRequestObject::detach() {
    if (attached_) {
        curl_multi_remove_handle(multi_.get(), easy_.get());
        attached_ = false;
    }
}

void CurlRequestObject::open(std::string_view method, std::string_view url, bool) {
    detach();
    clear_answer();
    header_count_ = 0;
    ready_state_ = 0;
    if (method != method_) {
        method_.assign(method);
        CURL* e = easy_.get();
        curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, nullptr);
        curl_easy_setopt(e, CURLOPT_NOBODY, 0L);
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
        if (method_ == "HEAD")
            curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
        else if (method_ != "GET")
            curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, method_.c_str());
    }
    if (url != last_url_) {
        last_url_.assign(url);
        // Unsafe bytes (space, control bytes, code page 936 text) travel as %XX.
        url_taken_ = curl_easy_setopt(easy_.get(), CURLOPT_URL,
                                      encode_unsafe_url_bytes(url).c_str()) == CURLE_OK;
        if (!url_taken_)
            last_url_.clear();
    }
    ready_state_ = 1;
}

void CurlRequestObject::setRequestHeader(std::string_view name, std::string_view value) {
    if (ready_state_ != 1 || name.empty() || has_control_byte(name) || has_control_byte(value) ||
        name.find(':') != std::string_view::npos)
        return;
    if (header_count_ == header_lines_.size())
        header_lines_.emplace_back();
    std::string& line = header_lines_[header_count_++];
    line.assign(name);
    if (value.empty()) {
        line += ';'; // curl's form for a header sent with an empty value
    } else {
        line += ": ";
        line += value;
    }
}

void CurlRequestObject::send() {
    if (ready_state_ != 1)
        return;
    header_nodes_.resize(header_count_);
    for (std::size_t i = 0; i < header_count_; ++i) {
        header_nodes_[i].data = header_lines_[i].data();
        header_nodes_[i].next = i + 1 < header_count_ ? &header_nodes_[i + 1] : nullptr;
    }
    curl_easy_setopt(easy_.get(), CURLOPT_HTTPHEADER,
                     header_count_ > 0 ? header_nodes_.data() : nullptr);
    if (!url_taken_ || curl_multi_add_handle(multi_.get(), easy_.get()) != CURLM_OK) {
        ready_state_ = 4; // a failed request: status 0, nothing received
        return;
    }
    attached_ = true;
    ready_state_ = 2;
    int running = 0;
    curl_multi_perform(multi_.get(), &running); // starts connecting; does not wait
    check_done();
}

bool CurlRequestObject::check_done() {
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi_.get(), &left)) {
        if (msg->msg != CURLMSG_DONE || msg->easy_handle != easy_.get())
            continue;
        const CURLcode result = msg->data.result;
        detach();
        ready_state_ = 4;
        if (result == CURLE_OK || body_too_long_) {
            long code = 0;
            curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &code);
            status_ = static_cast<int>(code);
            if (body_too_long_)
                body_.clear(); // status and headers stay: the answer was too long to keep
        } else {
            clear_answer();
        }
        return true;
    }
    return false;
}

bool CurlRequestObject::waitForResponse(int ms) {
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(std::max(ms, 0));
    while (attached_) {
        int running = 0;
        curl_multi_perform(multi_.get(), &running);
        if (check_done())
            break;
        auto now = SteadyClock::now();
        if (now - last_hook_ >= hook_interval) {
            last_hook_ = now;
            call_wait_hook(); // may abort this request
            if (!attached_)
                break;
            now = SteadyClock::now();
        }
        if (now >= deadline)
            break;
        const auto until = std::min(deadline, last_hook_ + hook_interval);
        const auto wait =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count() + 1;
        curl_multi_poll(multi_.get(), nullptr, 0, static_cast<int>(wait), nullptr);
    }
    return ready_state_ == 4;
}

void CurlRequestObject::abort() {
    detach();
    clear_answer();
    ready_state_ = 0;
}

Text CurlRequestObject::getResponseHeader(std::string_view name) {
    std::string_view rest = response_headers_;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        if (header_name_is(line, name))
            return Text(trim(line.substr(name.size() + 1)));
        if (end == std::string_view::npos)
            break;
        rest.remove_prefix(end + 1);
    }
    return {};
}

std::size_t CurlRequestObject::on_body(char* data, std::size_t size, std::size_t count,
                                       void* self) {
    auto& object = *static_cast<CurlRequestObject*>(self);
    const std::size_t n = size * count;
    if (object.body_.size() + n > body_limit) {
        object.body_too_long_ = true;
        return 0; // ends the transfer
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
    object.body_.insert(object.body_.end(), bytes, bytes + n);
    return n;
}

std::size_t CurlRequestObject::on_header(char* data, std::size_t size, std::size_t count,
                                         void* self) {
    auto& object = *static_cast<CurlRequestObject*>(self);
    const std::size_t n = size * count;
    const std::string_view line(data, n);
    if (line.starts_with("HTTP/")) {
        // A new answer (after a redirect or an interim 1xx): forget the previous one's headers.
        object.response_headers_.clear();
        object.status_text_.clear();
        // "HTTP/1.1 404 Not Found": the reason phrase follows the code.
        const std::size_t code = line.find(' ');
        if (code != std::string_view::npos) {
            const std::size_t reason = line.find(' ', code + 1);
            if (reason != std::string_view::npos)
                object.status_text_.assign(trim(line.substr(reason + 1)));
        }
        return n;
    }
    object.response_headers_.append(line);
    return n;
}

} // namespace

std::shared_ptr<RequestObject> create_request_object() {
    CurlEasy easy = make_curl_easy();
    CurlMulti multi = make_curl_multi();
    if (!easy || !multi)
        return nullptr;
    return std::make_shared<CurlRequestObject>(std::move(easy), std::move(multi));
}

} // namespace quillmoor
