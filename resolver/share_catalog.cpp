#include "share_catalog.h"

#include "md5.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <system_error>
#include <vector>

namespace quillmoor::share {

namespace {

constexpr std::string_view code_alphabet =
    "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

bool starts_with_ignoring_case(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

} // namespace

std::string share_code(std::string_view name) {
    Md5 md5;
    md5.update(name);
    const auto digest = md5.digest();
    std::string code;
    for (int i = 0; i < 8; ++i)
        code += code_alphabet[digest[i] % code_alphabet.size()];
    return code;
}

std::string code_of_link(std::string_view link) {
    for (const std::string_view scheme : {"http://", "https://"}) {
        if (!starts_with_ignoring_case(link, scheme))
            continue;
        std::string_view rest = link.substr(scheme.size());
        if (!starts_with_ignoring_case(rest, "pan.baidu.com/s/"))
            return {};
        rest.remove_prefix(std::string_view("pan.baidu.com/s/").size());
        if (rest.size() < 8)
            return {};
        const std::string_view code = rest.substr(0, 8);
        for (const char c : code)
            if (code_alphabet.find(c) == std::string_view::npos)
                return {};
        rest.remove_prefix(8);
        // After the code: nothing, a "/", or a query or fragment (the link travels unencoded
        // inside our own query, so "&" may start its query too).
        if (!rest.empty() && rest.front() == '/')
            rest.remove_prefix(1);
        if (!rest.empty() && rest.front() != '?' && rest.front() != '#' && rest.front() != '&')
            return {};
        return std::string(code);
    }
    return {};
}

std::optional<std::string> file_md5(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    Md5 md5;
    std::vector<char> piece(1 << 16);
    while (in) {
        in.read(piece.data(), std::streamsize(piece.size()));
        md5.update(piece.data(), std::size_t(in.gcount()));
    }
    if (in.bad())
        return std::nullopt;
    return to_hex(md5.digest());
}

ShareCatalog ShareCatalog::scan(const std::filesystem::path& folder) {
    ShareCatalog catalog;
    std::error_code error;
    std::vector<std::filesystem::path> files;
    for (const auto& item : std::filesystem::directory_iterator(folder, error))
        if (item.is_regular_file(error))
            files.push_back(item.path());
    std::sort(files.begin(), files.end());
    for (const auto& path : files) {
        ShareEntry entry;
        entry.name = path.filename().string();
        entry.code = share_code(entry.name);
        entry.path = path;
        entry.size = std::filesystem::file_size(path, error);
        if (error)
            continue;
        auto md5 = file_md5(path);
        if (!md5)
            continue;
        entry.md5 = std::move(*md5);
        if (catalog.entries_.count(entry.code) > 0) {
            std::fprintf(stderr,
                         "quillmoor-share: %s has the same code as another file; left out\n",
                         entry.name.c_str());
            continue;
        }
        catalog.entries_.emplace(entry.code, std::move(entry));
    }
    return catalog;
}

const ShareEntry* ShareCatalog::find(std::string_view code) const {
    const auto it = entries_.find(code);
    return it == entries_.end() ? nullptr : &it->second;
}

} // namespace quillmoor::share
