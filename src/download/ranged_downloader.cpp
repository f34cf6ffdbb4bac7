#include "download/ranged_downloader.h"

#include "download/download_texts.h"
#include "download/ranged_downloader_fields.h"

namespace quillmoor {

namespace {

std::int32_t time_limit_for(std::int32_t block_size) {
    return static_cast<std::int32_t>(block_size / 0.1); // ten milliseconds per byte
}

} // namespace

RangedDownloader::RangedDownloader(RequestObjectFactory factory, MillisecondClock clock)
    : f_(std::make_unique<Fields>()) {
    f_->factory = std::move(factory);
    f_->clock = clock ? std::move(clock) : MillisecondClock(uptime_ms);
}

RangedDownloader::RangedDownloader(std::unique_ptr<Fields> fields) : f_(std::move(fields)) {}

RangedDownloader::~RangedDownloader() {
    destroy();
}

void RangedDownloader::destroy() {
    release();
}

RangedDownloader RangedDownloader::copy() const {
    return RangedDownloader(std::make_unique<Fields>(*f_));
}

void RangedDownloader::release() {
    stop();
    f_->request_object.reset();
    f_->initialised = false;
    f_->downloading = false;
    f_->stop_requested = false;
    f_->block_time_limit_ms = 0;
    f_->position = 0;
    f_->progress_routine = {};
    f_->finish_routine = {};
    f_->total_length = 0;
    f_->block_size = 0;
    f_->local_path.clear();
    f_->message.clear();
    f_->referer.clear();
    f_->url.clear();
}

bool RangedDownloader::init(ProgressRoutine progress, FinishRoutine finish) {
    if (f_->initialised || f_->downloading)
        return false;
    f_->request_object = f_->factory ? f_->factory() : nullptr;
    if (!f_->request_object)
        return false;
    f_->initialised = true;
    f_->downloading = false;
    f_->progress_routine = std::move(progress);
    f_->finish_routine = std::move(finish);
    f_->total_length = 0;
    f_->stop_requested = false;
    f_->block_size = 10240;
    f_->block_time_limit_ms = time_limit_for(f_->block_size);
    return true;
}

void RangedDownloader::set_block_size(std::uint8_t kilobytes) {
    if (!f_->initialised || f_->downloading)
        return;
    const int kb = kilobytes == 0 ? 4 : kilobytes;
    f_->block_size = kb * 1024;
    f_->block_time_limit_ms = time_limit_for(f_->block_size);
}

void RangedDownloader::set_source(const Text& url, const Text& referer) {
    if (!f_->initialised || f_->downloading)
        return;
    f_->url = url;
    f_->referer = referer;
}

bool RangedDownloader::set_local_file(const Text& path) {
    if (!f_->initialised || f_->downloading)
        return false;
    f_->local_path = path;
    return true;
}

void RangedDownloader::reset_progress() {
    f_->downloading = false;
    f_->stop_requested = false;
    f_->position = 0;
    f_->total_length = 0;
}

void RangedDownloader::report_finish() {
    if (!f_->finish_routine)
        return;
    const std::int32_t status = f_->request_object ? f_->request_object->status() : 0;
    const std::int32_t percent = percent_of(f_->position, f_->total_length);
    // A copy, so that a routine that releases this object does not destroy itself.
    const FinishRoutine routine = f_->finish_routine;
    routine(f_->url, status, f_->message, percent);
}

void RangedDownloader::stop() {
    if (!f_->downloading)
        return;
    f_->stop_requested = true;
    if (f_->request_object)
        f_->request_object->abort();
}

bool RangedDownloader::initialised() const {
    return f_->initialised;
}
bool RangedDownloader::downloading() const {
    return f_->downloading;
}
const Text& RangedDownloader::message() const {
    return f_->message;
}
std::int32_t RangedDownloader::block_size() const {
    return f_->block_size;
}
std::int32_t RangedDownloader::block_time_limit_ms() const {
    return f_->block_time_limit_ms;
}

bool RangedDownloader::end_transfer() {
    report_finish();
    reset_progress();
    return f_->message == download_texts::finished();
}

} // namespace quillmoor
