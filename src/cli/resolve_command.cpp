// quillmoor-cli resolve LINK [--resolver HOST[:PORT]]: the resolve command without a window.
#include "cli/commands.h"

#include "resolve/resolve.h"
#include "text/codepage.h"

#include <cstdio>

namespace quillmoor::cli {

namespace {

// One result piece as an output line: the surrounding line breaks dropped, and control bytes
// inside the value shown as "?" so that every fact stays on its own line.
std::string output_line(const Text& piece) {
    Text line = piece.substr(2, piece.size() - 4);
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return cp936_to_utf8(line);
}

} // namespace

int resolve_command(const Args& args) {
    std::string link;
    std::string resolver;
    bool have_link = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--resolver" && i + 1 < args.size()) {
            resolver = args[++i];
        } else if (!have_link && args[i].rfind("--", 0) != 0) {
            link = args[i];
            have_link = true;
        } else {
            have_link = false;
            break;
        }
    }
    if (!have_link) {
        std::fputs("usage: quillmoor-cli resolve LINK [--resolver HOST[:PORT]]\n", stderr);
        return 2;
    }
    const Text host = resolver.empty() ? resolver_host_from_environment() : Text(resolver);
    const ShareFacts facts = resolve_share(host, utf8_to_cp936(link));
    for (const Text& piece : result_lines(facts))
        std::printf("%s\n", output_line(piece).c_str());
    std::fflush(stdout);
    return facts.download_url.empty() ? 1 : 0;
}

} // namespace quillmoor::cli
