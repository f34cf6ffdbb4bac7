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

// A code point that no code page holds: it stands for input that is not valid Unicode, so that
// the conversion to code page 936 writes "?" for it.
constexpr char32_t invalid_code_point = 0xFFFFFFFF;

// glibc converts from its own UCS-4 form in one step, so a character that code page 936 cannot
// hold costs as little as any other. From UTF-8 or UTF-16 directly, every such character makes
// iconv convert the input again from the start. So both are decoded here first.
std::u32string decode_utf8(std::string_view in) {
    std::u32string out;
    out.reserve(in.size());
    std::size_t i = 0;
    while (i < in.size()) {
        auto lead = static_cast<unsigned char>(in[i]);
        std::size_t n = lead < 0x80   ? 1
                        : lead < 0xC2 ? 0
                        : lead < 0xE0 ? 2
                        : lead < 0xF0 ? 3
                        : lead < 0xF5 ? 4
                                      : 0;
        char32_t cp = n == 1   ? lead
                      : n == 2 ? (lead & 0x1F)
                      : n == 3 ? (lead & 0x0F)
                               : (lead & 0x07);
        bool ok = n != 0 && i + n <= in.size();
        for (std::size_t k = 1; ok && k < n; ++k) {
            auto c = static_cast<unsigned char>(in[i + k]);
            ok = (c & 0xC0) == 0x80;
            cp = (cp << 6) | (c & 0x3F);
        }
        // Overlong forms, surrogates and values beyond U+10FFFF are not characters.
        ok = ok && !(n == 3 && cp < 0x800) && !(n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) &&
             !(cp >= 0xD800 && cp <= 0xDFFF);
        if (ok) {
            out.push_back(cp);
            i += n;
        } else {
            // One "?" for the lead byte and the continuation bytes that follow it.
            out.push_back(invalid_code_point);
            std::size_t k = 1;
            while (k < n && i + k < in.size() &&
                   (static_cast<unsigned char>(in[i + k]) & 0xC0) == 0x80) {
                ++k;
            }
            i += k;
        }
    }
    return out;
}

std::u32string decode_utf16(std::u16string_view in) {
    std::u32string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        char32_t c = in[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
            in[i + 1] <= 0xDFFF) {
            out.push_back(0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            out.push_back(invalid_code_point);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::size_t one_code_point(const char*, std::size_t) {
    return sizeof(char32_t);
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

static_assert(sizeof(wchar_t) == sizeof(char32_t), "glibc's WCHAR_T is its UCS-4 form");

Converter& to_cp936() {
    thread_local Converter c("CP936", "WCHAR_T");
    return c;
}

Converter& converter(int which) {
    thread_local Converter from_936_to_utf8("UTF-8", "CP936");
    thread_local Converter from_936_to_utf16(native_utf16, "CP936");
    return which == 1 ? from_936_to_utf8 : from_936_to_utf16;
}

std::string ucs4_to_cp936(const std::u32string& ucs4) {
    return to_cp936().run(reinterpret_cast<const char*>(ucs4.data()),
                          ucs4.size() * sizeof(char32_t), "?", one_code_point);
}

} // namespace

std::string utf8_to_cp936(std::string_view utf8) {
    return ucs4_to_cp936(decode_utf8(utf8));
}

std::string cp936_to_utf8(std::string_view cp936) {
    return converter(1).run(cp936.data(), cp936.size(), replacement_utf8, cp936_bad_length);
}

std::string utf16_to_cp936(std::u16string_view utf16) {
    return ucs4_to_cp936(decode_utf16(utf16));
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
