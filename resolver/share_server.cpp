#include "share_server.h"

#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>
#include <vector>

namespace quillmoor::share {

namespace {

// Decodes one UTF-8 character at s[i], advancing i; U+FFFD for a byte that starts none.
char32_t next_code_point(std::string_view s, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(s[i]);
    int extra = 0;
    char32_t cp = 0;
    if (lead < 0x80) {
        ++i;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        cp = lead & 0x07;
    } else {
        ++i;
        return 0xFFFD;
    }
    if (i + extra >= s.size()) {
        ++i;
        return 0xFFFD;
    }
    for (int k = 1; k <= extra; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    static constexpr char32_t smallest[] = {0, 0x80, 0x800, 0x10000};
    if (cp < smallest[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return 0xFFFD;
    }
    i += extra + 1;
    return cp;
}

void append_unit(std::string& out, unsigned unit) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04x", unit & 0xFFFF);
    out += escape;
}

// The request's Host header when it is a plain host[:port], else the bound address.
std::string authority_of(const httplib::Request& req, const std::string& bound) {
    const std::string host = req.get_header_value("Host");
    if (host.empty())
        return bound;
    for (const char c : host) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-' || c == ':' || c == '[' ||
                           c == ']';
        if (!plain)
            return bound;
    }
    return host;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// %XX sequences decoded; everything else, "+" included, kept as sent.
std::string percent_decoded(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && hex_value(s[i + 1]) >= 0 &&
            hex_value(s[i + 2]) >= 0) {
            out += char(hex_value(s[i + 1]) * 16 + hex_value(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// The link after "url=" in the raw query, as sent.
std::string link_of_target(std::string_view target) {
    const auto query = target.find('?');
    if (query == std::string_view::npos)
        return {};
    std::string_view rest = target.substr(query + 1);
    if (rest.substr(0, 4) != "url=")
        return {};
    return percent_decoded(rest.substr(4));
}

struct ByteRange {
    std::uint64_t first = 0;
    std::uint64_t last = 0; // inclusive
};

enum class RangeAsk { whole, part, unsatisfiable };

// Reads a single "bytes=a-b", "bytes=a-" or "bytes=-n" against a length; anything else
// (several ranges, another unit) asks for the whole file.
RangeAsk read_range(const std::string& header, std::uint64_t length, ByteRange& range) {
    const std::string_view prefix = "bytes=";
    if (header.compare(0, prefix.size(), prefix) != 0)
        return RangeAsk::whole;
    const std::string asked = header.substr(prefix.size());
    const auto dash = asked.find('-');
    if (dash == std::string::npos || asked.find(',') != std::string::npos)
        return RangeAsk::whole;
    auto number = [](const std::string& s) -> std::optional<std::uint64_t> {
        if (s.empty() || s.size() > 19 || s.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        return std::stoull(s);
    };
    const auto first = number(asked.substr(0, dash));
    const auto last = number(asked.substr(dash + 1));
    if (!first && !last)
        return RangeAsk::whole;
    if (!first) { // the last n bytes
        if (*last == 0 || length == 0)
            return RangeAsk::unsatisfiable;
        range.first = length - std::min(*last, length);
        range.last = length - 1;
        return RangeAsk::part;
    }
    if (last && *last < *first)
        return RangeAsk::whole;
    if (*first >= length)
        return RangeAsk::unsatisfiable;
    range.first = *first;
    range.last = last ? std::min(*last, length - 1) : length - 1;
    return RangeAsk::part;
}

using FileHandle = std::shared_ptr<std::FILE>;

FileHandle open_file(const std::filesystem::path& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return {};
    return FileHandle(file, [](std::FILE* f) { std::fclose(f); });
}

std::optional<std::uint64_t> length_of(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0)
        return std::nullopt;
    const long end = std::ftell(file);
    if (end < 0)
        return std::nullopt;
    return std::uint64_t(end);
}

void send_error(httplib::Response& res, int status, std::string_view message) {
    res.status = status;
    res.set_content("{\"error\": \"" + std::string(message) + "\"}", "application/json");
}

} // namespace

std::string json_name(std::string_view utf8_name) {
    std::string out;
    for (std::size_t i = 0; i < utf8_name.size();) {
        const char32_t cp = next_code_point(utf8_name, i);
        const bool plain = cp >= 0x20 && cp < 0x7F && cp != '"' && cp != '\\' && cp != '%';
        if (plain) {
            out += char(cp);
        } else if (cp < 0x10000) {
            append_unit(out, unsigned(cp));
        } else {
            const char32_t v = cp - 0x10000;
            append_unit(out, unsigned(0xD800 + (v >> 10)));
            append_unit(out, unsigned(0xDC00 + (v & 0x3FF)));
        }
    }
    return out;
}

std::string share_answer(const ShareEntry& entry, std::string_view download_address) {
    std::string out = "{\"name\": \"" + json_name(entry.name) + "\", ";
    out += "\"size\": \"" + std::to_string(entry.size) + "\", ";
    out += "\"download\": \"" + std::string(download_address) + "\", ";
    out += "\"md5\": \"" + entry.md5 + "\", ";
    out += "\"share\": \"" + std::string(share_link_prefix) + entry.code + "\"}";
    return out;
}

struct ShareServer::State {
    ShareCatalog catalog;
    httplib::Server server;
    std::string bound;   // host:port
    std::thread serving; // the thread of start()
};

ShareServer::ShareServer(ShareCatalog catalog) : state_(std::make_unique<State>()) {
    state_->catalog = std::move(catalog);
    State& state = *state_;
    // The downloader asks for one block after another on one connection.
    state.server.set_keep_alive_max_count(1000000);
    state.server.set_tcp_nodelay(true);

    state.server.Get("/baidu/", [&state](const httplib::Request& req, httplib::Response& res) {
        const ShareEntry* entry = state.catalog.find(code_of_link(link_of_target(req.target)));
        if (entry == nullptr) {
            send_error(res, 404, "unknown share link");
            return;
        }
        const std::string download =
            "http://" + authority_of(req, state.bound) + "/d/" + entry->code;
        res.set_content(share_answer(*entry, download), "application/json");
    });

    state.server.Get(
        R"(/d/([0-9A-Za-z]{8}))", [&state](const httplib::Request& req, httplib::Response& res) {
            const ShareEntry* entry = state.catalog.find(req.matches[1].str());
            if (entry == nullptr) {
                send_error(res, 404, "no such file");
                return;
            }
            FileHandle file = open_file(entry->path);
            const auto length = file ? length_of(file.get()) : std::nullopt;
            if (!length) {
                send_error(res, 500, "file cannot be read");
                return;
            }
            // Ranges are answered here, clamped to the file; the library's own handling of the
            // parsed ranges must not apply them a second time.
            const_cast<httplib::Request&>(req).ranges.clear();
            res.set_header("Accept-Ranges", "bytes");
            ByteRange range{0, *length == 0 ? 0 : *length - 1};
            const std::string total = std::to_string(*length);
            switch (read_range(req.get_header_value("Range"), *length, range)) {
            case RangeAsk::unsatisfiable:
                res.status = 416;
                res.set_header("Content-Range", "bytes */" + total);
                return;
            case RangeAsk::part:
                res.status = 206;
                res.set_header("Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                                    std::to_string(range.last) + "/" + total);
                break;
            case RangeAsk::whole:
                res.status = 200;
                if (*length == 0) {
                    res.set_content("", "application/octet-stream");
                    return;
                }
                break;
            }
            const std::uint64_t first = range.first;
            res.set_content_provider(
                std::size_t(range.last - range.first + 1), "application/octet-stream",
                [file, first](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                    std::vector<char> piece(std::min<std::size_t>(length, 1 << 16));
                    if (std::fseek(file.get(), long(first + offset), SEEK_SET) != 0)
                        return false;
                    const std::size_t got = std::fread(piece.data(), 1, piece.size(), file.get());
                    if (got == 0)
                        return false;
                    return sink.write(piece.data(), got);
                });
        });
}

ShareServer::~ShareServer() {
    stop();
}

int ShareServer::bind(const std::string& host, int port) {
    State& state = *state_;
    int bound_port = port;
    if (port == 0) {
        bound_port = state.server.bind_to_any_port(host);
    } else if (!state.server.bind_to_port(host, port)) {
        bound_port = -1;
    }
    if (bound_port > 0)
        state.bound = host + ":" + std::to_string(bound_port);
    return bound_port;
}

bool ShareServer::run() {
    return state_->server.listen_after_bind();
}

int ShareServer::start(const std::string& host, int port) {
    const int bound_port = bind(host, port);
    if (bound_port <= 0)
        return -1;
    state_->serving = std::thread([this] { run(); });
    for (int i = 0; i < 2500 && !is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return is_running() ? bound_port : -1;
}

void ShareServer::stop() {
    state_->server.stop();
    if (state_->serving.joinable())
        state_->serving.join();
}

bool ShareServer::is_running() const {
    return state_->server.is_running();
}

const ShareCatalog& ShareServer::catalog() const {
    return state_->catalog;
}

} // namespace quillmoor::share
