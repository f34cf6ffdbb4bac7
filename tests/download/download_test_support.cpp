#include "download_test_support.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace quillmoor::testing {

TempFolder::TempFolder() {
    std::string name = (std::filesystem::temp_directory_path() / "quillmoor-dl-XXXXXX").string();
    if (::mkdtemp(name.data()) != nullptr)
        path_ = name;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    if (!path_.empty())
        std::filesystem::remove_all(path_, ignored);
}

std::string pattern_bytes(std::size_t n) {
    std::string bytes(n, '\0');
    std::uint32_t x = 2463534242u;
    for (auto& b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<char>(x & 0xff);
    }
    return bytes;
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void write_file(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::pair<std::int64_t, std::int64_t> requested_range(const RawRequest& request) {
    const std::string range = request.header("Range");
    if (range.rfind("bytes=", 0) != 0)
        return {-1, -1};
    const std::size_t dash = range.find('-');
    return {std::stoll(range.substr(6, dash - 6)), std::stoll(range.substr(dash + 1))};
}

RawAnswer ranged_answer(const RawRequest& request, const std::string& content) {
    const auto [first, asked_last] = requested_range(request);
    const auto total = static_cast<std::int64_t>(content.size());
    RawAnswer answer;
    if (first < 0) {
        answer.body = content;
        return answer;
    }
    if (first >= total) {
        answer.status = 416;
        answer.reason = "Range Not Satisfiable";
        answer.headers = {{"Content-Range", "bytes */" + std::to_string(total)}};
        return answer;
    }
    const std::int64_t last = std::min(asked_last, total - 1);
    answer.status = 206;
    answer.reason = "Partial Content";
    answer.headers = {{"Content-Range", "bytes " + std::to_string(first) + "-" +
                                            std::to_string(last) + "/" + std::to_string(total)}};
    answer.body =
        content.substr(static_cast<std::size_t>(first), static_cast<std::size_t>(last - first + 1));
    return answer;
}

ProgressRoutine Reports::progress_routine() {
    return [this](const Text& path, std::int32_t total, std::int32_t speed, std::int32_t percent) {
        progress.push_back({path, total, speed, percent});
    };
}

FinishRoutine Reports::finish_routine() {
    return [this](const Text& url, std::int32_t status, const Text& message, std::int32_t percent) {
        finish.push_back({url, status, message, percent});
    };
}

std::string Reports::last_message() const {
    return finish.empty() ? "(no finish report)" : cp936_to_utf8(finish.back().message);
}

} // namespace quillmoor::testing
