#include "download/download_command.h"

#include "download/download_texts.h"
#include "download/local_file.h"

namespace quillmoor {

void handle_download_click(RangedDownloader& downloader, const Text& download_url,
                           DownloadView& view) {
    const Text folder = view.folder_text();
    if (!path_exists(folder))
        create_folder(folder); // one level; a failure shows later as the file not opening
    if (download_url.empty()) {
        view.show_message_box(download_texts::empty_address_warning(),
                              download_texts::warning_title());
        return;
    }
    // Refused after the first click: the routines of the first click stay in force.
    downloader.init(
        [&view](const Text& path, std::int32_t total, std::int32_t speed, std::int32_t percent) {
            download_progress_callback(view, path, total, speed, percent);
        },
        [&view](const Text& url, std::int32_t status, const Text& message, std::int32_t percent) {
            download_finished_callback(view, url, status, message, percent);
        });
    downloader.set_local_file(join_texts({view.folder_text(), view.file_name_text()}));
    downloader.set_source(download_url);
    downloader.set_block_size(20);
    downloader.start();
}

void download_progress_callback(DownloadView& view, const Text& path, std::int32_t total,
                                std::int32_t speed, std::int32_t percent) {
    const Text own_path = path;
    show_progress(view, own_path, total, speed, percent);
}

void download_finished_callback(DownloadView& view, const Text& url, std::int32_t status,
                                const Text& message, std::int32_t percent) {
    const Text own_url = url;
    const Text own_message = message;
    show_finish_message(view, own_url, status, own_message, percent);
}

void show_progress(DownloadView& view, const Text& path, std::int32_t total, std::int32_t speed,
                   std::int32_t percent) {
    view.set_progress(percent);
    view.set_status_text(progress_text(path, total, speed, percent));
}

void show_finish_message(DownloadView& view, const Text&, std::int32_t, const Text& message,
                         std::int32_t) {
    view.show_message_box(message, download_texts::finish_title());
}

Text progress_text(const Text& path, std::int32_t total, std::int32_t speed, std::int32_t percent) {
    static const Text size_label = cp936("\r\n文件尺寸：");
    static const Text progress_label = cp936("Bit\r\n下载进度：");
    static const Text speed_label = cp936("%\r\n下载速度：");
    return join_texts({path, size_label, number_to_text(total), progress_label,
                       number_to_text(percent), speed_label, number_to_text(speed), " KB/S"});
}

} // namespace quillmoor
