// The request object the downloader sends its range requests through: one object and one
// connection serve every block of every transfer. A failed call has no effect and reads as
// 0 or empty; nothing throws.
#pragma once

#include "text/text.h"

#include <memory>
#include <string_view>

namespace quillmoor {

class RequestObject {
public:
    virtual ~RequestObject() = default;

    // Prepares a new request on the same object; async is always true for the downloader.
    virtual void open(std::string_view method, std::string_view url, bool async) = 0;
    virtual void setRequestHeader(std::string_view name, std::string_view value) = 0;
    // Starts the request and returns at once.
    virtual void send() = 0;
    // 4 once the answer is complete.
    virtual int readyState() = 0;
    // Waits at most ms milliseconds for the answer; returns whether it is complete.
    virtual bool waitForResponse(int ms) = 0;
    // Drops the request in flight.
    virtual void abort() = 0;
    virtual int status() = 0;
    virtual Text statusText() = 0;
    // The body of the last answer; valid until the next open.
    virtual const Bytes& responseBody() = 0;
    // The value of a header of the last answer; empty when it has none.
    virtual Text getResponseHeader(std::string_view name) = 0;
};

// The real object, over libcurl.
std::shared_ptr<RequestObject> create_request_object();

} // namespace quillmoor
