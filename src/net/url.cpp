#include "net/url.h"

namespace quillmoor {

namespace {

// Form A: the text between the scheme marker and the first "/" after it.
Text host_after_scheme(Text s, bool main_domain) {
    if (text_right(s, 1) != "/") {
        s += "/";
    }
    if (text_left(s, 8) == "https://") {
        s = text_between(s, "https://", "/");
    } else {
        if (find_text(s, "http://") == -1) {
            s = "http://" + s;
        }
        s = text_between(s, "http://", "/");
    }
    if (main_domain) {
        const TextArray labels = split_text(s, ".");
        const int count = member_count(labels);
        if (count >= 2) {
            s = labels[count - 2] + "." + labels[count - 1];
        }
    }
    return s;
}

// Form B: the last labels of the host, counted from the right by dots.
Text host_by_labels(Text s, bool main_domain, int label_count) {
    s = replace_text(s, "http://", "");
    s = replace_text(s, "https://", "");
    const int slash = find_text(s, "/");
    if (slash != -1) {
        s = text_left(s, slash - 1);
    }
    const int len = text_length(s);
    int h = len;
    for (int pass = 0; pass < label_count; ++pass) {
        if (h == -1) {
            break;
        }
        h = find_text_reverse(s, ".", h);
    }
    const int l = find_text_reverse(s, ".", h);
    if (main_domain) {
        return text_right(s, len - l);
    }
    if (l != -1) {
        const int l2 = find_text_reverse(s, ".", l);
        if (l2 != -1) {
            s = text_right(s, len - l2);
        }
    }
    return s;
}

bool starts_with_https(const Text& url) {
    return to_lower(text_left(url, 5)) == "https";
}

} // namespace

Text url_host(const Text& url, bool main_domain, bool keep_port, std::optional<int> label_count) {
    const Text lowered = to_lower(url);
    Text s = label_count ? host_by_labels(lowered, main_domain, *label_count)
                         : host_after_scheme(lowered, main_domain);
    if (keep_port) {
        return s;
    }
    const int colon = find_text(s, ":");
    return colon == -1 ? s : text_left(s, colon - 1);
}

int url_port(const Text& url) {
    const Text q = url_host(url, false, true);
    const int p = find_text_reverse(q, ":");
    if (p == -1) {
        return starts_with_https(url) ? 443 : 80;
    }
    return to_int(text_right(q, text_length(q) - p));
}

Text url_path(const Text& url) {
    const Text h = url_host(url);
    const int a = find_text(url, h, 1, true);
    const int b = find_text(url, "/", a, true);
    if (b == -1) {
        return "/";
    }
    return text_right(url, text_length(url) - b + 1);
}

} // namespace quillmoor
