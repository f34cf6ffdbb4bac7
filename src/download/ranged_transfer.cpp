// One transfer: the block loop of RangedDownloader::start.
#include "download/content_range.h"
#include "download/download_texts.h"
#include "download/local_file.h"
#include "download/ranged_downloader.h"
#include "download/ranged_downloader_fields.h"

#include <limits>

namespace quillmoor {
namespace {

constexpr std::int64_t max_offset = std::numeric_limits<std::int32_t>::max();

// Milliseconds between two readings of a tick counter that wraps at 2^32.
std::int64_t ticks_between(std::int32_t from, std::int32_t to) {
    return static_cast<std::uint32_t>(to) - static_cast<std::uint32_t>(from);
}

void send_block_request(RequestObject& request, const Text& url, const Text& referer,
                        std::int32_t range_start, std::int32_t block_size, Text& range) {
    range.assign("bytes=");
    range += number_to_text(range_start);
    range += '-';
    range += number_to_text(static_cast<double>(range_start) + block_size - 1);
    request.open("GET", url, true);
    request.setRequestHeader("Referer", referer);
    request.setRequestHeader("Accept", "*/*");
    request.setRequestHeader("User-Agent", "Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)");
    request.setRequestHeader("Range", range);
    request.setRequestHeader("Content-Type", "application/octet-stream");
    request.setRequestHeader("Pragma", "no-cache");
    request.setRequestHeader("Cache-Control", "no-cache");
    request.send();
}

// The message for an answer that is neither 206 nor 416.
Text refusal_message(RequestObject& request, int status) {
    if (status == 0)
        return download_texts::no_connection();
    if (status < 300)
        return download_texts::no_resume_support();
    Text reason = request.statusText();
    return reason.empty() ? number_to_text(static_cast<std::int32_t>(status)) : reason;
}

} // namespace

bool RangedDownloader::start() {
    Fields& f = *f_;
    if (!f.initialised) {
        f.message = download_texts::not_initialised();
        report_finish();
        return false;
    }
    if (f.downloading) {
        f.message = download_texts::already_running();
        report_finish();
        return false;
    }
    LocalFile file;
    const std::int64_t length = file.open_for_append(f.local_path) ? file.length() : -1;
    if (length < 0 || length > max_offset) {
        f.message =
            length < 0 ? download_texts::cannot_open_file() : download_texts::file_too_large();
        file.close();
        report_finish();
        return false;
    }

    f.position = static_cast<std::int32_t>(length);
    const std::int32_t first_position = f.position;
    f.downloading = true;
    f.message.clear();
    f.stop_requested = false;
    std::int32_t percent = 0;
    // Held here so that a routine that releases this object cannot pull it away mid-block.
    const std::shared_ptr<RequestObject> request = f.request_object;
    const std::int32_t block_size = f.block_size;
    const std::int32_t time_limit = f.block_time_limit_ms;
    Text range;

    for (;;) {
        const std::int32_t range_start = f.position;
        send_block_request(*request, f.url, f.referer, range_start, block_size, range);
        const std::int32_t t0 = f.clock();

        while (request->readyState() != 4) {
            if (ticks_between(t0, f.clock()) > time_limit) {
                request->abort();
                f.message = download_texts::block_timed_out();
                file.close();
                return end_transfer();
            }
            if (f.stop_requested || !f.downloading) {
                f.message = download_texts::stopped_by_user();
                file.close();
                return end_transfer();
            }
            request->waitForResponse(1000);
        }

        const int status = request->status();
        if (status != 206 && status != 416) {
            f.message = refusal_message(*request, status);
            break;
        }
        const Text cr = request->getResponseHeader("Content-Range");
        const std::optional<ContentRange> answer = parse_content_range(cr);
        bool last_block = false;
        if (status == 416) {
            // The local file already reaches the end of the remote file, or it is another file.
            if (answer && answer->total >= 0 && answer->total != f.position) {
                // Blocks taken in this transfer were of another version of the file.
                f.message = f.position != first_position ? download_texts::remote_file_changed()
                                                         : download_texts::local_file_differs();
                break;
            }
            // Nothing lies past the position: the end of the file is known now.
            if (f.total_length == 0)
                f.total_length = f.position;
            percent = percent_of(f.position, f.total_length);
            f.message = download_texts::finished();
            last_block = true;
        } else {
            const Bytes& body = request->responseBody();
            if (cr.empty()) {
                // Bytes that cannot be placed in the file are not written; with no length
                // the end of the transfer cannot be known either.
                f.message = download_texts::length_unknown();
                last_block = true;
            } else {
                if (!answer || answer->unsatisfied) {
                    f.message = download_texts::wrong_range();
                    break;
                }
                if (answer->last >= max_offset || answer->total > max_offset) {
                    f.message = download_texts::file_too_large();
                    break;
                }
                if (answer->first != range_start ||
                    static_cast<std::int64_t>(body.size()) != answer->last - answer->first + 1) {
                    f.message = download_texts::wrong_range();
                    break;
                }
                if (answer->total >= 0) {
                    if (f.total_length == 0) {
                        f.total_length = static_cast<std::int32_t>(answer->total);
                    } else if (answer->total != f.total_length) {
                        f.message = download_texts::remote_file_changed();
                        break;
                    }
                }
                if (!file.write(body.data(), body.size())) {
                    f.message = download_texts::cannot_write_file();
                    break;
                }
                f.position = static_cast<std::int32_t>(answer->last + 1);
                // A file of unstated length ends with its first short block.
                if (f.total_length == 0 && answer->last - answer->first + 1 < block_size)
                    f.total_length = f.position;
                percent = percent_of(f.position, f.total_length);
            }
        }

        const std::int64_t elapsed = ticks_between(t0, f.clock());
        const auto speed =
            elapsed == 0 ? 0 : static_cast<std::int32_t>(block_size / 1.024 / elapsed);
        if (f.progress_routine) {
            const ProgressRoutine routine = f.progress_routine;
            routine(f.local_path, f.total_length, speed, percent);
        }

        if (last_block)
            break;
        if (f.total_length != 0 && f.position == f.total_length) {
            f.message = download_texts::finished();
            break;
        }
        if (f.stop_requested || !f.downloading)
            break;
    }
    file.close();
    return end_transfer();
}

} // namespace quillmoor
