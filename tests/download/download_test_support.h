// Small helpers the download tests share: a temporary folder, file contents, range answers of
// the test server, the outcome of one start() as the routines saw it.
#pragma once

#include "download/ranged_downloader.h"
#include "raw_http_server.h"
#include "text/codepage.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quillmoor::testing {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // The path of name inside the folder, as a code page 936 text.
    Text file(std::string_view name) const { return utf8_to_cp936((path_ / name).string()); }

private:
    std::filesystem::path path_;
};

// n bytes that differ from block to block and never repeat at a 1 KB period.
std::string pattern_bytes(std::size_t n);
std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, std::string_view bytes);

// Answers like a plain file server with range support over content: 206 with
// "bytes FIRST-LAST/TOTAL", or 416 with "bytes */TOTAL" when the range starts past the end.
RawAnswer ranged_answer(const RawRequest& request, const std::string& content);

// The first and last byte of a "bytes=FIRST-LAST" Range header; {-1, -1} when absent.
std::pair<std::int64_t, std::int64_t> requested_range(const RawRequest& request);

struct ProgressCall {
    Text path;
    std::int32_t total = 0;
    std::int32_t speed = 0;
    std::int32_t percent = 0;
};
struct FinishCall {
    Text url;
    std::int32_t status = 0;
    Text message;
    std::int32_t percent = 0;
};

// Records every report; inits a downloader with routines that feed it.
struct Reports {
    std::vector<ProgressCall> progress;
    std::vector<FinishCall> finish;
    ProgressRoutine progress_routine();
    FinishRoutine finish_routine();
    // The last finish message in UTF-8, for readable failures.
    std::string last_message() const;
};

} // namespace quillmoor::testing
