// quillmoor-cli download URL FILE [--block-size KB] and quillmoor-cli get LINK [--folder DIR]
// [--resolver HOST[:PORT]]: the download without a window. Progress goes to standard error on
// one line rewritten in place; the outcome message is the last line on standard output.
#include "cli/commands.h"

#include "download/download_command.h"
#include "download/download_texts.h"
#include "resolve/resolve.h"
#include "text/codepage.h"

#include <charconv>
#include <chrono>
#include <cstdio>

namespace quillmoor::cli {
namespace {

// The window's part played on a terminal.
class ConsoleView final : public DownloadView {
public:
    ConsoleView(Text folder, Text name, std::int32_t block_size)
        : folder_(std::move(folder)), name_(std::move(name)), block_size_(block_size) {}

    Text folder_text() override { return folder_; }
    Text file_name_text() override { return name_; }
    void set_progress(int percent) override { percent_ = percent; }

    // One call per block. The terminal's line shows the percentage and the mean speed since it
    // was last drawn (a block's own speed reads 0 below a millisecond); it is redrawn at most
    // ten times a second, and its last state before the outcome.
    void set_status_text(const Text&) override {
        ++blocks_;
        if (std::chrono::steady_clock::now() - drawn_at_ >= std::chrono::milliseconds(100))
            draw_status();
    }

    void show_message_box(const Text& text, const Text& title) override {
        if (blocks_ > 0)
            draw_status();
        if (line_open_) {
            std::fputc('\n', stderr);
            line_open_ = false;
        }
        std::printf("%s\n", cp936_to_utf8(text).c_str());
        std::fflush(stdout);
        finished_ = title == download_texts::finish_title() && text == download_texts::finished();
    }

    // Whether the last box was the finish box saying "下载完毕".
    bool finished() const { return finished_; }

private:
    void draw_status() {
        const auto now = std::chrono::steady_clock::now();
        if (!line_open_)
            drawn_at_ = started_;
        const double seconds = std::chrono::duration<double>(now - drawn_at_).count();
        const auto speed = static_cast<long long>(
            seconds > 0 ? static_cast<double>(blocks_) * block_size_ / 1024.0 / seconds : 0.0);
        std::fprintf(stderr, "\r下载进度：%3d%%  下载速度：%lld KB/S   ", percent_, speed);
        std::fflush(stderr);
        drawn_at_ = now;
        blocks_ = 0;
        line_open_ = true;
    }

    Text folder_;
    Text name_;
    std::int32_t block_size_;
    int percent_ = 0;
    long long blocks_ = 0; // received since the line was last drawn
    bool line_open_ = false;
    bool finished_ = false;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point drawn_at_ = started_;
};

bool parse_block_size(const std::string& s, std::uint8_t& kb) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (error != std::errc() || end != s.data() + s.size() || value > 255)
        return false;
    kb = static_cast<std::uint8_t>(value);
    return true;
}

} // namespace

int download_command(const Args& args) {
    std::vector<std::string> positional;
    std::uint8_t kb = 20;
    bool usage = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--block-size" && i + 1 < args.size() && parse_block_size(args[i + 1], kb))
            ++i;
        else if (args[i].rfind("--", 0) == 0)
            usage = true; // an unknown option, or a block size out of 0-255
        else
            positional.push_back(args[i]);
    }
    if (usage || positional.size() != 2) {
        std::fputs(
            "usage: quillmoor-cli download URL FILE [--block-size KB]   (KB: 0-255, 0 = 4)\n",
            stderr);
        return 2;
    }
    ConsoleView view({}, {}, (kb == 0 ? 4 : kb) * 1024);
    RangedDownloader downloader;
    downloader.init(
        [&view](const Text& path, std::int32_t total, std::int32_t speed, std::int32_t percent) {
            download_progress_callback(view, path, total, speed, percent);
        },
        [&view](const Text& url, std::int32_t status, const Text& message, std::int32_t percent) {
            download_finished_callback(view, url, status, message, percent);
        });
    downloader.set_local_file(utf8_to_cp936(positional[1]));
    downloader.set_source(utf8_to_cp936(positional[0]));
    downloader.set_block_size(kb);
    return downloader.start() ? 0 : 1;
}

int get_command(const Args& args) {
    std::string link;
    std::string folder = ".";
    std::string resolver;
    bool usage = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--folder" && i + 1 < args.size())
            folder = args[++i];
        else if (args[i] == "--resolver" && i + 1 < args.size())
            resolver = args[++i];
        else if (link.empty() && args[i].rfind("--", 0) != 0)
            link = args[i];
        else
            usage = true;
    }
    if (usage || link.empty() || folder.empty()) {
        std::fputs("usage: quillmoor-cli get LINK [--folder DIR] [--resolver HOST[:PORT]]\n",
                   stderr);
        return 2;
    }
    if (folder.back() != '/')
        folder += '/'; // the folder box's text ends with its separator
    const Text host = resolver.empty() ? resolver_host_from_environment() : Text(resolver);
    const ShareFacts facts = resolve_share(host, utf8_to_cp936(link));
    ConsoleView view(utf8_to_cp936(folder), safe_file_name(facts.file_name), 20 * 1024);
    // One view and one downloader for the one click this command makes.
    RangedDownloader downloader;
    handle_download_click(downloader, facts.download_url, view);
    return view.finished() ? 0 : 1;
}

} // namespace quillmoor::cli
