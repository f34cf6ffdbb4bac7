#include "text/codepage.h"

#include <bit>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iconv.h>

namespace quillmoor {

namespace {

constexpr const char* native_utf16 =
    std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

// One iconv descriptor, opened once per thread and direction and reset before every use.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (valid()) {
            iconv_close(cd_);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts all of in and appends to out. skip_bad tells how many input bytes make up the
    // character at the given point that cannot be converted; it is replaced by bad.
    template <typename SkipBad>
    std::string run(const char* in, std::size_t in_left, std::string_view bad, SkipBad skip_bad) {
        std::string out;
        if (!valid() || in_left == 0) {
            return out;
        }
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        out.resize(in_left * 2 + 16);
        std::size_t used = 0;
        char* src = const_cast<char*>(in);
        while (in_left > 0) {
            char* dst = out.data() + used;
            std::size_t out_left = out.size() - used;
            std::size_t r = iconv(cd_, &src, &in_left, &dst, &out_left);
            used = out.size() - out_left;
            if (r != static_cast<std::size_t>(-1)) {
                break;
            }
            if (errno == E2BIG) {
                out.resize(out.size() * 2);
                continue;
            }
            // EILSEQ: a character that cannot be converted; EINVAL: a cut-off one at the end.
            std::size_t skip = errno == EINVAL ? in_left : skip_bad(src, in_left);
            skip = skip == 0 || skip > in_left ? 1 : skip;
            src += skip;
            in_left -= skip;
            if (out.size() - used < bad.size()) {
                out.resize(out.size() * 2 + bad.size());
            }
            out.replace(used, bad.size(), bad);
            used += bad.size();
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        out.resize(used);
        return out;
    }

private:
    iconv_t cd_;
};

// Bytes of the UTF-8 character that begins at p (1 for a byte that cannot begin one).
std::size_t utf8_char_length(const char* p, std::size_t left) {
    auto lead = static_cast<unsigned char>(*p);
    std::size_t n = lead < 0xC2 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 1;
    if (n > left) {
        return 1;
    }
    for (std::size_t k = 1; k < n; ++k) {
        if ((static_cast<unsigned char>(p[k]) & 0xC0) != 0x80) {
            return 1;
        }
    }
    return n;
}

// Bytes of the UTF-16 character that begins at p: a surrogate pair is four bytes.
std::size_t utf16_char_length(const char* p, std::size_t left) {
    if (left < 4) {
        return 2;
    }
    char16_t first = 0;
    char16_t second = 0;
    std::memcpy(&first, p, 2);
    std::memcpy(&second, p + 2, 2);
    bool pair = first >= 0xD800 && first <= 0xDBFF && second >= 0xDC00 && second <= 0xDFFF;
    return pair ? 4 : 2;
}

// Bytes of code page 936 that do not form a character: a lead byte with a byte of the trail
// range is dropped as one unit, anything else one byte at a time.
std::size_t cp936_bad_length(const char* p, std::size_t left) {
    auto lead = static_cast<unsigned char>(*p);
    if (lead >= 0x81 && lead <= 0xFE && left >= 2) {
        auto trail = static_cast<unsigned char>(p[1]);
        if (trail >= 0x40 && trail <= 0xFE && trail != 0x7F) {
            return 2;
        }
    }
    return 1;
}

constexpr std::string_view replacement_utf8 = "\xEF\xBF\xBD"; // U+FFFD

Converter& converter(int which) {
    thread_local Converter utf8_to_936("CP936", "UTF-8");
    thread_local Converter from_936_to_utf8("UTF-8", "CP936");
    thread_local Converter utf16_to_936("CP936", native_utf16);
    thread_local Converter from_936_to_utf16(native_utf16, "CP936");
    switch (which) {
    case 0:
        return utf8_to_936;
    case 1:
        return from_936_to_utf8;
    case 2:
        return utf16_to_936;
    default:
        return from_936_to_utf16;
    }
}

} // namespace

std::string utf8_to_cp936(std::string_view utf8) {
    return converter(0).run(utf8.data(), utf8.size(), "?", utf8_char_length);
}

std::string cp936_to_utf8(std::string_view cp936) {
    return converter(1).run(cp936.data(), cp936.size(), replacement_utf8, cp936_bad_length);
}

std::string utf16_to_cp936(std::u16string_view utf16) {
    return converter(2).run(reinterpret_cast<const char*>(utf16.data()), utf16.size() * 2, "?",
                            utf16_char_length);
}

std::u16string cp936_to_utf16(std::string_view cp936) {
    static constexpr char16_t fffd = u'\uFFFD';
    std::string bytes = converter(3).run(cp936.data(), cp936.size(),
                                         std::string_view(reinterpret_cast<const char*>(&fffd), 2),
                                         cp936_bad_length);
    std::u16string out(bytes.size() / 2, u'\0');
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

} // namespace quillmoor
