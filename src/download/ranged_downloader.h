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
// The millisecond tick counter the per-block time limit and the speed are measured with.
using MillisecondClock = std::function<std::int32_t()>;

// One object serves one thread. The routines are called on that thread in the middle of
// start(); the texts they receive are valid during the call only. A routine (or a wait hook
// that runs while start() waits) may call stop(); start() then ends and the object is ready
// for the next start(), which resumes after the blocks already written.
class RangedDownloader {
public:
    explicit RangedDownloader(RequestObjectFactory factory = create_request_object,
                              MillisecondClock clock = uptime_ms);
    ~RangedDownloader();
    RangedDownloader(const RangedDownloader&) = delete;
    RangedDownloader& operator=(const RangedDownloader&) = delete;

    void destroy();
    // A second instance with equal fields that shares this one's request object.
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
    struct Fields; // see ranged_downloader.cpp
    explicit RangedDownloader(std::unique_ptr<Fields> fields);
    bool end_transfer();
    std::unique_ptr<Fields> f_;
};

} // namespace quillmoor
