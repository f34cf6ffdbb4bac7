// MD5 of a byte stream, fed piece by piece.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillmoor::share {

class Md5 {
public:
    Md5();
    void update(const void* data, std::size_t size);
    void update(std::string_view s) { update(s.data(), s.size()); }
    // The 16-byte digest; the object must not be updated afterwards.
    std::array<std::uint8_t, 16> digest();

private:
    void block(const std::uint8_t* p);

    std::array<std::uint32_t, 4> state_;
    std::array<std::uint8_t, 64> buffer_{};
    std::uint64_t length_ = 0; // bytes fed so far
};

// Lower-case hexadecimal of a digest.
std::string to_hex(const std::array<std::uint8_t, 16>& digest);

} // namespace quillmoor::share
