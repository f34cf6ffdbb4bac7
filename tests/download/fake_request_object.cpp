#include "fake_request_object.h"

namespace quillmoor::testing {

FakeAnswer range_answer(std::int64_t first, std::int64_t size, std::int64_t total, int waits) {
    FakeAnswer a;
    a.content_range = "bytes " + std::to_string(first) + "-" + std::to_string(first + size - 1) +
                      "/" + std::to_string(total);
    a.body.assign(static_cast<std::size_t>(size), static_cast<char>('a' + first % 26));
    a.waits = waits;
    return a;
}

void FakeRequestObject::open(std::string_view, std::string_view url, bool) {
    urls.emplace_back(url);
    headers.emplace_back();
    ready_ = 1;
    body_.clear();
}

void FakeRequestObject::setRequestHeader(std::string_view name, std::string_view value) {
    headers.back().emplace_back(name, value);
}

void FakeRequestObject::send() {
    if (script.empty()) {
        answer_ = FakeAnswer{599, "", "", 0, 10}; // more requests than scripted
    } else {
        answer_ = script.front();
        script.pop_front();
    }
    waits_left_ = answer_.waits;
    ready_ = waits_left_ == 0 ? 4 : 2;
    if (ready_ == 4)
        body_.assign(answer_.body.begin(), answer_.body.end());
}

bool FakeRequestObject::waitForResponse(int) {
    if (on_wait)
        on_wait();
    if (ready_ != 2)
        return ready_ == 4;
    // A tick counter: wraps at 2^32 like the real one.
    clock_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(clock_) +
                                       static_cast<std::uint32_t>(answer_.ms_per_wait));
    if (waits_left_ > 0 && --waits_left_ == 0) {
        ready_ = 4;
        body_.assign(answer_.body.begin(), answer_.body.end());
    }
    return ready_ == 4;
}

void FakeRequestObject::abort() {
    ++aborts;
    ready_ = 0;
    body_.clear();
}

Text FakeRequestObject::getResponseHeader(std::string_view name) {
    if (ready_ == 4 && name == "Content-Range")
        return answer_.content_range;
    return {};
}

} // namespace quillmoor::testing
