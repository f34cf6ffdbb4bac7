// Text, byte, number and date operations that all of the program's logic is written in.
//
// A Text is a byte string in code page 936; it never holds a NUL byte. Positions count bytes
// from 1, and a search that finds nothing gives -1. Bytes may hold any byte value. Scanning
// operations walk a text in character units: a byte below 0x80 is one unit, a byte of 0x80 or
// more starts a two-byte unit; such a lead byte at the very end is a broken unit.
#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmoor {

using Text = std::string;
using Bytes = std::vector<std::uint8_t>;
using TextArray = std::vector<Text>; // members numbered from 1 by the operations below

struct DateTime {
    int year = 1970;
    int month = 1; // 1..12
    int day = 1;   // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Texts
int text_length(std::string_view t);
int compare_text(std::string_view a, std::string_view b); // 0, -1 or 1; bytes unsigned
Text join_texts(std::initializer_list<std::string_view> parts);
int find_text(std::string_view text, std::string_view sought, std::optional<int> start = {},
              bool ignore_case = false);
int find_text_reverse(std::string_view text, std::string_view sought,
                      std::optional<int> start = {}, bool ignore_case = false);
Text text_left(std::string_view t, int n);
Text text_right(std::string_view t, int n);
Text text_mid(std::string_view t, int start, int n);
Text replace_text(std::string_view text, std::string_view sought, std::string_view replacement,
                  bool ignore_case = false);
TextArray split_text(std::string_view text, std::string_view delimiter);
int member_count(const TextArray& a);
Text trim_spaces(std::string_view t);
Text remove_spaces(std::string_view t);
Text to_lower(std::string_view t);
Text text_between(std::string_view text, std::string_view start_marker,
                  std::string_view end_marker, std::optional<int> start = {},
                  bool ignore_case = false);
Text blank_text(int n);

// Numbers
double to_number(std::string_view t);
std::int32_t to_int(std::string_view t);
Text number_to_text(std::int32_t x); // "%d"
Text number_to_text(std::int64_t x); // "%lld", for byte counts beyond 2 GB
Text number_to_text(double x);       // "%.13g"

// Dates and clocks
Text datetime_to_text(const DateTime& d);
DateTime now();
std::int32_t uptime_ms(); // unsigned 32-bit millisecond tick carried in a signed integer

// Bytes
Bytes text_to_bytes(std::string_view t);
Text bytes_to_text(const Bytes& b);
int bytes_length(const Bytes& b);
Bytes bytes_left(const Bytes& b, int n);
int compare_bytes(const std::uint8_t* a, const std::uint8_t* b, int n);
Bytes replace_bytes(const Bytes& b, const Bytes& sought, const Bytes& replacement = {},
                    std::optional<int> count = {});
Bytes join_bytes(std::initializer_list<const Bytes*> parts); // a null pointer adds nothing
template <typename... Parts>
    requires(std::same_as<Parts, Bytes> && ...)
Bytes join_bytes(const Parts&... parts) {
    return join_bytes({&parts...});
}
Bytes blank_bytes(int n);

} // namespace quillmoor
