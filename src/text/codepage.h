// Conversions between code page 936 and Unicode. Every other module converts through here.
// A character that code page 936 cannot hold becomes the default character "?"; bytes of
// code page 936 that do not form a character become U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace quillmoor {

std::string utf8_to_cp936(std::string_view utf8);
std::string cp936_to_utf8(std::string_view cp936);
std::string utf16_to_cp936(std::u16string_view utf16);
std::u16string cp936_to_utf16(std::string_view cp936);

} // namespace quillmoor
