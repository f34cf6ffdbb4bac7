// The local file a download appends to, and the two folder operations the download command
// needs. Paths are code page 936 texts; they are converted for the file system here.
#pragma once

#include "text/text.h"

#include <cstddef>
#include <cstdint>

namespace quillmoor {

// A file opened for appending: created when missing, existing content kept, bytes written as
// they are. While it is open no other LocalFile (in this or another process) can open it.
class LocalFile {
public:
    LocalFile() = default;
    ~LocalFile();
    LocalFile(LocalFile&& other) noexcept;
    LocalFile& operator=(LocalFile&& other) noexcept;
    LocalFile(const LocalFile&) = delete;
    LocalFile& operator=(const LocalFile&) = delete;

    // Opens path for appending; false when it cannot be opened (an empty path included).
    bool open_for_append(const Text& path);
    bool is_open() const { return fd_ >= 0; }
    // The file's length in bytes; -1 when it cannot be read.
    std::int64_t length() const;
    // Appends all size bytes; false when any of them could not be written.
    bool write(const std::uint8_t* data, std::size_t size);
    void close();

private:
    int fd_ = -1;
};

// Whether a file or folder exists at path.
bool path_exists(const Text& path);
// Creates one folder; its parent must exist. Returns whether it was created.
bool create_folder(const Text& path);

} // namespace quillmoor
