// quillmoor-cli: the tool's two main things without a window.
#include "cli/commands.h"

#include <cstdio>
#include <string_view>

namespace {

void print_usage() {
    std::fputs("usage:\n"
               "  quillmoor-cli resolve LINK [--resolver HOST[:PORT]]\n"
               "  quillmoor-cli download URL FILE [--block-size KB]\n"
               "  quillmoor-cli get LINK [--folder DIR] [--resolver HOST[:PORT]]\n",
               stderr);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        print_usage();
        return 2;
    }
    const std::string_view name = argv[1];
    const quillmoor::cli::Args args(argv + 2, argv + argc);
    if (name == "resolve")
        return quillmoor::cli::resolve_command(args);
    if (name == "download")
        return quillmoor::cli::download_command(args);
    if (name == "get")
        return quillmoor::cli::get_command(args);
    print_usage();
    return 2;
}
