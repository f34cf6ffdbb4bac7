// quillmoor-cli download URL FILE [--block-size KB] and quillmoor-cli get LINK [--folder DIR]
// [--resolver HOST[:PORT]]: the download without a window. Progress goes to standard error on
// one line rewritten in place; the outcome message is the last line on standard output.
#include "cli/commands.h"

#include "download/download_command.h"
#include "download/download_texts.h"
#include "resolve/resolve.h"
#include "text/codepage.h"

#include <charconv>
#include <cstdio>

namespace quillmoor::cli {
namespace {

// The window's part played on a terminal.
class ConsoleView final : public DownloadView {
public:
    ConsoleView(Text folder, Text name) : folder_(std::move(folder)), name_(std::move(name)) {}

    Text folder_text() override { return folder_; }
    Text file_name_text() override { return name_; }
    void set_progress(int) override {} // the status line carries the percentage

    // Of the label's four lines, the progress and the speed make the terminal's line.
    void set_status_text(const Text& text) override {
        const TextArray lines = split_text(text, "\r\n");
        Text line;
        for (std::size_t i = 2; i < lines.size(); ++i)
            line += (i > 2 ? "  " : "") + lines[i];
        std::fprintf(stderr, "\r%s   ", cp936_to_utf8(line).c_str());
        std::fflush(stderr);
        line_open_ = true;
    }

    void show_message_box(const Text& text, const Text& title) override {
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
    Text folder_;
    Text name_;
    bool line_open_ = false;
    bool finished_ = false;
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
    ConsoleView view({}, {});
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
    ConsoleView view(utf8_to_cp936(folder), safe_file_name(facts.file_name));
    // One view and one downloader for the one click this command makes.
    RangedDownloader downloader;
    handle_download_click(downloader, facts.download_url, view);
    return view.finished() ? 0 : 1;
}

} // namespace quillmoor::cli
