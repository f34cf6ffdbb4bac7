#include "download_test_support.h"

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
