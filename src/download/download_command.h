// The download command: fetch the resolved file into the chosen folder under the chosen name,
// with progress shown as it goes and the outcome shown in a message box.
#pragma once

#include "download/ranged_downloader.h"
#include "text/text.h"

namespace quillmoor {

// What the command needs of the window (or of another front end).
class DownloadView {
public:
    virtual ~DownloadView() = default;
    virtual Text folder_text() = 0;    // 编辑框_路径
    virtual Text file_name_text() = 0; // 编辑框_名称
    virtual void set_progress(int percent) = 0;         // 进度条1
    virtual void set_status_text(const Text& text) = 0; // 透明标签1
    // A modal box with an OK button; returns when the user has closed it.
    virtual void show_message_box(const Text& text, const Text& title) = 0;
};

void handle_download_click(RangedDownloader& downloader, const Text& download_url,
                           DownloadView& view);

// The status label's four lines.
Text progress_text(const Text& path, std::int32_t total, std::int32_t speed, std::int32_t percent);

} // namespace quillmoor
