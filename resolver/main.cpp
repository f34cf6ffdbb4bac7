// quillmoor-share [--host H] [--port N] FOLDER: offers the folder's files as share links and
// answers resolve requests for them, like the resolver service the program asks.
#include "share_server.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void print_usage() {
    std::fputs("usage: quillmoor-share [--host HOST] [--port PORT] FOLDER\n"
               "  serves the regular files of FOLDER as share links (port 0: any free port)\n",
               stderr);
}

} // namespace

int main(int argc, char** argv) {
    std::string host = "127.0.0.1";
    int port = 18936;
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--host" || arg == "--port") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "--host") {
                host = value;
                continue;
            }
            char* end = nullptr;
            const long n = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || n < 0 || n > 65535) {
                std::fprintf(stderr, "quillmoor-share: bad port %s\n", value.c_str());
                return 2;
            }
            port = int(n);
        } else if (folder.empty() && !arg.empty() && arg[0] != '-') {
            folder = arg;
        } else {
            print_usage();
            return 2;
        }
    }
    if (folder.empty()) {
        print_usage();
        return 2;
    }
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        std::fprintf(stderr, "quillmoor-share: %s is not a folder\n", folder.c_str());
        return 1;
    }

    quillmoor::share::ShareServer server(quillmoor::share::ShareCatalog::scan(folder));
    const int bound = server.bind(host, port);
    if (bound <= 0) {
        std::fprintf(stderr, "quillmoor-share: cannot listen on %s:%d\n", host.c_str(), port);
        return 1;
    }
    std::printf("listening on %s:%d\n", host.c_str(), bound);
    for (const auto& [code, entry] : server.catalog().entries())
        std::printf("%s%s  %s\n", std::string(quillmoor::share::share_link_prefix).c_str(),
                    code.c_str(), entry.name.c_str());
    std::fflush(stdout);
    return server.run() ? 0 : 1;
}
