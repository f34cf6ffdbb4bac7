// The files that quillmoor-share offers: one share per regular file directly in its folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace quillmoor::share {

inline constexpr std::string_view share_link_prefix = "http://pan.baidu.com/s/";

struct ShareEntry {
    std::string code; // eight characters, the last part of the share link
    std::string name; // the file's name as the file system gives it (UTF-8)
    std::filesystem::path path;
    std::uint64_t size = 0; // when the folder was read
    std::string md5;        // lower-case hex of the content, when the folder was read
};

// The share code of a file name: the first eight bytes of the MD5 of its UTF-8 bytes, each
// taken modulo 62 into 0-9, a-z, A-Z.
std::string share_code(std::string_view name);

// The share code named by a link "http(s)://pan.baidu.com/s/CODE", tolerating a trailing "/",
// query or fragment; empty when the link is not such a link.
std::string code_of_link(std::string_view link);

class ShareCatalog {
public:
    // Reads the folder's regular files and their MD5s (streamed from disk). Files whose code
    // is already taken are left out. Empty when the folder cannot be read.
    static ShareCatalog scan(const std::filesystem::path& folder);

    const ShareEntry* find(std::string_view code) const;
    const std::map<std::string, ShareEntry, std::less<>>& entries() const { return entries_; }

private:
    std::map<std::string, ShareEntry, std::less<>> entries_; // by code
};

// MD5 of a file's content, read in pieces; nullopt when it cannot be read.
std::optional<std::string> file_md5(const std::filesystem::path& path);

} // namespace quillmoor::share
