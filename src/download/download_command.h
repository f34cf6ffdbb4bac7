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
    virtual Text folder_text() = 0;                     // 编辑框_路径
    virtual Text file_name_text() = 0;                  // 编辑框_名称
    virtual void set_progress(int percent) = 0;         // 进度条1
    virtual void set_status_text(const Text& text) = 0; // 透明标签1
    // A modal box with an OK button; returns when the user has closed it.
    virtual void show_message_box(const Text& text, const Text& title) = 0;
};

// The click handler of the download button. Creates the folder when it is missing, warns when
// there is no download address, else drives downloader through one transfer in 20 KB blocks.
//
// The routines handed to downloader.init() keep a reference to view, and init() succeeds only
// on the first click: every later click reuses those routines. So view must be one object that
// outlives downloader's use (the main window itself), the same on every click.
void handle_download_click(RangedDownloader& downloader, const Text& download_url,
                           DownloadView& view);

// The routines given to the downloader: each copies its texts and shows them on view.
void download_progress_callback(DownloadView& view, const Text& path, std::int32_t total,
                                std::int32_t speed, std::int32_t percent);
void download_finished_callback(DownloadView& view, const Text& url, std::int32_t status,
                                const Text& message, std::int32_t percent);

// Sets the progress bar to percent and the status label to progress_text(...).
void show_progress(DownloadView& view, const Text& path, std::int32_t total, std::int32_t speed,
                   std::int32_t percent);
// The finish box: message, titled "信息：".
void show_finish_message(DownloadView& view, const Text& url, std::int32_t status,
                         const Text& message, std::int32_t percent);

// The status label's four lines.
Text progress_text(const Text& path, std::int32_t total, std::int32_t speed, std::int32_t percent);

} // namespace quillmoor
