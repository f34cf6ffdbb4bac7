#include "download/local_file.h"

#include "text/codepage.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quillmoor {

LocalFile::~LocalFile() {
    close();
}

LocalFile::LocalFile(LocalFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

LocalFile& LocalFile::operator=(LocalFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

bool LocalFile::open_for_append(const Text& path) {
    close();
    if (path.empty())
        return false;
    const std::string os_path = cp936_to_utf8(path);
    const int fd = ::open(os_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    // Exclusive while open: a second opener (another download of the same file) is refused.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

std::int64_t LocalFile::length() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0)
        return -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool LocalFile::write(const std::uint8_t* data, std::size_t size) {
    if (fd_ < 0)
        return false;
    // A file removed while open would swallow the bytes without a trace: refuse instead.
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || st.st_nlink == 0)
        return false;
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void LocalFile::close() {
    if (fd_ >= 0) {
        ::close(fd_); // also drops the lock
        fd_ = -1;
    }
}

bool path_exists(const Text& path) {
    if (path.empty())
        return false;
    struct stat st {};
    return ::stat(cp936_to_utf8(path).c_str(), &st) == 0;
}

bool create_folder(const Text& path) {
    if (path.empty())
        return false;
    return ::mkdir(cp936_to_utf8(path).c_str(), 0755) == 0;
}

} // namespace quillmoor
