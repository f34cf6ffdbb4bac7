// The downloader's fields, shared by the files that implement it.
#pragma once

#include "download/ranged_downloader.h"

namespace quillmoor {

struct RangedDownloader::Fields {
    RequestObjectFactory factory;
    MillisecondClock clock;

    std::shared_ptr<RequestObject> request_object;
    bool initialised = false;
    Text url;
    Text referer;
    std::int32_t block_time_limit_ms = 0;
    Text message;
    Text local_path;
    bool downloading = false;
    std::int32_t position = 0;
    ProgressRoutine progress_routine;
    FinishRoutine finish_routine;
    std::int32_t total_length = 0;
    bool stop_requested = false;
    std::int32_t block_size = 0;
};

// position x 100 / total, truncated; 0 when total is 0.
inline std::int32_t percent_of(std::int32_t position, std::int32_t total) {
    if (total == 0)
        return 0;
    return static_cast<std::int32_t>(static_cast<double>(position) * 100.0 / total);
}

} // namespace quillmoor
