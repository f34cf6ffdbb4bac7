// A request object of our own whose answers, timing and waits a test scripts, for what a real
// server cannot show: a block that never completes, one that completes within a millisecond,
// a stop that arrives while the downloader waits.
#pragma once

#include "download/request_object.h"

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace quillmoor::testing {

struct FakeAnswer {
    int status = 206;
    std::string content_range; // empty: no Content-Range header
    std::string body;
    int waits = 0;        // waitForResponse calls before the answer is complete; -1: never
    int ms_per_wait = 10; // how far each waitForResponse moves the clock
};

// The answer a plain server gives for [first, first + size) of a file of total bytes.
FakeAnswer range_answer(std::int64_t first, std::int64_t size, std::int64_t total, int waits = 0);

class FakeRequestObject : public RequestObject {
public:
    explicit FakeRequestObject(std::int32_t& clock) : clock_(clock) {}

    std::deque<FakeAnswer> script;
    std::function<void()> on_wait; // called at the start of every waitForResponse
    std::vector<std::string> urls;
    std::vector<std::vector<std::pair<std::string, std::string>>> headers;
    int aborts = 0;

    void open(std::string_view, std::string_view url, bool) override;
    void setRequestHeader(std::string_view name, std::string_view value) override;
    void send() override;
    int readyState() override { return ready_; }
    bool waitForResponse(int ms) override;
    void abort() override;
    int status() override { return ready_ == 4 ? answer_.status : 0; }
    Text statusText() override { return ready_ == 4 ? "Reason" : ""; }
    const Bytes& responseBody() override { return body_; }
    Text getResponseHeader(std::string_view name) override;

private:
    std::int32_t& clock_;
    FakeAnswer answer_;
    Bytes body_;
    int ready_ = 0;
    int waits_left_ = 0;
};

} // namespace quillmoor::testing
