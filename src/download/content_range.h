// Reading the Content-Range header of a range answer.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quillmoor {

struct ContentRange {
    bool unsatisfied = false; // the form "bytes */TOTAL" of a 416 answer: no first and last
    std::int64_t first = 0;
    std::int64_t last = 0;
    std::int64_t total = -1; // -1 when the total is written as "*"
};

// Reads "bytes FIRST-LAST/TOTAL", "bytes FIRST-LAST/*" or "bytes */TOTAL". Nothing when the
// value has another form, when LAST is before FIRST, when TOTAL is not above LAST, or when a
// number has more than 18 digits.
std::optional<ContentRange> parse_content_range(std::string_view value);

} // namespace quillmoor
