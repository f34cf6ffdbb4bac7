// Fetches the file at one URL into one local file, block by block, with HTTP range requests,
// always resuming after what the local file already holds.
#pragma once

#include "download/request_object.h"
#include "text/text.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace quillmoor {

// progress(local_path, total_length, speed_kb_per_s, percent)
using ProgressRoutine = std::function<void(const Text&, std::int32_t, std::int32_t, std::int32_t)>;
// finish(url, http_status, message, percent)
using FinishRoutine = std::function<void(const Text&, std::int32_t, const Text&, std::int32_t)>;
// Makes the request object; tests hand in a fake.
using RequestObjectFactory = std::function<std::shared_ptr<RequestObject>()>;

class RangedDownloader {
public:
    explicit RangedDownloader(RequestObjectFactory factory = create_request_object);
    ~RangedDownloader();

    void destroy();
    RangedDownloader copy() const;
    void release();
    bool init(ProgressRoutine progress = {}, FinishRoutine finish = {});
    void set_block_size(std::uint8_t kilobytes);
    void set_source(const Text& url, const Text& referer = {});
    bool set_local_file(const Text& path);
    bool start();
    void reset_progress();
    void report_finish();
    void stop();

    // Read-only views for callers and tests.
    bool initialised() const;
    bool downloading() const;
    const Text& message() const;
    std::int32_t block_size() const;
    std::int32_t block_time_limit_ms() const;

private:
    // fields: see ranged_downloader.cpp
    struct Fields;
    std::unique_ptr<Fields> f_;
};

} // namespace quillmoor
