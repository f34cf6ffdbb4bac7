#include "app/globals.h"

namespace quillmoor {

Text response_text;
Text file_name;
Text file_size;
Text download_url;
Text file_md5;
std::unique_ptr<RangedDownloader> downloader;

void create_globals() {
    downloader = std::make_unique<RangedDownloader>();
    response_text.clear();
    file_name.clear();
    file_size.clear();
    download_url.clear();
    file_md5.clear();
}

void release_globals() {
    download_url.clear();
    if (downloader) {
        downloader->destroy();
        downloader.reset();
    }
    response_text.clear();
    file_name.clear();
    file_size.clear();
    file_md5.clear();
}

} // namespace quillmoor
