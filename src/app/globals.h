// The program's global state: the five texts the resolve command leaves behind and the one
// downloader. All of it lives on the user-interface thread from create_globals to
// release_globals.
#pragma once

#include "download/ranged_downloader.h"
#include "text/text.h"

#include <memory>

namespace quillmoor {

extern Text response_text; // the resolver's last answer
extern Text file_name;     // the decoded file name
extern Text file_size;     // the size as the resolver wrote it
extern Text download_url;  // the direct download address
extern Text file_md5;      // the MD5 as the resolver wrote it
// The one downloader; exists between create_globals and release_globals.
extern std::unique_ptr<RangedDownloader> downloader;

// Creates the downloader; the texts start empty.
void create_globals();
// Destroys the downloader and empties the texts. Runs once, after the event loop.
void release_globals();

} // namespace quillmoor
