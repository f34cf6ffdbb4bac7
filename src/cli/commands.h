// The subcommands of quillmoor-cli. Each takes the arguments after its name and returns the
// process's exit status.
#pragma once

#include <string>
#include <vector>

namespace quillmoor::cli {

using Args = std::vector<std::string>;

int resolve_command(const Args& args);
int download_command(const Args& args);
int get_command(const Args& args);

} // namespace quillmoor::cli
